// wavory: the utility with its window. Start-up, the window and shutdown run as the application
// object orders them; this file only prepares the platform services and the display.
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QSocketNotifier>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/Trace.h"
#include "platform/InstanceLock.h"
#include "platform/SystemdServiceControl.h"
#include "platform/UserSettings.h"
#include "radio/SecretMemory.h"
#include "shell/Tessal.h"
#include "store/HistoryDb.h"
#include "ui/monitor/MainAbout.h"
#include "ui/res/Resources.h"
#include "ui/shell/MainWindowHost.h"
#include "ui/shell/MessageBoxSink.h"
#include "ui/shell/PlainDialogs.h"
#include "ui/shell/Screenshots.h"
#include "ui/shell/TessalDlg.h"

using namespace wavory;

namespace {

struct SOptions {
    bool bMinimized = false;
    bool bTray = false;
    bool bVerbose = false;
    bool bHelp = false;
    bool bVersion = false;
    std::string strScreenshots;  // folder; empty: no screenshot mode
    std::string strAdapter;      // "sim" or an interface name; empty: the library's own choice
    int nDelaySecs = 8;
    std::string strError;
};

const char kUsage[] =
    "usage: wavory [--adapter NAME] [--minimized | --tray] [--verbose]\n"
    "              [--screenshots FOLDER [--delay SECONDS]] | --version | --help\n"
    "  --adapter NAME         adapter to use: \"sim\" or an interface such as wlan0 (default:\n"
    "                         $WAVORY_ADAPTER, else the first wireless interface, else the simulation)\n"
    "  --minimized            start minimised\n"
    "  --tray                 start hidden in the notification area (minimised where there is none),\n"
    "                         as the desktop starts it with \"Start with the desktop\"\n"
    "  --verbose              write diagnostics to standard error (as WAVORY_TRACE=1 does)\n"
    "  --screenshots FOLDER   write a PNG of each page and dialog into FOLDER, then exit\n"
    "                         (uses the offscreen platform unless QT_QPA_PLATFORM is set)\n"
    "  --delay SECONDS        how long the window runs before the pictures are taken (default 8)\n"
    "  --version              print the version and exit\n"
    "  -h, --help             print this help and exit\n";

SOptions ParseOptions(int argc, char** argv) {
    SOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--minimized") {
            options.bMinimized = true;
        } else if (arg == "--tray") {
            options.bTray = true;
        } else if (arg == "--adapter" && i + 1 < argc) {
            options.strAdapter = argv[++i];
            if (options.strAdapter.empty()) options.strError = "empty --adapter name";
        } else if (arg == "--verbose") {
            options.bVerbose = true;
        } else if (arg == "--screenshots" && i + 1 < argc) {
            options.strScreenshots = argv[++i];
        } else if (arg == "--delay" && i + 1 < argc) {
            char* end = nullptr;
            const long secs = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || secs < 0 || secs > 600) options.strError = "bad --delay value";
            options.nDelaySecs = static_cast<int>(secs);
        } else if (arg == "--help" || arg == "-h") {
            options.bHelp = true;
        } else if (arg == "--version") {
            options.bVersion = true;
        } else {
            options.strError = "unknown option " + arg;
        }
    }
    return options;
}

bool EnvSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Whether a local X display (":N" or ":N.S") answers on its socket, abstract or in /tmp/.X11-unix.
// Other forms (a host name, a Wayland session) are left to Qt.
bool LocalXDisplayAnswers(const char* display) {
    if (!display || display[0] != ':') return true;
    const std::string number(display + 1, std::strcspn(display + 1, "."));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return true;
    const std::string path = "/tmp/.X11-unix/X" + number;
    for (bool abstract : {true, false}) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return true;
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const std::size_t offset = abstract ? 1 : 0;
        std::memcpy(addr.sun_path + offset, path.c_str(), path.size());
        const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0;
        ::close(fd);
        if (ok) return true;
    }
    return false;
}

// SIGTERM (logout, systemctl --user stop), SIGINT and SIGHUP close the window the way its Close
// button does, so shutdown runs in its designed order. The handler only writes a byte into a pipe;
// the interface thread reads it.
int g_nSignalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_nSignalPipe[1], &byte, 1);
    errno = saved;
}

bool CatchTerminationSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_nSignalPipe) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
    return true;
}

// Ends the utility as the tray menu's Close does (the keep-in-tray preference only hides the
// window), so that a logout or systemctl stop ends it; every change was stored when it was made.
void CloseForSignal(CMainWindowHost& window) {
    if (CTessalDlg* main = window.Window()) {
        main->QuitForSignal();
    } else {
        QApplication::quit();
    }
}

}  // namespace

int main(int argc, char** argv) {
    // The window holds the profiles' keys: a crash leaves no core file with them.
    wavory::kccl::KeepSecretsOutOfCoreDumps();
    const SOptions options = ParseOptions(argc, argv);
    if (!options.strError.empty()) {
        std::fprintf(stderr, "wavory: %s\n%s", options.strError.c_str(), kUsage);
        return 2;
    }
    if (options.bHelp) {
        std::printf("%s", kUsage);
        return 0;
    }
    if (options.bVersion) {
        std::printf("Wavory Utility %s\n", CMainAbout::kVersion);
        return 0;
    }
    // The driver library reads the choice when the link is opened at start-up.
    if (!options.strAdapter.empty()) ::setenv("WAVORY_ADAPTER", options.strAdapter.c_str(), 1);
    if (options.bVerbose) EnableTrace(true);
    const bool screenshots = !options.strScreenshots.empty();
    if (screenshots) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    } else if (!EnvSet("DISPLAY") && !EnvSet("WAYLAND_DISPLAY") && !EnvSet("QT_QPA_PLATFORM")) {
        // Qt would abort with a message about platform plugins; say what is really missing.
        std::fprintf(stderr,
                     "wavory: no display found (DISPLAY and WAYLAND_DISPLAY are unset), so the window cannot "
                     "open.\n"
                     "  Run it inside a desktop session, or see the adapter's state with wavoryctl status,\n"
                     "  or write pictures of the window with: wavory --screenshots FOLDER\n");
        return 2;
    } else if (!EnvSet("WAYLAND_DISPLAY") && !EnvSet("QT_QPA_PLATFORM") &&
               !LocalXDisplayAnswers(std::getenv("DISPLAY"))) {
        std::fprintf(stderr, "wavory: the display %s does not answer (is its X server running?)\n",
                     std::getenv("DISPLAY"));
        return 2;
    }

    // Platform defaults for a window of plain widgets, unless the user sets them: no GL context
    // (nothing here draws with GL, and loading a GL driver costs megabytes), and images sent to
    // the X server over the socket rather than shared memory, whose completion Qt waits for with a
    // round trip before the next paint of the same spot (a counter that changes every second).
    ::setenv("QT_XCB_GL_INTEGRATION", "none", 0);
    ::setenv("QT_XCB_NO_MITSHM", "1", 0);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(CTessalApp::kRegistryKey));
    QApplication::setApplicationName(QString::fromLatin1(CTessalApp::kAppName));
    QApplication::setApplicationVersion(QString::fromLatin1(CMainAbout::kVersion));
    QApplication::setDesktopFileName(QStringLiteral("wavory"));
    QApplication::setWindowIcon(AppIcon());
    // The window may sit hidden in the notification area; only its Close ends the utility.
    QApplication::setQuitOnLastWindowClosed(false);

    SStoreOpening opening = OpenUserSettings();
    if (!opening.store) {
        std::fprintf(stderr, "wavory: %s\n", opening.error.c_str());
        return 1;
    }
    std::unique_ptr<CSqliteRegistry> registry = std::move(opening.store);
    // Pictures of the window change no setting: what they show must not be written back over a
    // preference another program sets meanwhile.
    if (screenshots) registry->SetDiscardWrites(true);
    // A damaged store moved aside (and its copy restored), or older settings that could not be read:
    // the user learns it before the window shows what is there now.
    if (!opening.notice.empty()) {
        std::fprintf(stderr, "wavory: %s\n", opening.notice.c_str());
        if (!screenshots)
            PlainMessageBox(nullptr, QMessageBox::Warning, QString::fromLatin1(CTessalApp::kAppName),
                            QString::fromStdString(opening.notice));
    }
    // Another program's change to the store is noticed from the kernel's notice of the write, so
    // the main tick does not look at the store's files every second.
    std::unique_ptr<QSocketNotifier> storeNotifier;
    if (const int fd = registry->WatchChanges(); fd >= 0) {
        storeNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(storeNotifier.get(), &QSocketNotifier::activated,
                         [store = registry.get()] { store->ChangesNoticed(); });
    }
    CMessageBoxSink messages;
    CSystemdServiceControl serviceControl;
    theApp.m_pRegistry = registry.get();
    theApp.m_fnOpenHistory = [] { return std::make_shared<CHistoryDb>(); };
    theApp.m_pMessages = &messages;
    theApp.m_pServiceControl = &serviceControl;

    CScreenshots shots(QDir::current().absoluteFilePath(QString::fromStdString(options.strScreenshots)),
                       options.nDelaySecs * 1000);
    CMainWindowHost window([&](CTessalDlg& dlg) {
        dlg.SetStartMinimized(options.bMinimized);
        dlg.SetStartInTray(options.bTray);
        if (screenshots) shots.Attach(&dlg);
    });

    // One window per user: a second one is refused. wavoryctl may change anything while it runs; the
    // window notices and shows what is stored.
    CInstanceLock instance(CInstanceLock::kWindowOwner);
    if (!instance.TryLock()) {
        if (instance.HolderOwner() == CInstanceLock::kWindowOwner) {
            std::fprintf(stderr, "wavory: the Wavory Utility window is already open\n");
            return 1;
        }
        // An older wavoryctl may hold it for a moment.
        if (!instance.Lock(std::chrono::seconds(10))) {
            std::fprintf(stderr, "wavory: cannot take the window's lock (%s)\n",
                         instance.Error().empty() ? "held by another program" : instance.Error().c_str());
            return 1;
        }
    }

    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (CatchTerminationSignals()) {
        signalNotifier = std::make_unique<QSocketNotifier>(g_nSignalPipe[0], QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, [&window] {
            char buf[16];
            while (::read(g_nSignalPipe[0], buf, sizeof buf) > 0) {
            }
            CloseForSignal(window);
        });
    }

    theApp.InitInstance(&window);
    int rc = theApp.ExitInstance();
    instance.Unlock();

    theApp.m_pMessages = nullptr;
    theApp.m_pServiceControl = nullptr;
    theApp.m_pRegistry = nullptr;
    theApp.m_fnOpenHistory = nullptr;
    if (screenshots) {
        for (const QString& file : shots.Written()) std::printf("%s\n", qPrintable(file));
        if (!shots.Succeeded()) rc = 1;
    }
    return rc;
}
