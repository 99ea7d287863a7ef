#include "platform/NmBus.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>

namespace wavory {

namespace {

using EKind = SNmBusValue::EKind;

constexpr const char* kService = "org.freedesktop.NetworkManager";
constexpr const char* kSettingsPath = "/org/freedesktop/NetworkManager/Settings";
constexpr const char* kSettings = "org.freedesktop.NetworkManager.Settings";
constexpr const char* kConnection = "org.freedesktop.NetworkManager.Settings.Connection";
constexpr uint64_t kCallTimeoutUsec = 10 * 1000 * 1000;

struct SBusError {
    sd_bus_error e = SD_BUS_ERROR_NULL;
    ~SBusError() { sd_bus_error_free(&e); }
};

struct SBusMessage {
    sd_bus_message* m = nullptr;
    ~SBusMessage() { sd_bus_message_unref(m); }
};

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

SNmBusReply Failure(const sd_bus_error& error, int rc) {
    SNmBusReply reply;
    reply.ok = false;
    if (sd_bus_error_is_set(&error)) {
        reply.name = error.name;
        reply.message = error.message ? error.message : "";
    } else {
        reply.name = "errno";
        reply.message = std::strerror(rc < 0 ? -rc : rc);
    }
    const std::string& n = reply.name;
    reply.denied = EndsWith(n, ".PermissionDenied") || n == "org.freedesktop.DBus.Error.AccessDenied" ||
                   n == "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired" || rc == -EACCES;
    reply.unreachable = n == "org.freedesktop.DBus.Error.ServiceUnknown" ||
                        n == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
                        n == "org.freedesktop.DBus.Error.NoServer" ||
                        n == "org.freedesktop.DBus.Error.Disconnected";
    return reply;
}

// Reads a value of signature `sig` inside its variant (entered by the caller).
int ReadValue(sd_bus_message* m, const std::string& sig, SNmBusValue& v) {
    int rc = 0;
    const auto integer = [&](char type, auto& storage, auto& target) {
        rc = sd_bus_message_read_basic(m, type, &storage);
        target = storage;
        return rc;
    };
    if (sig == "b") {
        int b = 0;
        v.kind = EKind::Bool;
        rc = sd_bus_message_read_basic(m, 'b', &b);
        v.flag = b != 0;
        return rc;
    }
    if (sig == "i" || sig == "n" || sig == "x") {
        v.kind = EKind::Int;
        if (sig == "i") {
            int32_t x = 0;
            return integer('i', x, v.number);
        }
        if (sig == "n") {
            int16_t x = 0;
            return integer('n', x, v.number);
        }
        int64_t x = 0;
        return integer('x', x, v.number);
    }
    if (sig == "u" || sig == "q" || sig == "t" || sig == "y") {
        v.kind = EKind::UInt;
        if (sig == "u") {
            uint32_t x = 0;
            return integer('u', x, v.unsignedNumber);
        }
        if (sig == "q") {
            uint16_t x = 0;
            return integer('q', x, v.unsignedNumber);
        }
        if (sig == "y") {
            uint8_t x = 0;
            return integer('y', x, v.unsignedNumber);
        }
        uint64_t x = 0;
        return integer('t', x, v.unsignedNumber);
    }
    if (sig == "s" || sig == "o") {
        const char* s = nullptr;
        v.kind = EKind::Text;
        rc = sd_bus_message_read_basic(m, sig[0], &s);
        v.text = s ? s : "";
        return rc;
    }
    if (sig == "ay") {
        const void* data = nullptr;
        size_t size = 0;
        v.kind = EKind::Bytes;
        rc = sd_bus_message_read_array(m, 'y', &data, &size);
        if (rc >= 0 && size) v.bytes.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
        return rc;
    }
    if (sig == "as") {
        char** list = nullptr;
        v.kind = EKind::Texts;
        rc = sd_bus_message_read_strv(m, &list);
        for (char** p = list; p && *p; ++p) {
            v.texts.emplace_back(*p);
            std::free(*p);
        }
        std::free(list);
        return rc;
    }
    if (sig == "au") {
        v.kind = EKind::UInts;
        if ((rc = sd_bus_message_enter_container(m, 'a', "u")) < 0) return rc;
        uint32_t u = 0;
        while ((rc = sd_bus_message_read_basic(m, 'u', &u)) > 0) v.uints.push_back(u);
        if (rc < 0) return rc;
        return sd_bus_message_exit_container(m);
    }
    if (sig == "aay") {
        v.kind = EKind::ByteLists;
        if ((rc = sd_bus_message_enter_container(m, 'a', "ay")) < 0) return rc;
        for (;;) {
            const void* data = nullptr;
            size_t size = 0;
            if ((rc = sd_bus_message_read_array(m, 'y', &data, &size)) <= 0) break;
            v.byteLists.emplace_back(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
        }
        if (rc < 0) return rc;
        return sd_bus_message_exit_container(m);
    }
    if (sig == "aa{sv}") {
        v.kind = EKind::Dicts;
        if ((rc = sd_bus_message_enter_container(m, 'a', "a{sv}")) < 0) return rc;
        while ((rc = sd_bus_message_enter_container(m, 'a', "{sv}")) > 0) {
            std::map<std::string, std::string> dict;
            while ((rc = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
                const char* key = nullptr;
                const char* contents = nullptr;
                if ((rc = sd_bus_message_read_basic(m, 's', &key)) < 0) return rc;
                if ((rc = sd_bus_message_peek_type(m, nullptr, &contents)) < 0) return rc;
                const std::string inner = contents ? contents : "";
                if ((rc = sd_bus_message_enter_container(m, 'v', inner.c_str())) < 0) return rc;
                SNmBusValue member;
                if (inner.size() == 1 && inner != "v") {
                    if ((rc = ReadValue(m, inner, member)) < 0) return rc;
                    dict[key ? key : ""] = member.kind == EKind::Text   ? member.text
                                           : member.kind == EKind::Int  ? std::to_string(member.number)
                                           : member.kind == EKind::UInt ? std::to_string(member.unsignedNumber)
                                                                        : (member.flag ? "true" : "false");
                } else if ((rc = sd_bus_message_skip(m, inner.c_str())) < 0) {
                    return rc;
                }
                if ((rc = sd_bus_message_exit_container(m)) < 0) return rc;
                if ((rc = sd_bus_message_exit_container(m)) < 0) return rc;
            }
            if (rc < 0) return rc;
            if ((rc = sd_bus_message_exit_container(m)) < 0) return rc;
            v.dicts.push_back(std::move(dict));
        }
        if (rc < 0) return rc;
        return sd_bus_message_exit_container(m);
    }
    // Any other type is read over; whether it holds anything is told for the notes.
    v.kind = EKind::Other;
    v.text = sig;
    if (sig.size() > 1 && sig[0] == 'a') {
        if ((rc = sd_bus_message_enter_container(m, 'a', sig.c_str() + 1)) < 0) return rc;
        v.empty = sd_bus_message_at_end(m, false) > 0;
        while (sd_bus_message_at_end(m, false) == 0)
            if ((rc = sd_bus_message_skip(m, sig.c_str() + 1)) < 0) return rc;
        return sd_bus_message_exit_container(m);
    }
    return sd_bus_message_skip(m, sig.c_str());
}

// a{sa{sv}} into `out` (values of a setting already there are replaced).
int ReadSettings(sd_bus_message* m, NmBusSettings& out) {
    int rc = sd_bus_message_enter_container(m, 'a', "{sa{sv}}");
    if (rc < 0) return rc;
    while ((rc = sd_bus_message_enter_container(m, 'e', "sa{sv}")) > 0) {
        const char* setting = nullptr;
        if ((rc = sd_bus_message_read_basic(m, 's', &setting)) < 0) return rc;
        auto& values = out[setting ? setting : ""];
        if ((rc = sd_bus_message_enter_container(m, 'a', "{sv}")) < 0) return rc;
        while ((rc = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
            const char* key = nullptr;
            const char* contents = nullptr;
            if ((rc = sd_bus_message_read_basic(m, 's', &key)) < 0) return rc;
            if ((rc = sd_bus_message_peek_type(m, nullptr, &contents)) < 0) return rc;
            const std::string sig = contents ? contents : "";
            if ((rc = sd_bus_message_enter_container(m, 'v', sig.c_str())) < 0) return rc;
            SNmBusValue v;
            if ((rc = ReadValue(m, sig, v)) < 0) return rc;
            values[key ? key : ""] = std::move(v);
            if ((rc = sd_bus_message_exit_container(m)) < 0) return rc;
            if ((rc = sd_bus_message_exit_container(m)) < 0) return rc;
        }
        if (rc < 0) return rc;
        if ((rc = sd_bus_message_exit_container(m)) < 0) return rc;
        if ((rc = sd_bus_message_exit_container(m)) < 0) return rc;
    }
    if (rc < 0) return rc;
    return sd_bus_message_exit_container(m);
}

int AppendValue(sd_bus_message* m, const SNmBusValue& v) {
    int rc = 0;
    const auto open = [&](const char* sig) { return sd_bus_message_open_container(m, 'v', sig); };
    switch (v.kind) {
        case EKind::Bool:
            if ((rc = open("b")) < 0 || (rc = sd_bus_message_append(m, "b", static_cast<int>(v.flag))) < 0) return rc;
            break;
        case EKind::Int:
            if ((rc = open("i")) < 0 || (rc = sd_bus_message_append(m, "i", static_cast<int32_t>(v.number))) < 0)
                return rc;
            break;
        case EKind::UInt:
            if ((rc = open("u")) < 0 ||
                (rc = sd_bus_message_append(m, "u", static_cast<uint32_t>(v.unsignedNumber))) < 0)
                return rc;
            break;
        case EKind::Text:
            if ((rc = open("s")) < 0 || (rc = sd_bus_message_append(m, "s", v.text.c_str())) < 0) return rc;
            break;
        case EKind::Bytes:
            if ((rc = open("ay")) < 0 || (rc = sd_bus_message_append_array(m, 'y', v.bytes.data(), v.bytes.size())) < 0)
                return rc;
            break;
        case EKind::Texts:
            if ((rc = open("as")) < 0 || (rc = sd_bus_message_open_container(m, 'a', "s")) < 0) return rc;
            for (const std::string& s : v.texts)
                if ((rc = sd_bus_message_append(m, "s", s.c_str())) < 0) return rc;
            if ((rc = sd_bus_message_close_container(m)) < 0) return rc;
            break;
        case EKind::UInts:
            if ((rc = open("au")) < 0 ||
                (rc = sd_bus_message_append_array(m, 'u', v.uints.data(), v.uints.size() * sizeof(uint32_t))) < 0)
                return rc;
            break;
        case EKind::ByteLists:
            if ((rc = open("aay")) < 0 || (rc = sd_bus_message_open_container(m, 'a', "ay")) < 0) return rc;
            for (const auto& bytes : v.byteLists)
                if ((rc = sd_bus_message_append_array(m, 'y', bytes.data(), bytes.size())) < 0) return rc;
            if ((rc = sd_bus_message_close_container(m)) < 0) return rc;
            break;
        case EKind::Dicts:
            // Address and route entries: the prefix and metric are numbers, the rest text.
            if ((rc = open("aa{sv}")) < 0 || (rc = sd_bus_message_open_container(m, 'a', "a{sv}")) < 0) return rc;
            for (const auto& dict : v.dicts) {
                if ((rc = sd_bus_message_open_container(m, 'a', "{sv}")) < 0) return rc;
                for (const auto& [key, value] : dict) {
                    if (key == "prefix" || key == "metric")
                        rc = sd_bus_message_append(m, "{sv}", key.c_str(), "u",
                                                   static_cast<uint32_t>(std::stoul(value)));
                    else
                        rc = sd_bus_message_append(m, "{sv}", key.c_str(), "s", value.c_str());
                    if (rc < 0) return rc;
                }
                if ((rc = sd_bus_message_close_container(m)) < 0) return rc;
            }
            if ((rc = sd_bus_message_close_container(m)) < 0) return rc;
            break;
        case EKind::Other:
            return -EINVAL;
    }
    return sd_bus_message_close_container(m);
}

int AppendSettings(sd_bus_message* m, const NmBusSettings& settings) {
    int rc = sd_bus_message_open_container(m, 'a', "{sa{sv}}");
    if (rc < 0) return rc;
    for (const auto& [setting, values] : settings) {
        if ((rc = sd_bus_message_open_container(m, 'e', "sa{sv}")) < 0) return rc;
        if ((rc = sd_bus_message_append(m, "s", setting.c_str())) < 0) return rc;
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

}  // namespace

CNmBus::~CNmBus() { sd_bus_flush_close_unref(m_pBus); }

SNmBusReply CNmBus::Open() {
    SBusError error;
    const int rc = sd_bus_open_system(&m_pBus);
    if (rc < 0) {
        SNmBusReply reply = Failure(error.e, rc);
        reply.unreachable = true;
        return reply;
    }
    sd_bus_set_method_call_timeout(m_pBus, kCallTimeoutUsec);
    return {};
}

SNmBusReply CNmBus::ListConnections(std::vector<std::string>& paths) {
    SBusError error;
    SBusMessage answer;
    int rc = sd_bus_call_method(m_pBus, kService, kSettingsPath, kSettings, "ListConnections", &error.e, &answer.m,
                                "");
    if (rc < 0) return Failure(error.e, rc);
    char** list = nullptr;
    rc = sd_bus_message_read_strv(answer.m, &list);
    for (char** p = list; p && *p; ++p) {
        paths.emplace_back(*p);
        std::free(*p);
    }
    std::free(list);
    return rc < 0 ? Failure(error.e, rc) : SNmBusReply{};
}

SNmBusReply CNmBus::GetSettings(const std::string& path, NmBusSettings& out) {
    SBusError error;
    SBusMessage answer;
    int rc = sd_bus_call_method(m_pBus, kService, path.c_str(), kConnection, "GetSettings", &error.e, &answer.m, "");
    if (rc < 0 || (rc = ReadSettings(answer.m, out)) < 0) return Failure(error.e, rc);
    return {};
}

SNmBusReply CNmBus::GetSecrets(const std::string& path, const std::string& setting, NmBusSettings& into) {
    SBusError error;
    SBusMessage answer;
    int rc = sd_bus_call_method(m_pBus, kService, path.c_str(), kConnection, "GetSecrets", &error.e, &answer.m, "s",
                                setting.c_str());
    if (rc < 0) return Failure(error.e, rc);
    NmBusSettings secrets;
    if ((rc = ReadSettings(answer.m, secrets)) < 0) return Failure(error.e, rc);
    for (auto& [name, values] : secrets)
        for (auto& [key, value] : values) into[name][key] = std::move(value);
    return {};
}

SNmBusReply CNmBus::AddConnection(const NmBusSettings& settings, std::string& path) {
    SBusError error;
    SBusMessage call, answer;
    int rc = sd_bus_message_new_method_call(m_pBus, &call.m, kService, kSettingsPath, kSettings, "AddConnection");
    if (rc >= 0) rc = AppendSettings(call.m, settings);
    if (rc >= 0) rc = sd_bus_call(m_pBus, call.m, 0, &error.e, &answer.m);
    const char* object = nullptr;
    if (rc >= 0) rc = sd_bus_message_read(answer.m, "o", &object);
    if (rc < 0) return Failure(error.e, rc);
    path = object ? object : "";
    return {};
}

SNmBusReply CNmBus::UpdateConnection(const std::string& path, const NmBusSettings& settings) {
    SBusError error;
    SBusMessage call, answer;
    int rc = sd_bus_message_new_method_call(m_pBus, &call.m, kService, path.c_str(), kConnection, "Update");
    if (rc >= 0) rc = AppendSettings(call.m, settings);
    if (rc >= 0) rc = sd_bus_call(m_pBus, call.m, 0, &error.e, &answer.m);
    if (rc < 0) return Failure(error.e, rc);
    return {};
}

std::string NmBusText(const NmBusSettings& settings, const char* setting, const char* key) {
    const auto group = settings.find(setting);
    if (group == settings.end()) return {};
    const auto value = group->second.find(key);
    return value == group->second.end() ? std::string() : value->second.text;
}

ENmRead ReadNmNetworks(std::vector<SStackNetwork>& networks, std::string& error) {
    CNmBus bus;
    SNmBusReply reply = bus.Open();
    std::vector<std::string> paths;
    if (reply) reply = bus.ListConnections(paths);
    if (!reply && reply.unreachable) return ENmRead::Unreachable;
    if (!reply) {
        error = reply.Text();
        return ENmRead::Failed;
    }
    for (const std::string& path : paths) {
        NmBusSettings settings;
        if (const SNmBusReply r = bus.GetSettings(path, settings); !r) {
            SStackNetwork bad;
            bad.where = path;
            bad.refusal = "NetworkManager did not give its settings: " + r.Text();
            networks.push_back(std::move(bad));
            continue;
        }
        if (NmBusText(settings, "connection", "type") != "802-11-wireless") continue;
        const std::string id = NmBusText(settings, "connection", "id");
        std::vector<std::string> notes;
        for (const char* setting : {"802-11-wireless-security", "802-1x"}) {
            if (!settings.count(setting)) continue;
            const SNmBusReply r = bus.GetSecrets(path, setting, settings);
            if (r) continue;
            notes.push_back(r.denied ? std::string("its secrets were not given: NetworkManager keeps them from this user; "
                                                   "read its file instead, as in sudo cat "
                                                   "/etc/NetworkManager/system-connections/NAME.nmconnection | "
                                                   "wavoryctl profiles import --from networkmanager -")
                                     : "its secrets (" + std::string(setting) + ") were not given: " + r.Text());
            break;
        }
        const std::string keyfile = NmKeyfileOfBus(settings, notes);
        SStackNetwork net = ReadNmKeyfile(keyfile, id.empty() ? path : id);
        net.notes.insert(net.notes.begin(), notes.begin(), notes.end());
        networks.push_back(std::move(net));
    }
    return ENmRead::Read;
}

}  // namespace wavory
