// A helper of the hardware stage's checks, run in the guest:
//
//   hwsim_probe join --ssid S [--adhoc --channel N] [--key HEX [--key-index 1..4]] [--passphrase P]
//       sets a connection's settings through the driver-access library as the utility does, and
//       follows the attempt through OID_JOIN_STATE to its end; prints one JSON object: the starting
//       request's status, the end state, its cause, whether the previous connection was restored,
//       the detail text and the seconds the attempt took. Exit status 0 when the attempt joined.
//   hwsim_probe agent LOG
//       registers a NetworkManager secret agent and writes a line to LOG for every request it gets;
//       answers each with "no secrets". Runs until killed.
#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "kccl.h"
#include "kccl_oid.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* const kCauses[] = {"none",          "wrong_key",      "not_found",   "refused",
                               "unsupported",   "needs_8021x",    "timeout",     "adapter_gone",
                               "not_permitted", "cert_untrusted", "server_name", "method_refused",
                               "cancelled",     "busy"};
const char* const kStates[] = {"idle", "joining", "joined", "failed"};

uint32_t U32(const uint8_t* p, size_t off) {
    uint32_t v = 0;
    std::memcpy(&v, p + off, 4);
    return v;
}

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

uint32_t Set(uint32_t code, const void* payload, size_t size) {
    KCOM_REQUEST r{};
    r.code = code;
    std::memcpy(r.payload, payload, size);
    if (kcom_exec_oid(&r) != 0) return 0xFFFFFFFFu;
    return r.status;
}

int Join(int argc, char** argv) {
    std::string ssid, key, passphrase;
    int channel = 0, keyIndex = 1, securityMode = -1;
    bool adHoc = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&] { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
        if (arg == "--ssid")
            ssid = next();
        else if (arg == "--adhoc")
            adHoc = true;
        else if (arg == "--channel")
            channel = std::atoi(next().c_str());
        else if (arg == "--key")
            key = next();
        else if (arg == "--key-index")
            keyIndex = std::atoi(next().c_str());
        else if (arg == "--passphrase")
            passphrase = next();
        else if (arg == "--security")  // the security mode's number, where the key does not say it
            securityMode = std::atoi(next().c_str());
        else {
            std::fprintf(stderr, "hwsim_probe join: unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    if (ssid.empty() || ssid.size() > 32) return 2;
    if (kcom_connect("SEARCH") != 0) {
        std::printf("{\"error\": \"no link\"}\n");
        return 1;
    }
    uint8_t buf[64] = {};
    const uint32_t mode = adHoc ? 2 : 1;
    Set(OID_NET_MODE_SET, &mode, 4);
    buf[0] = static_cast<uint8_t>(ssid.size());
    std::memcpy(buf + 1, ssid.data(), ssid.size());
    Set(OID_SSID_SET, buf, 33);
    if (adHoc) {
        uint8_t record[16] = {12};
        record[8] = static_cast<uint8_t>(channel);
        Set(OID_CHANNEL_SET, record, sizeof record);
    }
    uint32_t security = securityMode >= 0     ? static_cast<uint32_t>(securityMode)
                        : !key.empty()        ? 1
                        : !passphrase.empty() ? 3
                                              : 0;
    const auto started = Clock::now();
    uint32_t status = Set(OID_SECURITY_SET, &security, 4);
    if (!key.empty()) {
        uint8_t record[44] = {};
        record[0] = static_cast<uint8_t>(keyIndex - 1);
        record[1] = static_cast<uint8_t>(key.size() / 2);
        for (size_t i = 0; i < key.size() / 2 && i < 36; ++i)
            record[8 + i] = static_cast<uint8_t>(std::strtoul(key.substr(2 * i, 2).c_str(), nullptr, 16));
        status = Set(OID_WEP_KEY, record, sizeof record);
    } else if (!passphrase.empty()) {
        uint8_t record[66] = {};
        record[0] = static_cast<uint8_t>(passphrase.size());
        std::memcpy(record + 1, passphrase.data(), passphrase.size());
        status = Set(OID_PASSPHRASE_SET, record, sizeof record);
    }
    const double answered = std::chrono::duration<double>(Clock::now() - started).count();
    KCOM_REQUEST r{};
    for (int i = 0; i < 1200; ++i) {  // two minutes at most
        r = KCOM_REQUEST{};
        r.code = OID_JOIN_STATE;
        if (kcom_exec_oid(&r) != 0 || r.status != KCOM_STATUS_SUCCESS) break;
        if (U32(r.payload, KCOM_JOIN_STATE_FIELD) != KCOM_JOIN_JOINING) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    const uint32_t state = U32(r.payload, KCOM_JOIN_STATE_FIELD);
    const uint32_t cause = U32(r.payload, KCOM_JOIN_CAUSE);
    const std::string detail(
        reinterpret_cast<const char*>(r.payload + KCOM_JOIN_DETAIL),
        strnlen(reinterpret_cast<const char*>(r.payload + KCOM_JOIN_DETAIL), KCOM_JOIN_DETAIL_SIZE));
    std::printf(
        "{\"status\": %u, \"answered_seconds\": %.2f, \"state\": \"%s\", \"cause\": \"%s\", "
        "\"restored\": %s, \"attempt\": %u, \"detail\": %s, \"seconds\": %.2f}\n",
        status, answered, state < 4 ? kStates[state] : "?", cause < 14 ? kCauses[cause] : "?",
        (U32(r.payload, KCOM_JOIN_FLAGS) & KCOM_JOIN_FLAG_RESTORED) ? "true" : "false",
        U32(r.payload, KCOM_JOIN_ATTEMPT), Json(detail).c_str(), seconds);
    std::fflush(stdout);
    kcom_disconnect();
    return state == KCOM_JOIN_JOINED ? 0 : 1;
}

// ---- a secret agent that only counts ----

FILE* g_log = nullptr;

int OnGetSecrets(sd_bus_message* m, void*, sd_bus_error* error) {
    const char* path = "";
    const char* setting = "";
    sd_bus_message_skip(m, "a{sa{sv}}");
    sd_bus_message_read(m, "os", &path, &setting);
    std::fprintf(g_log, "GetSecrets %s %s\n", path, setting);
    std::fflush(g_log);
    return sd_bus_error_set(error, "org.freedesktop.NetworkManager.SecretAgent.NoSecrets", "a test agent");
}

int Logged(sd_bus_message* m, void*, sd_bus_error*) {
    std::fprintf(g_log, "%s\n", sd_bus_message_get_member(m));
    std::fflush(g_log);
    return sd_bus_reply_method_return(m, nullptr);
}

const sd_bus_vtable kVtable[] = {SD_BUS_VTABLE_START(0),
                                 SD_BUS_METHOD("GetSecrets", "a{sa{sv}}osasu", "a{sa{sv}}", OnGetSecrets, 0),
                                 SD_BUS_METHOD("CancelGetSecrets", "os", "", Logged, 0),
                                 SD_BUS_METHOD("SaveSecrets", "a{sa{sv}}o", "", Logged, 0),
                                 SD_BUS_METHOD("DeleteSecrets", "a{sa{sv}}o", "", Logged, 0),
                                 SD_BUS_VTABLE_END};

int Agent(const char* logPath) {
    g_log = std::fopen(logPath, "a");
    if (!g_log) return 1;
    sd_bus* bus = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    if (sd_bus_open_system(&bus) < 0 ||
        sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/NetworkManager/SecretAgent",
                                 "org.freedesktop.NetworkManager.SecretAgent", kVtable, nullptr) < 0 ||
        sd_bus_call_method(bus, "org.freedesktop.NetworkManager",
                           "/org/freedesktop/NetworkManager/AgentManager",
                           "org.freedesktop.NetworkManager.AgentManager", "Register", &error, nullptr, "s",
                           "wavory.hwsim.test-agent") < 0) {
        std::fprintf(stderr, "hwsim_probe agent: %s\n", error.message ? error.message : "no bus");
        return 1;
    }
    std::fprintf(g_log, "registered\n");
    std::fflush(g_log);
    for (;;) {
        const int rc = sd_bus_process(bus, nullptr);
        if (rc < 0) return 1;
        if (rc == 0) sd_bus_wait(bus, UINT64_MAX);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "join") == 0) return Join(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "agent") == 0) return Agent(argv[2]);
    std::fprintf(stderr, "usage: hwsim_probe join --ssid S [...] | hwsim_probe agent LOG\n");
    return 2;
}
