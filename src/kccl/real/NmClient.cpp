#include "NmClient.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace wavory::kccl {

namespace {

constexpr const char* kService = "org.freedesktop.NetworkManager";
constexpr const char* kManagerPath = "/org/freedesktop/NetworkManager";
constexpr const char* kManager = "org.freedesktop.NetworkManager";
constexpr const char* kDevice = "org.freedesktop.NetworkManager.Device";
constexpr const char* kWireless = "org.freedesktop.NetworkManager.Device.Wireless";
constexpr const char* kActive = "org.freedesktop.NetworkManager.Connection.Active";
constexpr const char* kAgentManagerPath = "/org/freedesktop/NetworkManager/AgentManager";
constexpr const char* kAgentManager = "org.freedesktop.NetworkManager.AgentManager";
constexpr const char* kAgentPath = "/org/freedesktop/NetworkManager/SecretAgent";
constexpr const char* kAgent = "org.freedesktop.NetworkManager.SecretAgent";

// A reply from an sd-bus error (or a plain errno when the call failed before any reply).
SNmReply Failure(const sd_bus_error& error, int rc) {
    SNmReply reply;
    reply.ok = false;
    if (sd_bus_error_is_set(&error)) {
        reply.name = error.name;
        reply.message = error.message ? error.message : "";
    } else {
        reply.name = "errno";
        reply.message = std::strerror(rc < 0 ? -rc : rc);
    }
    reply.error = ClassifyNmError(reply.name, reply.message);
    return reply;
}

// Owns an sd_bus_error and frees it at scope end.
struct SBusError {
    sd_bus_error e = SD_BUS_ERROR_NULL;
    ~SBusError() { sd_bus_error_free(&e); }
};

// Owns a message.
struct SBusMessage {
    sd_bus_message* m = nullptr;
    ~SBusMessage() { sd_bus_message_unref(m); }
};

int AppendValue(sd_bus_message* m, const NmValue& value) {
    return std::visit(
        [m](const auto& v) -> int {
            using T = std::decay_t<decltype(v)>;
            int rc = 0;
            if constexpr (std::is_same_v<T, bool>) {
                if ((rc = sd_bus_message_open_container(m, 'v', "b")) < 0) return rc;
                if ((rc = sd_bus_message_append(m, "b", static_cast<int>(v))) < 0) return rc;
            } else if constexpr (std::is_same_v<T, uint32_t>) {
                if ((rc = sd_bus_message_open_container(m, 'v', "u")) < 0) return rc;
                if ((rc = sd_bus_message_append(m, "u", v)) < 0) return rc;
            } else if constexpr (std::is_same_v<T, int32_t>) {
                if ((rc = sd_bus_message_open_container(m, 'v', "i")) < 0) return rc;
                if ((rc = sd_bus_message_append(m, "i", v)) < 0) return rc;
            } else if constexpr (std::is_same_v<T, std::vector<uint32_t>>) {
                if ((rc = sd_bus_message_open_container(m, 'v', "au")) < 0) return rc;
                if ((rc = sd_bus_message_append_array(m, 'u', v.data(), v.size() * sizeof(uint32_t))) < 0)
                    return rc;
            } else if constexpr (std::is_same_v<T, std::vector<std::vector<uint8_t>>>) {
                if ((rc = sd_bus_message_open_container(m, 'v', "aay")) < 0) return rc;
                if ((rc = sd_bus_message_open_container(m, 'a', "ay")) < 0) return rc;
                for (const auto& item : v)
                    if ((rc = sd_bus_message_append_array(m, 'y', item.data(), item.size())) < 0) return rc;
                if ((rc = sd_bus_message_close_container(m)) < 0) return rc;
            } else if constexpr (std::is_same_v<T, std::vector<SNmAddress>>) {
                if ((rc = sd_bus_message_open_container(m, 'v', "aa{sv}")) < 0) return rc;
                if ((rc = sd_bus_message_open_container(m, 'a', "a{sv}")) < 0) return rc;
                for (const SNmAddress& item : v)
                    if ((rc = sd_bus_message_append(m, "a{sv}", 2, "address", "s", item.address.c_str(),
                                                    "prefix", "u", item.prefix)) < 0)
                        return rc;
                if ((rc = sd_bus_message_close_container(m)) < 0) return rc;
            } else if constexpr (std::is_same_v<T, std::string>) {
                if ((rc = sd_bus_message_open_container(m, 'v', "s")) < 0) return rc;
                if ((rc = sd_bus_message_append(m, "s", v.c_str())) < 0) return rc;
            } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
                if ((rc = sd_bus_message_open_container(m, 'v', "as")) < 0) return rc;
                if ((rc = sd_bus_message_open_container(m, 'a', "s")) < 0) return rc;
                for (const std::string& item : v)
                    if ((rc = sd_bus_message_append(m, "s", item.c_str())) < 0) return rc;
                if ((rc = sd_bus_message_close_container(m)) < 0) return rc;
            } else {
                if ((rc = sd_bus_message_open_container(m, 'v', "ay")) < 0) return rc;
                if ((rc = sd_bus_message_append_array(m, 'y', v.data(), v.size())) < 0) return rc;
            }
            return sd_bus_message_close_container(m);
        },
        value);
}

// a{sa{sv}}
int AppendSettings(sd_bus_message* m, const NmSettings& settings) {
    int rc = sd_bus_message_open_container(m, 'a', "{sa{sv}}");
    if (rc < 0) return rc;
    for (const auto& [group, values] : settings) {
        if ((rc = sd_bus_message_open_container(m, 'e', "sa{sv}")) < 0) return rc;
        if ((rc = sd_bus_message_append(m, "s", group.c_str())) < 0) return rc;
        if ((rc = sd_bus_message_open_container(m, 'a', "{sv}")) < 0) return rc;
        for (const auto& [key, value] : values) {
            if ((rc = sd_bus_message_open_container(m, 'e', "sv")) < 0) return rc;
            if ((rc = sd_bus_message_append(m, "s", key.c_str())) < 0) return rc;
            if ((rc = AppendValue(m, value)) < 0) return rc;
            if ((rc = sd_bus_message_close_container(m)) < 0) return rc;
        }
        if ((rc = sd_bus_message_close_container(m)) < 0) return rc;
        if ((rc = sd_bus_message_close_container(m)) < 0) return rc;
    }
    return sd_bus_message_close_container(m);
}

int Ok(sd_bus_message* m, void*, sd_bus_error*) { return sd_bus_reply_method_return(m, nullptr); }

int OnGetSecrets(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    auto* self = static_cast<CNmClient*>(userdata);
    const char* path = nullptr;
    if (sd_bus_message_skip(m, "a{sa{sv}}") < 0 || sd_bus_message_read(m, "o", &path) < 0 || !path)
        return sd_bus_error_set(error, "org.freedesktop.NetworkManager.SecretAgent.InvalidConnection", "");
    if (self->RefuseSecretsOf(path))
        return sd_bus_error_set(error, "org.freedesktop.NetworkManager.SecretAgent.UserCanceled",
                                "the network refused the key the utility gave");
    // Another connection's secrets are not this agent's to give: the next agent is asked.
    return sd_bus_error_set(error, "org.freedesktop.NetworkManager.SecretAgent.NoSecrets", "");
}

const sd_bus_vtable kAgentVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("GetSecrets", "a{sa{sv}}osasu", "a{sa{sv}}", OnGetSecrets, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("CancelGetSecrets", "os", "", Ok, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SaveSecrets", "a{sa{sv}}o", "", Ok, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("DeleteSecrets", "a{sa{sv}}o", "", Ok, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

}  // namespace

CNmClient::~CNmClient() {
    UnregisterAgent();
    sd_bus_flush_close_unref(m_pBus);
}

SNmReply CNmClient::RegisterAgent() {
    if (m_bAgent) return {};
    SBusError error;
    int rc = sd_bus_add_object_vtable(m_pBus, &m_pAgentSlot, kAgentPath, kAgent, kAgentVtable, this);
    if (rc >= 0)
        // One identifier per process: NetworkManager takes one agent of an identifier per user.
        rc = sd_bus_call_method(m_pBus, kService, kAgentManagerPath, kAgentManager, "Register", &error.e,
                                nullptr, "s", ("wavory.utility.p" + std::to_string(::getpid())).c_str());
    if (rc < 0) {
        m_pAgentSlot = sd_bus_slot_unref(m_pAgentSlot);
        return Failure(error.e, rc);
    }
    m_bAgent = true;
    return {};
}

void CNmClient::UnregisterAgent() {
    if (m_bAgent) {
        SBusError error;
        sd_bus_call_method(m_pBus, kService, kAgentManagerPath, kAgentManager, "Unregister", &error.e,
                           nullptr, "");
        m_bAgent = false;
    }
    m_pAgentSlot = sd_bus_slot_unref(m_pAgentSlot);
}

void CNmClient::Process() {
    if (!m_pBus) return;
    while (sd_bus_process(m_pBus, nullptr) > 0) {
    }
}

SNmReply CNmClient::Open(const std::string& interfaceName) {
    SBusError error;
    int rc = sd_bus_open_system(&m_pBus);
    if (rc < 0) {
        SNmReply reply = Failure(error.e, rc);
        reply.error = ENmError::Unreachable;
        return reply;
    }
    sd_bus_set_method_call_timeout(m_pBus, static_cast<uint64_t>(kCallTimeout.count()) * 1000000u);
    SBusMessage answer;
    rc = sd_bus_call_method(m_pBus, kService, kManagerPath, kManager, "GetDeviceByIpIface", &error.e,
                            &answer.m, "s", interfaceName.c_str());
    if (rc < 0) return Failure(error.e, rc);
    const char* path = nullptr;
    rc = sd_bus_message_read(answer.m, "o", &path);
    if (rc < 0 || !path) return Failure(error.e, rc);
    m_Device = path;
    return {};
}

SNmReply CNmClient::Permissions(std::map<std::string, std::string>& out) {
    SBusError error;
    SBusMessage answer;
    int rc = sd_bus_call_method(m_pBus, kService, kManagerPath, kManager, "GetPermissions", &error.e,
                                &answer.m, "");
    if (rc < 0) return Failure(error.e, rc);
    rc = sd_bus_message_enter_container(answer.m, 'a', "{ss}");
    while (rc > 0) {
        const char* key = nullptr;
        const char* value = nullptr;
        rc = sd_bus_message_read(answer.m, "{ss}", &key, &value);
        if (rc > 0 && key && value) out[key] = value;
    }
    if (rc < 0) return Failure(error.e, rc);
    return {};
}

SNmReply CNmClient::Activate(const std::string& connectionPath, std::string& activePath) {
    SBusError error;
    SBusMessage answer;
    int rc = sd_bus_call_method(m_pBus, kService, kManagerPath, kManager, "ActivateConnection", &error.e,
                                &answer.m, "ooo", connectionPath.c_str(), m_Device.c_str(), "/");
    if (rc < 0) return Failure(error.e, rc);
    const char* active = nullptr;
    rc = sd_bus_message_read(answer.m, "o", &active);
    if (rc < 0 || !active) return Failure(error.e, rc);
    activePath = active;
    return {};
}

SNmReply CNmClient::AccessPoints(std::vector<std::pair<std::string, std::string>>& out) {
    out.clear();
    SBusError error;
    SBusMessage answer;
    int rc = sd_bus_call_method(m_pBus, kService, m_Device.c_str(), kWireless, "GetAllAccessPoints", &error.e,
                                &answer.m, "");
    if (rc < 0) return Failure(error.e, rc);
    std::vector<std::string> paths;
    rc = sd_bus_message_enter_container(answer.m, 'a', "o");
    while (rc > 0) {
        const char* path = nullptr;
        rc = sd_bus_message_read(answer.m, "o", &path);
        if (rc > 0 && path) paths.emplace_back(path);
    }
    if (rc < 0) return Failure(error.e, rc);
    for (const std::string& path : paths) {
        std::string address;
        // An access point that went meanwhile is left out.
        if (GetProperty(path, "org.freedesktop.NetworkManager.AccessPoint", "HwAddress", "s", &address))
            out.emplace_back(path, address);
    }
    return {};
}

SNmReply CNmClient::AddAndActivate(const NmSettings& settings, std::string& activePath,
                                   const std::string& specificObject) {
    SBusError error;
    SBusMessage call, answer;
    int rc = sd_bus_message_new_method_call(m_pBus, &call.m, kService, kManagerPath, kManager,
                                            "AddAndActivateConnection2");
    if (rc >= 0) rc = AppendSettings(call.m, settings);
    if (rc >= 0) rc = sd_bus_message_append(call.m, "oo", m_Device.c_str(), specificObject.c_str());
    // "volatile": NetworkManager forgets the connection as soon as it is no longer active, so the
    // user's settings never keep one of the utility's.
    if (rc >= 0) rc = sd_bus_message_append(call.m, "a{sv}", 1, "persist", "s", "volatile");
    if (rc < 0) return Failure(error.e, rc);
    rc = sd_bus_call(m_pBus, call.m, 0, &error.e, &answer.m);
    if (rc < 0) return Failure(error.e, rc);
    const char* connection = nullptr;
    const char* active = nullptr;
    rc = sd_bus_message_read(answer.m, "oo", &connection, &active);
    if (rc < 0 || !active) return Failure(error.e, rc);
    activePath = active;
    return {};
}

SNmReply CNmClient::GetProperty(const std::string& path, const char* interface, const char* member,
                                const char* type, void* out) {
    SBusError error;
    SBusMessage answer;
    int rc =
        sd_bus_get_property(m_pBus, kService, path.c_str(), interface, member, &error.e, &answer.m, type);
    if (rc < 0) return Failure(error.e, rc);
    if (std::strcmp(type, "(uu)") == 0) {
        auto* pair = static_cast<uint32_t*>(out);
        rc = sd_bus_message_read(answer.m, "(uu)", &pair[0], &pair[1]);
    } else if (type[0] == 'o' || type[0] == 's') {
        const char* text = nullptr;
        rc = sd_bus_message_read(answer.m, type, &text);
        if (rc >= 0) *static_cast<std::string*>(out) = text ? text : "";
    } else {
        rc = sd_bus_message_read(answer.m, type, out);
    }
    if (rc < 0) return Failure(error.e, rc);
    return {};
}

SNmReply CNmClient::DeviceState(uint32_t& state, uint32_t& reason) {
    uint32_t pair[2] = {0, 0};
    SNmReply reply = GetProperty(m_Device, kDevice, "StateReason", "(uu)", pair);
    state = pair[0];
    reason = pair[1];
    return reply;
}

SNmReply CNmClient::DeviceActiveConnection(std::string& activePath) {
    return GetProperty(m_Device, kDevice, "ActiveConnection", "o", &activePath);
}

SNmReply CNmClient::ActiveConnectionState(const std::string& activePath, uint32_t& state) {
    return GetProperty(activePath, kActive, "State", "u", &state);
}

SNmReply CNmClient::ActiveConnectionUuid(const std::string& activePath, std::string& uuid) {
    return GetProperty(activePath, kActive, "Uuid", "s", &uuid);
}

SNmReply CNmClient::ActiveConnectionId(const std::string& activePath, std::string& id) {
    return GetProperty(activePath, kActive, "Id", "s", &id);
}

SNmReply CNmClient::ActiveConnectionSettings(const std::string& activePath, std::string& connectionPath) {
    return GetProperty(activePath, kActive, "Connection", "o", &connectionPath);
}

SNmReply CNmClient::ConnectionEapMethod(const std::string& connectionPath, std::string& method) {
    method.clear();
    SBusError error;
    SBusMessage answer;
    int rc = sd_bus_call_method(m_pBus, kService, connectionPath.c_str(),
                                "org.freedesktop.NetworkManager.Settings.Connection", "GetSettings", &error.e,
                                &answer.m, "");
    if (rc < 0) return Failure(error.e, rc);
    // a{sa{sv}}: settings by name, each a map of properties; only 802-1x's "eap" (as) is read.
    sd_bus_message* m = answer.m;
    if ((rc = sd_bus_message_enter_container(m, 'a', "{sa{sv}}")) < 0) return Failure(error.e, rc);
    while ((rc = sd_bus_message_enter_container(m, 'e', "sa{sv}")) > 0) {
        const char* setting = nullptr;
        if ((rc = sd_bus_message_read(m, "s", &setting)) < 0) break;
        if (std::strcmp(setting, "802-1x") != 0) {
            rc = sd_bus_message_skip(m, "a{sv}");
        } else if ((rc = sd_bus_message_enter_container(m, 'a', "{sv}")) >= 0) {
            while ((rc = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
                const char* key = nullptr;
                if ((rc = sd_bus_message_read(m, "s", &key)) < 0) break;
                if (std::strcmp(key, "eap") == 0 && sd_bus_message_enter_container(m, 'v', "as") > 0) {
                    char** names = nullptr;
                    rc = sd_bus_message_read_strv(m, &names);
                    if (rc >= 0 && names && names[0] && method.empty()) method = names[0];
                    for (char** n = names; n && *n; ++n) free(*n);
                    free(names);
                    if (rc >= 0) rc = sd_bus_message_exit_container(m);
                } else {
                    rc = sd_bus_message_skip(m, "v");
                }
                if (rc < 0 || (rc = sd_bus_message_exit_container(m)) < 0) break;
            }
            if (rc >= 0) rc = sd_bus_message_exit_container(m);
        }
        if (rc < 0 || (rc = sd_bus_message_exit_container(m)) < 0) break;
    }
    if (rc < 0) return Failure(error.e, rc);
    return {};
}

SNmReply CNmClient::Deactivate(const std::string& activePath) {
    SBusError error;
    const int rc = sd_bus_call_method(m_pBus, kService, kManagerPath, kManager, "DeactivateConnection",
                                      &error.e, nullptr, "o", activePath.c_str());
    return rc < 0 ? Failure(error.e, rc) : SNmReply{};
}

SNmReply CNmClient::SetVolatile(const std::string& connectionPath, bool isVolatile) {
    // Update2 with no settings keeps them as they are and changes only how the connection is kept:
    // in memory (0x2), and forgotten once it is no longer active (0x8, volatile) or not.
    SBusError error;
    SBusMessage call;
    const uint32_t flags = isVolatile ? 0x2 | 0x8 : 0x2;
    int rc = sd_bus_message_new_method_call(m_pBus, &call.m, kService, connectionPath.c_str(),
                                            "org.freedesktop.NetworkManager.Settings.Connection", "Update2");
    if (rc >= 0) rc = sd_bus_message_append(call.m, "a{sa{sv}}", 0);
    if (rc >= 0) rc = sd_bus_message_append(call.m, "u", flags);
    if (rc >= 0) rc = sd_bus_message_append(call.m, "a{sv}", 0);
    if (rc >= 0) rc = sd_bus_call(m_pBus, call.m, 0, &error.e, nullptr);
    return rc < 0 ? Failure(error.e, rc) : SNmReply{};
}

SNmReply CNmClient::DeleteConnection(const std::string& connectionPath) {
    SBusError error;
    const int rc = sd_bus_call_method(m_pBus, kService, connectionPath.c_str(),
                                      "org.freedesktop.NetworkManager.Settings.Connection", "Delete",
                                      &error.e, nullptr, "");
    return rc < 0 ? Failure(error.e, rc) : SNmReply{};
}

SNmReply CNmClient::RequestScan(const std::string& ssid) {
    SBusError error;
    SBusMessage call;
    int rc =
        sd_bus_message_new_method_call(m_pBus, &call.m, kService, m_Device.c_str(), kWireless, "RequestScan");
    if (rc >= 0) rc = sd_bus_message_open_container(call.m, 'a', "{sv}");
    if (rc >= 0 && !ssid.empty()) {
        // {"ssids": <[ssid]>}
        rc = sd_bus_message_open_container(call.m, 'e', "sv");
        if (rc >= 0) rc = sd_bus_message_append(call.m, "s", "ssids");
        if (rc >= 0) rc = sd_bus_message_open_container(call.m, 'v', "aay");
        if (rc >= 0) rc = sd_bus_message_open_container(call.m, 'a', "ay");
        if (rc >= 0) rc = sd_bus_message_append_array(call.m, 'y', ssid.data(), ssid.size());
        for (int i = 0; i < 3 && rc >= 0; ++i) rc = sd_bus_message_close_container(call.m);
    }
    if (rc >= 0) rc = sd_bus_message_close_container(call.m);
    if (rc >= 0) rc = sd_bus_call(m_pBus, call.m, 0, &error.e, nullptr);
    return rc < 0 ? Failure(error.e, rc) : SNmReply{};
}

}  // namespace wavory::kccl
