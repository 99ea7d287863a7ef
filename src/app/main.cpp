// wavory: the utility with its window. Start-up, the window and shutdown run as the application
// object orders them; this file only prepares the platform services and the display.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/Trace.h"
#include "platform/InstanceLock.h"
#include "platform/SettingsRegistry.h"
#include "platform/SystemdServiceControl.h"
#include "shell/Tessal.h"
#include "ui/monitor/MainAbout.h"
#include "ui/res/Resources.h"
#include "ui/shell/MainWindowHost.h"
#include "ui/shell/MessageBoxSink.h"
#include "ui/shell/Screenshots.h"
#include "ui/shell/TessalDlg.h"

using namespace wavory;

namespace {

struct SOptions {
    bool bMinimized = false;
    bool bVerbose = false;
    bool bHelp = false;
    bool bVersion = false;
    std::string strScreenshots;  // folder; empty: no screenshot mode
    int nDelaySecs = 8;
    std::string strError;
};

const char kUsage[] =
    "usage: wavory [--minimized] [--verbose] [--screenshots FOLDER [--delay SECONDS]]\n"
    "  --minimized            start minimised\n"
    "  --verbose              write diagnostics to standard error (as WAVORY_TRACE=1 does)\n"
    "  --screenshots FOLDER   write a PNG of each page and dialog into FOLDER, then exit\n"
    "                         (uses the offscreen platform unless QT_QPA_PLATFORM is set)\n"
    "  --delay SECONDS        how long the window runs before the pictures are taken (default 8)\n";

SOptions ParseOptions(int argc, char** argv) {
    SOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--minimized") {
            options.bMinimized = true;
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

}  // namespace

int main(int argc, char** argv) {
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

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(CTessalApp::kRegistryKey));
    QApplication::setApplicationName(QString::fromLatin1(CTessalApp::kAppName));
    QApplication::setApplicationVersion(QString::fromLatin1(CMainAbout::kVersion));
    QApplication::setDesktopFileName(QStringLiteral("wavory"));
    QApplication::setWindowIcon(AppIcon());
    // The window may sit hidden in the notification area; only its Close ends the utility.
    QApplication::setQuitOnLastWindowClosed(false);

    CSettingsRegistry registry;
    CMessageBoxSink messages;
    CSystemdServiceControl serviceControl;
    theApp.m_pRegistry = &registry;
    theApp.m_pMessages = &messages;
    theApp.m_pServiceControl = &serviceControl;

    CScreenshots shots(QDir::current().absoluteFilePath(QString::fromStdString(options.strScreenshots)),
                       options.nDelaySecs * 1000);
    CMainWindowHost window([&](CTessalDlg& dlg) {
        dlg.SetStartMinimized(options.bMinimized);
        if (screenshots) shots.Attach(&dlg);
    });

    // The window keeps the profiles in memory and saves them when it closes; while it runs, the
    // lock tells wavoryctl not to change them behind its back. A wavoryctl command holds it only
    // for a moment, so wait for that; a second window is refused.
    CInstanceLock instance(CInstanceLock::kWindowOwner);
    if (!instance.TryLock()) {
        if (instance.HolderOwner() == CInstanceLock::kWindowOwner) {
            std::fprintf(stderr, "wavory: the Wavory Utility window is already open\n");
            return 1;
        }
        if (!instance.Lock(std::chrono::seconds(10))) {
            std::fprintf(stderr, "wavory: the settings are busy (%s)\n",
                         instance.Error().empty() ? "held by wavoryctl" : instance.Error().c_str());
            return 1;
        }
    }

    theApp.InitInstance(&window);
    int rc = theApp.ExitInstance();
    instance.Unlock();

    theApp.m_pMessages = nullptr;
    theApp.m_pServiceControl = nullptr;
    theApp.m_pRegistry = nullptr;
    if (screenshots) {
        for (const QString& file : shots.Written()) std::printf("%s\n", qPrintable(file));
        if (!shots.Succeeded()) rc = 1;
    }
    return rc;
}
