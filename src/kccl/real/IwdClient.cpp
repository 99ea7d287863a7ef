#include "IwdClient.h"

#include <poll.h>
#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>

#include "AdapterControl.h"

namespace wavory::kccl {

namespace {

constexpr const char* kService = "net.connman.iwd";
constexpr const char* kDaemonPath = "/net/connman/iwd";
constexpr const char* kAgentManager = "net.connman.iwd.AgentManager";
constexpr const char* kAgentPath = "/net/wavory/agent";
constexpr const char* kAgent = "net.connman.iwd.Agent";
constexpr const char* kStation = "net.connman.iwd.Station";
constexpr const char* kDevice = "net.connman.iwd.Device";
constexpr const char* kNetwork = "net.connman.iwd.Network";
constexpr const char* kKnownNetwork = "net.connman.iwd.KnownNetwork";
constexpr const char* kCanceled = "net.connman.iwd.Agent.Error.Canceled";

struct SBusError {
    sd_bus_error e = SD_BUS_ERROR_NULL;
    ~SBusError() { sd_bus_error_free(&e); }
};

struct SBusMessage {
    sd_bus_message* m = nullptr;
    ~SBusMessage() { sd_bus_message_unref(m); }
};

SIwdReply Failure(const sd_bus_error* error, int rc) {
    SIwdReply reply;
    reply.ok = false;
    if (error && sd_bus_error_is_set(error)) {
        reply.name = error->name;
        reply.message = error->message ? error->message : "";
    } else {
        reply.name = "errno";
        reply.message = std::strerror(rc < 0 ? -rc : rc);
    }
    reply.error = ClassifyIwdError(reply.name);
    return reply;
}

std::string Text(const char* s) { return s ? s : ""; }

// Reads the properties of one interface (a{sv}) into strings; booleans as "1"/"0"; the rest skipped.
int ReadProperties(sd_bus_message* m, std::map<std::string, std::string>& out) {
    int rc = sd_bus_message_enter_container(m, 'a', "{sv}");
    if (rc < 0) return rc;
    while ((rc = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* key = nullptr;
        if ((rc = sd_bus_message_read(m, "s", &key)) < 0) return rc;
        const char* contents = nullptr;
        if ((rc = sd_bus_message_peek_type(m, nullptr, &contents)) < 0) return rc;
        if (contents && (std::strcmp(contents, "s") == 0 || std::strcmp(contents, "o") == 0)) {
            const char* value = nullptr;
            if ((rc = sd_bus_message_read(m, "v", contents, &value)) < 0) return rc;
            out[Text(key)] = Text(value);
        } else if (contents && std::strcmp(contents, "b") == 0) {
            int value = 0;
            if ((rc = sd_bus_message_read(m, "v", "b", &value)) < 0) return rc;
            out[Text(key)] = value ? "1" : "0";
        } else if ((rc = sd_bus_message_skip(m, "v")) < 0) {
            return rc;
        }
        if ((rc = sd_bus_message_exit_container(m)) < 0) return rc;
    }
    if (rc < 0) return rc;
    return sd_bus_message_exit_container(m);
}

std::string Value(const std::map<std::string, std::string>& props, const char* key) {
    const auto it = props.find(key);
    return it == props.end() ? std::string() : it->second;
}

int OnRequestPassphrase(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    auto* self = static_cast<CIwdClient*>(userdata);
    std::string passphrase;
    if (!self->NextPassphrase(passphrase))
        return sd_bus_error_set(error, kCanceled, "the network refused the passphrase the utility gave");
    const int rc = sd_bus_reply_method_return(m, "s", passphrase.c_str());
    SecureClear(passphrase);
    return rc;
}

int OnRefuse(sd_bus_message*, void*, sd_bus_error* error) {
    return sd_bus_error_set(error, kCanceled, "the utility gives no 802.1X secrets through iwd's agent");
}

int OnOk(sd_bus_message* m, void*, sd_bus_error*) { return sd_bus_reply_method_return(m, nullptr); }

const sd_bus_vtable kAgentVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Release", "", "", OnOk, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("RequestPassphrase", "o", "s", OnRequestPassphrase, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("RequestPrivateKeyPassphrase", "o", "s", OnRefuse, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("RequestUserNameAndPassword", "o", "ss", OnRefuse, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("RequestUserPassword", "os", "s", OnRefuse, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Cancel", "s", "", OnOk, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

int OnConnectReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    static_cast<CIwdClient*>(userdata)->OnConnectAnswer(reply);
    return 0;
}

char HexDigit(unsigned v) { return "0123456789abcdef"[v & 0xF]; }

}  // namespace

EIwdError ClassifyIwdError(const std::string& name) {
    static const std::map<std::string, EIwdError> kByName = {
        {"org.freedesktop.DBus.Error.AccessDenied", EIwdError::Denied},
        {"net.connman.iwd.PermissionDenied", EIwdError::Denied},
        {"org.freedesktop.DBus.Error.ServiceUnknown", EIwdError::Unreachable},
        {"org.freedesktop.DBus.Error.NameHasNoOwner", EIwdError::Unreachable},
        {"org.freedesktop.DBus.Error.NoReply", EIwdError::Unreachable},
        {"org.freedesktop.DBus.Error.Disconnected", EIwdError::Unreachable},
        {"org.freedesktop.DBus.Error.UnknownObject", EIwdError::Gone},
        {"org.freedesktop.DBus.Error.UnknownMethod", EIwdError::Gone},
        {"org.freedesktop.DBus.Error.UnknownInterface", EIwdError::Gone},
        {"net.connman.iwd.Failed", EIwdError::Failed},
        {"net.connman.iwd.Aborted", EIwdError::Aborted},
        {"net.connman.iwd.NotFound", EIwdError::NotFound},
        {"net.connman.iwd.NotSupported", EIwdError::NotSupported},
        {"net.connman.iwd.NotImplemented", EIwdError::NotSupported},
        {"net.connman.iwd.Busy", EIwdError::Busy},
        {"net.connman.iwd.InProgress", EIwdError::Busy},
        {"net.connman.iwd.NoAgent", EIwdError::NoAgent},
        {"org.freedesktop.DBus.Error.Timeout", EIwdError::TimedOut},
    };
    const auto it = kByName.find(name);
    return it == kByName.end() ? EIwdError::Other : it->second;
}

std::string SIwdObjects::DeviceOf(const std::string& ifname) const {
    for (const auto& [path, name] : devices)
        if (name == ifname) return path;
    return {};
}

const SIwdNetwork* SIwdObjects::Network(const std::string& device, const std::string& ssid,
                                        const std::string& type) const {
    // The path holds the SSID's bytes: names that are not UTF-8 are still told apart.
    const std::string suffix = "/" + IwdObjectName(ssid, type);
    for (const auto& [path, network] : networks)
        if (network.device == device && path.size() > suffix.size() &&
            path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0)
            return &network;
    return nullptr;
}

std::string IwdObjectName(const std::string& ssid, const std::string& type) {
    std::string out;
    for (const unsigned char c : ssid) {
        out += HexDigit(c >> 4);
        out += HexDigit(c);
    }
    return out + "_" + type;
}

std::string IwdStorageName(const std::string& ssid, const std::string& type) {
    bool plain = !ssid.empty();
    for (const unsigned char c : ssid)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' ||
              c == '-' || c == '_'))
            plain = false;
    if (plain) return ssid + "." + type;
    std::string out = "=";
    for (const unsigned char c : ssid) {
        out += HexDigit(c >> 4);
        out += HexDigit(c);
    }
    return out + "." + type;
}

std::string IwdTypeOf(uint32_t security) {
    switch (security) {
        case 0:
        case 5:  // OWE: iwd shows it as an open network and does the key exchange itself
            return "open";
        case 1:
            return "wep";
        case 3:
        case 4:
        case 6:
            return "psk";
        case 7:
        case 8:
            return "8021x";
        default:
            return {};
    }
}

CIwdClient::~CIwdClient() {
    UnregisterAgent();
    m_pCallSlot = sd_bus_slot_unref(m_pCallSlot);
    sd_bus_flush_close_unref(m_pBus);
    SecureClear(m_Passphrase);
}

SIwdReply CIwdClient::Open() {
    const int rc = sd_bus_open_system(&m_pBus);
    if (rc < 0) {
        SIwdReply reply = Failure(nullptr, rc);
        reply.error = EIwdError::Unreachable;
        return reply;
    }
    sd_bus_set_method_call_timeout(m_pBus, static_cast<uint64_t>(kCallTimeout.count()) * 1000000u);
    return {};
}

SIwdReply CIwdClient::Read(SIwdObjects& out) {
    out = {};
    SBusError error;
    SBusMessage answer;
    int rc = sd_bus_call_method(m_pBus, kService, "/", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects",
                                &error.e, &answer.m, "");
    if (rc < 0) return Failure(&error.e, rc);
    sd_bus_message* m = answer.m;
    if ((rc = sd_bus_message_enter_container(m, 'a', "{oa{sa{sv}}}")) < 0) return Failure(nullptr, rc);
    while ((rc = sd_bus_message_enter_container(m, 'e', "oa{sa{sv}}")) > 0) {
        const char* path = nullptr;
        if ((rc = sd_bus_message_read(m, "o", &path)) < 0) break;
        if ((rc = sd_bus_message_enter_container(m, 'a', "{sa{sv}}")) < 0) break;
        while ((rc = sd_bus_message_enter_container(m, 'e', "sa{sv}")) > 0) {
            const char* interface = nullptr;
            if ((rc = sd_bus_message_read(m, "s", &interface)) < 0) break;
            std::map<std::string, std::string> props;
            if ((rc = ReadProperties(m, props)) < 0) break;
            const std::string at = Text(path);
            if (std::strcmp(interface, kDevice) == 0) {
                out.devices[at] = Value(props, "Name");
            } else if (std::strcmp(interface, kStation) == 0) {
                out.stationState[at] = Value(props, "State");
                out.stationNetwork[at] = Value(props, "ConnectedNetwork");
                if (Value(props, "Scanning") == "1") out.stationScanning[at] = true;
            } else if (std::strcmp(interface, kNetwork) == 0) {
                SIwdNetwork& n = out.networks[at];
                n.path = at;
                n.name = Value(props, "Name");
                n.type = Value(props, "Type");
                n.device = Value(props, "Device");
                n.known = Value(props, "KnownNetwork");
                n.connected = Value(props, "Connected") == "1";
            } else if (std::strcmp(interface, kKnownNetwork) == 0) {
                out.known[at] = {at, Value(props, "Name"), Value(props, "Type")};
            }
            if ((rc = sd_bus_message_exit_container(m)) < 0) break;
        }
        if (rc < 0 || (rc = sd_bus_message_exit_container(m)) < 0) break;
        if ((rc = sd_bus_message_exit_container(m)) < 0) break;
    }
    if (rc < 0) return Failure(nullptr, rc);
    return {};
}

SIwdReply CIwdClient::Scan(const std::string& station, std::chrono::milliseconds wait) {
    SBusError error;
    sd_bus_message* call = nullptr;
    int rc = sd_bus_message_new_method_call(m_pBus, &call, kService, station.c_str(), kStation, "Scan");
    if (rc >= 0) rc = sd_bus_call(m_pBus, call, static_cast<uint64_t>(wait.count()) * 1000u, &error.e, nullptr);
    sd_bus_message_unref(call);
    if (rc >= 0) return {};
    SIwdReply reply = Failure(&error.e, rc);
    if (rc == -ETIMEDOUT) reply.error = EIwdError::TimedOut;
    return reply;
}

SIwdReply CIwdClient::Disconnect(const std::string& station) {
    SBusError error;
    const int rc =
        sd_bus_call_method(m_pBus, kService, station.c_str(), kStation, "Disconnect", &error.e, nullptr, "");
    return rc < 0 ? Failure(&error.e, rc) : SIwdReply{};
}

SIwdReply CIwdClient::Forget(const std::string& knownPath) {
    SBusError error;
    const int rc =
        sd_bus_call_method(m_pBus, kService, knownPath.c_str(), kKnownNetwork, "Forget", &error.e, nullptr, "");
    return rc < 0 ? Failure(&error.e, rc) : SIwdReply{};
}

SIwdReply CIwdClient::RxMode(const std::string& station, std::string& mode) {
    mode.clear();
    SBusError error;
    SBusMessage answer;
    int rc = sd_bus_call_method(m_pBus, kService, station.c_str(), "net.connman.iwd.StationDiagnostic",
                                "GetDiagnostics", &error.e, &answer.m, "");
    if (rc < 0) return Failure(&error.e, rc);
    std::map<std::string, std::string> props;
    if ((rc = ReadProperties(answer.m, props)) < 0) return Failure(nullptr, rc);
    mode = Value(props, "RxMode");
    return {};
}

SIwdReply CIwdClient::RegisterAgent(const std::string& passphrase) {
    UnregisterAgent();
    m_Passphrase = passphrase;
    m_nRequests = 0;
    SBusError error;
    int rc = sd_bus_add_object_vtable(m_pBus, &m_pAgentSlot, kAgentPath, kAgent, kAgentVtable, this);
    if (rc >= 0)
        rc = sd_bus_call_method(m_pBus, kService, kDaemonPath, kAgentManager, "RegisterAgent", &error.e, nullptr,
                                "o", kAgentPath);
    if (rc < 0) {
        m_pAgentSlot = sd_bus_slot_unref(m_pAgentSlot);
        return Failure(&error.e, rc);
    }
    m_bAgent = true;
    return {};
}

void CIwdClient::UnregisterAgent() {
    if (m_bAgent) {
        SBusError error;
        sd_bus_call_method(m_pBus, kService, kDaemonPath, kAgentManager, "UnregisterAgent", &error.e, nullptr, "o",
                           kAgentPath);
        m_bAgent = false;
    }
    m_pAgentSlot = sd_bus_slot_unref(m_pAgentSlot);
    SecureClear(m_Passphrase);
}

bool CIwdClient::NextPassphrase(std::string& out) {
    // iwd asks again within one attempt only when the key it was given failed.
    if (++m_nRequests > 1 || m_Passphrase.empty()) return false;
    out = m_Passphrase;
    return true;
}

void CIwdClient::OnConnectAnswer(sd_bus_message* reply) {
    m_bAnswered = true;
    m_ConnectResult = {};
    if (const sd_bus_error* error = sd_bus_message_get_error(reply))
        m_ConnectResult = Failure(error, sd_bus_message_get_errno(reply));
    m_pCallSlot = sd_bus_slot_unref(m_pCallSlot);
}

SIwdReply CIwdClient::StartCall(sd_bus_message* call) {
    m_bAnswered = false;
    m_ConnectResult = {};
    m_pCallSlot = sd_bus_slot_unref(m_pCallSlot);
    // iwd answers a connection only once it is up or has failed: a minute at most.
    const int rc = sd_bus_call_async(m_pBus, &m_pCallSlot, call, OnConnectReply, this, 60000000u);
    return rc < 0 ? Failure(nullptr, rc) : SIwdReply{};
}

SIwdReply CIwdClient::StartConnect(const std::string& network) {
    SBusMessage call;
    const int rc =
        sd_bus_message_new_method_call(m_pBus, &call.m, kService, network.c_str(), kNetwork, "Connect");
    return rc < 0 ? Failure(nullptr, rc) : StartCall(call.m);
}

SIwdReply CIwdClient::StartConnectHidden(const std::string& station, const std::string& ssid) {
    SBusMessage call;
    int rc = sd_bus_message_new_method_call(m_pBus, &call.m, kService, station.c_str(), kStation,
                                            "ConnectHiddenNetwork");
    if (rc >= 0) rc = sd_bus_message_append(call.m, "s", ssid.c_str());
    return rc < 0 ? Failure(nullptr, rc) : StartCall(call.m);
}

void CIwdClient::Process() {
    if (!m_pBus) return;
    while (sd_bus_process(m_pBus, nullptr) > 0) {
    }
}

bool CIwdClient::WaitConnect(std::chrono::milliseconds slice, const CJoinContext& context) {
    Process();
    if (m_bAnswered || !m_pBus) return true;
    const int fd = sd_bus_get_fd(m_pBus);
    context.Wait(&fd, fd >= 0 ? 1 : 0, slice);
    Process();
    return m_bAnswered;
}

}  // namespace wavory::kccl
