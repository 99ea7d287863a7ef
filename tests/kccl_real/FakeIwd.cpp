#include "FakeIwd.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace wavory::test {

namespace {

constexpr const char* kRoot = "/net/connman/iwd";
constexpr const char* kDevicePath = "/net/connman/iwd/0/7";

std::string Hex(const std::string& text) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : text) {
        out += digits[c >> 4];
        out += digits[c & 0xF];
    }
    return out;
}

int AppendString(sd_bus_message* m, const char* key, const std::string& value, const char* type = "s") {
    return sd_bus_message_append(m, "{sv}", key, type, value.c_str());
}

}  // namespace

CFakeIwd::CFakeIwd(bool denyUsers) {
    char dir[] = "/tmp/fake-iwd-XXXXXX";
    if (!::mkdtemp(dir)) return;
    m_Dir = dir;
    const std::string socket = m_Dir + "/bus";
    {
        std::ofstream conf(m_Dir + "/bus.conf");
        conf << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                "<busconfig><type>system</type><listen>unix:path="
             << socket
             << "</listen><auth>EXTERNAL</auth>\n"
                "<policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>"
                "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
             << (denyUsers ? "<deny send_destination=\"net.connman.iwd\"/>" : "") << "</policy></busconfig>\n";
    }
    const std::string config = "--config-file=" + m_Dir + "/bus.conf";
    char* argv[] = {const_cast<char*>("dbus-daemon"), const_cast<char*>(config.c_str()),
                    const_cast<char*>("--nofork"), const_cast<char*>("--nopidfile"), nullptr};
    // Its complaints (no fd limit for a user) go to a file of its own.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, (m_Dir + "/bus.log").c_str(), O_WRONLY | O_CREAT, 0600);
    const int spawned = ::posix_spawnp(&m_nDaemon, "dbus-daemon", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        m_nDaemon = -1;
        return;
    }
    // The daemon listens once the socket is there.
    for (int i = 0; i < 1000 && ::access(socket.c_str(), F_OK) != 0; ++i) ::usleep(10000);
    const std::string address = "unix:path=" + socket;
    if (const char* old = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) m_Env = old;
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);

    // The socket's file appears when the daemon binds it, a moment before it listens: a refused
    // connection is tried again (for up to ten seconds on a loaded machine).
    for (int tries = 0;; ++tries) {
        if (sd_bus_new(&m_pBus) < 0) return;
        sd_bus_set_address(m_pBus, address.c_str());
        sd_bus_set_bus_client(m_pBus, 1);
        if (sd_bus_start(m_pBus) >= 0) break;
        m_pBus = sd_bus_flush_close_unref(m_pBus);
        if (tries >= 1000) return;
        ::usleep(10000);
    }
    sd_bus_add_fallback(
        m_pBus, &m_pSlot, "/",
        [](sd_bus_message* m, void* self, sd_bus_error*) { return static_cast<CFakeIwd*>(self)->Handle(m); },
        this);
    m_bStarted = true;
}

bool CFakeIwd::Serve() {
    if (!m_bStarted || m_Thread.joinable()) return false;
    if (sd_bus_request_name(m_pBus, "net.connman.iwd", 0) < 0) return false;
    m_Thread = std::thread([this] { Loop(); });
    return true;
}

CFakeIwd::~CFakeIwd() {
    m_bStop = true;
    if (m_Thread.joinable()) m_Thread.join();
    sd_bus_message_unref(m_pPending);
    sd_bus_message_unref(m_pQueuedScan);
    sd_bus_slot_unref(m_pSlot);
    sd_bus_flush_close_unref(m_pBus);
    if (m_nDaemon > 0) {
        ::kill(m_nDaemon, SIGTERM);
        ::waitpid(m_nDaemon, nullptr, 0);
    }
    if (m_Env.empty())
        ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    else
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", m_Env.c_str(), 1);
    std::error_code ec;
    if (!m_Dir.empty()) std::filesystem::remove_all(m_Dir, ec);
}

void CFakeIwd::Loop() {
    while (!m_bStop) {
        {
            std::lock_guard lock(m_Mutex);
            while (sd_bus_process(m_pBus, nullptr) > 0) {
            }
            // A station that went takes its attempt with it.
            if (!m_bDevice && m_pPending) DropPending("net.connman.iwd.Aborted");
            if (m_pQueuedScan && std::chrono::steady_clock::now() >= m_ScanStarts) {
                m_bScanned = true;
                sd_bus_reply_method_return(m_pQueuedScan, "");
                m_pQueuedScan = sd_bus_message_unref(m_pQueuedScan);
            }
        }
        sd_bus_wait(m_pBus, 20000);
    }
}

void CFakeIwd::AddNetwork(const SNetwork& network) {
    std::lock_guard lock(m_Mutex);
    m_Networks.push_back(network);
}

void CFakeIwd::AddKnown(const std::string& ssid, const std::string& type, const std::string& passphrase) {
    std::lock_guard lock(m_Mutex);
    m_Known.push_back({ssid, type, passphrase});
}

void CFakeIwd::ConnectTo(const std::string& ssid, const std::string& type) {
    std::lock_guard lock(m_Mutex);
    m_Connected = ssid + "/" + type;
    m_State = "connected";
}

void CFakeIwd::HoldConnects(bool hold) {
    std::lock_guard lock(m_Mutex);
    m_bHold = hold;
}

void CFakeIwd::QueueScans(std::chrono::milliseconds delay) {
    std::lock_guard lock(m_Mutex);
    m_ScanDelay = delay;
}

void CFakeIwd::HoldScans() {
    std::lock_guard lock(m_Mutex);
    m_bHoldScans = true;
}

void CFakeIwd::EndScan() {
    std::lock_guard lock(m_Mutex);
    m_bHoldScans = false;
    if (m_bScanRunning) m_bScanned = true;
    m_bScanRunning = false;
}

void CFakeIwd::RemoveDevice() {
    std::lock_guard lock(m_Mutex);
    m_bDevice = false;
}

std::string CFakeIwd::ConnectedSsid() {
    std::lock_guard lock(m_Mutex);
    return m_Connected.substr(0, m_Connected.rfind('/'));
}

std::string CFakeIwd::State() {
    std::lock_guard lock(m_Mutex);
    return m_State;
}

std::vector<std::string> CFakeIwd::Known() {
    std::lock_guard lock(m_Mutex);
    std::vector<std::string> out;
    for (const SKnown& k : m_Known) out.push_back(k.ssid + "/" + k.type);
    std::sort(out.begin(), out.end());
    return out;
}

int CFakeIwd::PassphraseRequests() {
    std::lock_guard lock(m_Mutex);
    return m_nRequests;
}

int CFakeIwd::Agents() {
    std::lock_guard lock(m_Mutex);
    return static_cast<int>(m_Agents.size());
}

int CFakeIwd::Disconnects() {
    std::lock_guard lock(m_Mutex);
    return m_nDisconnects;
}

int CFakeIwd::Scans() {
    std::lock_guard lock(m_Mutex);
    return m_nScans;
}

std::string CFakeIwd::NetworkPath(const SNetwork& n) const {
    return std::string(kDevicePath) + "/" + Hex(n.ssid) + "_" + n.type;
}

const CFakeIwd::SNetwork* CFakeIwd::FindByPath(const std::string& path) const {
    for (const SNetwork& n : m_Networks)
        if (!n.hidden && (!n.afterScan || m_bScanned) && NetworkPath(n) == path) return &n;
    return nullptr;
}

int CFakeIwd::ReplyObjects(sd_bus_message* call) {
    sd_bus_message* m = nullptr;
    sd_bus_message_new_method_return(call, &m);
    sd_bus_message_open_container(m, 'a', "{oa{sa{sv}}}");
    sd_bus_message_append(m, "{oa{sa{sv}}}", kRoot, 1, "net.connman.iwd.AgentManager", 0);
    if (m_bDevice) {
        sd_bus_message_open_container(m, 'e', "oa{sa{sv}}");
        sd_bus_message_append(m, "o", kDevicePath);
        sd_bus_message_open_container(m, 'a', "{sa{sv}}");
        sd_bus_message_append(m, "{sa{sv}}", "net.connman.iwd.Device", 2, "Name", "s", kIfname, "Powered", "b", 1);
        sd_bus_message_open_container(m, 'e', "sa{sv}");
        sd_bus_message_append(m, "s", "net.connman.iwd.Station");
        sd_bus_message_open_container(m, 'a', "{sv}");
        AppendString(m, "State", m_State);
        sd_bus_message_append(m, "{sv}", "Scanning", "b", m_bScanRunning ? 1 : 0);
        for (const SNetwork& n : m_Networks)
            if (n.ssid + "/" + n.type == m_Connected) AppendString(m, "ConnectedNetwork", NetworkPath(n), "o");
        sd_bus_message_close_container(m);
        sd_bus_message_close_container(m);
        sd_bus_message_close_container(m);
        sd_bus_message_close_container(m);
        for (const SNetwork& n : m_Networks) {
            if (n.hidden && n.ssid + "/" + n.type != m_Connected) continue;
            if (n.afterScan && !m_bScanned) continue;
            sd_bus_message_open_container(m, 'e', "oa{sa{sv}}");
            sd_bus_message_append(m, "o", NetworkPath(n).c_str());
            sd_bus_message_open_container(m, 'a', "{sa{sv}}");
            sd_bus_message_open_container(m, 'e', "sa{sv}");
            sd_bus_message_append(m, "s", "net.connman.iwd.Network");
            sd_bus_message_open_container(m, 'a', "{sv}");
            AppendString(m, "Name", n.ssid);
            AppendString(m, "Type", n.type);
            AppendString(m, "Device", kDevicePath, "o");
            sd_bus_message_append(m, "{sv}", "Connected", "b", n.ssid + "/" + n.type == m_Connected);
            for (const SKnown& k : m_Known)
                if (k.ssid == n.ssid && k.type == n.type)
                    AppendString(m, "KnownNetwork", std::string(kRoot) + "/" + Hex(k.ssid) + "_" + k.type, "o");
            sd_bus_message_close_container(m);
            sd_bus_message_close_container(m);
            sd_bus_message_close_container(m);
            sd_bus_message_close_container(m);
        }
    }
    for (const SKnown& k : m_Known) {
        const std::string path = std::string(kRoot) + "/" + Hex(k.ssid) + "_" + k.type;
        sd_bus_message_append(m, "{oa{sa{sv}}}", path.c_str(), 1, "net.connman.iwd.KnownNetwork", 2, "Name", "s",
                              k.ssid.c_str(), "Type", "s", k.type.c_str());
    }
    sd_bus_message_close_container(m);
    const int rc = sd_bus_send(nullptr, m, nullptr);
    sd_bus_message_unref(m);
    return rc < 0 ? rc : 1;
}

void CFakeIwd::Finish(sd_bus_message* call, const SNetwork& network, const std::string& passphrase,
                      bool fromAgent) {
    if (network.type == "psk" && passphrase != network.passphrase) {
        m_State = "disconnected";
        m_Connected.clear();
        if (!fromAgent)  // iwd drops a stored key the network refused
            m_Known.erase(std::remove_if(m_Known.begin(), m_Known.end(),
                                         [&](const SKnown& k) { return k.ssid == network.ssid && k.type == network.type; }),
                          m_Known.end());
        sd_bus_reply_method_errorf(call, "net.connman.iwd.Failed", "Operation failed");
        return;
    }
    m_State = "connected";
    m_Connected = network.ssid + "/" + network.type;
    const bool known = std::any_of(m_Known.begin(), m_Known.end(), [&](const SKnown& k) {
        return k.ssid == network.ssid && k.type == network.type;
    });
    if (!known) m_Known.push_back({network.ssid, network.type, passphrase});
    sd_bus_reply_method_return(call, "");
}

int CFakeIwd::OnAgentReply(sd_bus_message* reply, void* userdata, void*) {
    auto* self = static_cast<CFakeIwd*>(userdata);
    sd_bus_message* call = self->m_pPending;
    self->m_pPending = nullptr;
    if (!call) return 0;
    if (sd_bus_message_is_method_error(reply, nullptr)) {
        self->m_State = "disconnected";
        sd_bus_reply_method_errorf(call, "net.connman.iwd.Aborted", "Operation aborted");
    } else {
        const char* passphrase = nullptr;
        sd_bus_message_read(reply, "s", &passphrase);
        self->Finish(call, self->m_PendingNetwork, passphrase ? passphrase : "", true);
    }
    sd_bus_message_unref(call);
    return 0;
}

void CFakeIwd::DropPending(const char* error) {
    if (!m_pPending) return;
    sd_bus_reply_method_errorf(m_pPending, error, "Operation aborted");
    m_pPending = sd_bus_message_unref(m_pPending);
}

int CFakeIwd::Connect(sd_bus_message* m, const SNetwork& network) {
    DropPending("net.connman.iwd.Aborted");
    m_Connected.clear();
    m_State = "connecting";
    m_PendingNetwork = network;
    if (m_bHold) {
        m_pPending = sd_bus_message_ref(m);
        return 1;
    }
    for (const SKnown& k : m_Known)
        if (k.ssid == network.ssid && k.type == network.type) {
            Finish(m, network, k.passphrase, false);
            return 1;
        }
    if (network.type != "psk") {
        Finish(m, network, {}, false);
        return 1;
    }
    const auto agent = m_Agents.find(sd_bus_message_get_sender(m));
    if (agent == m_Agents.end()) {
        m_State = "disconnected";
        return sd_bus_reply_method_errorf(m, "net.connman.iwd.NoAgent", "No Agent registered"), 1;
    }
    ++m_nRequests;
    m_pPending = sd_bus_message_ref(m);
    sd_bus_call_method_async(m_pBus, nullptr, agent->first.c_str(), agent->second.c_str(), "net.connman.iwd.Agent",
                             "RequestPassphrase",
                             [](sd_bus_message* r, void* u, sd_bus_error*) { return OnAgentReply(r, u, nullptr); },
                             this, "o", NetworkPath(network).c_str());
    return 1;
}

int CFakeIwd::Handle(sd_bus_message* m) {
    if (m_bStop) return 0;
    const std::string path = sd_bus_message_get_path(m) ? sd_bus_message_get_path(m) : "";
    const auto is = [m](const char* interface, const char* member) {
        return sd_bus_message_is_method_call(m, interface, member) > 0;
    };
    if (is("org.freedesktop.DBus.ObjectManager", "GetManagedObjects") && path == "/") return ReplyObjects(m);
    if (path == kRoot && is("net.connman.iwd.AgentManager", "RegisterAgent")) {
        const char* agent = nullptr;
        sd_bus_message_read(m, "o", &agent);
        m_Agents[sd_bus_message_get_sender(m)] = agent ? agent : "";
        return sd_bus_reply_method_return(m, ""), 1;
    }
    if (path == kRoot && is("net.connman.iwd.AgentManager", "UnregisterAgent")) {
        m_Agents.erase(sd_bus_message_get_sender(m));
        return sd_bus_reply_method_return(m, ""), 1;
    }
    if (path == kDevicePath && m_bDevice) {
        if (is("net.connman.iwd.Station", "Scan")) {
            ++m_nScans;
            if (m_ScanDelay.count() > 0) {
                if (m_pQueuedScan) return sd_bus_reply_method_errorf(m, "net.connman.iwd.Busy", "Busy"), 1;
                m_pQueuedScan = sd_bus_message_ref(m);
                m_ScanStarts = std::chrono::steady_clock::now() + m_ScanDelay;
                return 1;
            }
            if (m_bScanRunning) return sd_bus_reply_method_errorf(m, "net.connman.iwd.Busy", "Busy"), 1;
            if (m_bHoldScans)
                m_bScanRunning = true;
            else
                m_bScanned = true;
            return sd_bus_reply_method_return(m, ""), 1;
        }
        if (is("net.connman.iwd.Station", "Disconnect")) {
            ++m_nDisconnects;
            DropPending("net.connman.iwd.Aborted");
            m_State = "disconnected";
            m_Connected.clear();
            return sd_bus_reply_method_return(m, ""), 1;
        }
        if (is("net.connman.iwd.Station", "ConnectHiddenNetwork")) {
            const char* ssid = nullptr;
            sd_bus_message_read(m, "s", &ssid);
            for (const SNetwork& n : m_Networks)
                if (n.hidden && ssid && n.ssid == ssid) return Connect(m, n);
            return sd_bus_reply_method_errorf(m, "net.connman.iwd.NotFound", "Not found"), 1;
        }
        if (is("net.connman.iwd.StationDiagnostic", "GetDiagnostics")) {
            if (m_State != "connected") return sd_bus_reply_method_errorf(m, "net.connman.iwd.NotConnected", "x"), 1;
            return sd_bus_reply_method_return(m, "a{sv}", 2, "RxMode", "s", "802.11ac", "RSSI", "n", -40), 1;
        }
    }
    if (is("net.connman.iwd.Network", "Connect") && m_bDevice) {
        if (const SNetwork* n = FindByPath(path)) return Connect(m, *n);
    }
    if (is("net.connman.iwd.KnownNetwork", "Forget")) {
        for (auto it = m_Known.begin(); it != m_Known.end(); ++it) {
            if (std::string(kRoot) + "/" + Hex(it->ssid) + "_" + it->type != path) continue;
            if (m_Connected == it->ssid + "/" + it->type) {
                m_Connected.clear();
                m_State = "disconnected";
            }
            m_Known.erase(it);
            return sd_bus_reply_method_return(m, ""), 1;
        }
    }
    return 0;
}

}  // namespace wavory::test
