// wavory-sim: looks at and changes the simulated adapter that the utility and wavoryctl talk to
// (the one named by WAVORY_SIM, by default this user's).
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kccl_sim.h"
#include "wavory_version.h"

namespace {

const char* const kUsage =
    "usage: wavory-sim COMMAND [ARGS]\n"
    "  status                     adapter state as JSON (with the last join attempt)\n"
    "  unplug | plug              remove or insert the adapter\n"
    "  reset [SCENARIO.json]      start afresh from a scenario (default: the built-in one)\n"
    "  put-network JSON           add a network, or replace the one with its BSSID\n"
    "  remove-network BSSID       take a network away\n"
    "  signal BSSID DBM           change a network's signal (-100 or below: out of range)\n"
    "  steer BSSID                the access point asks the adapter to move to another of the\n"
    "                             network's (a BSS transition request)\n"
    "  deauth [REASON]            the access point ends the connection with this 802.11 reason\n"
    "                             code (default 7)\n"
    "  fault CODE KIND [VALUE]    KIND result|status|throw|none; CODE like 0x190\n"
    "  clear-faults               remove every injected fault\n"
    "  advance MS                 move the adapter's clock forward\n"
    "  scan-duration MS           how long later scans run\n"
    "  join-delay MS              how long later joins take (networks may give their own time)\n"
    "  log                        the last requests the adapter received\n"
    "  hold MS                    hold the adapter's lock for MS milliseconds, as a program\n"
    "                             stalled in the middle of a request does\n"
    "  --help | --version         this text, or the version\n";

int Fail(const std::string& message) {
    std::fprintf(stderr, "wavory-sim: %s\n", message.c_str());
    return 1;
}

bool ParseLong(const std::string& text, long min, long max, long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (*end != '\0' || errno != 0 || value < min || value > max) return false;
    out = value;
    return true;
}

bool ReadFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return true;
}

int Status() {
    // The state may grow between two calls (another process at work): retry until it fits.
    std::vector<char> buffer(4096);
    for (;;) {
        const int length = kccl_sim_state_json(buffer.data(), buffer.size());
        if (length < 0) return Fail("cannot read the adapter state");
        if (static_cast<size_t>(length) < buffer.size()) break;
        buffer.resize(static_cast<size_t>(length) + 1024);
    }
    std::printf("%s\n", buffer.data());
    return 0;
}

int Log() {
    KCCL_SIM_LOG_ENTRY entries[64];
    const int count = kccl_sim_get_log(entries, 64);
    for (int i = 0; i < count; ++i) {
        std::printf("0x%04X status 0x%X result %d head", entries[i].code, entries[i].status,
                    entries[i].result);
        for (int k = 0; k < 16; ++k) std::printf(" %02X", entries[i].head[k]);
        std::printf("\n");
    }
    return 0;
}

int Fault(const std::vector<std::string>& args) {
    if (args.size() < 3 || args.size() > 4) return Fail("fault needs CODE KIND [VALUE]");
    long code = 0;
    if (!ParseLong(args[1], 0, 0xFFFFFFFFL, code)) return Fail("bad request code \"" + args[1] + "\"");
    const std::string& kindText = args[2];
    int kind = 0;
    if (kindText == "none")
        kind = KCCL_SIM_FAULT_NONE;
    else if (kindText == "result")
        kind = KCCL_SIM_FAULT_RESULT;
    else if (kindText == "status")
        kind = KCCL_SIM_FAULT_STATUS;
    else if (kindText == "throw")
        kind = KCCL_SIM_FAULT_THROW;
    else
        return Fail("bad fault kind \"" + kindText + "\" (result, status, throw or none)");
    long value = 0;
    const bool needsValue = kind == KCCL_SIM_FAULT_RESULT || kind == KCCL_SIM_FAULT_STATUS;
    if (needsValue && args.size() != 4) return Fail("fault " + kindText + " needs a VALUE");
    if (args.size() == 4 && !ParseLong(args[3], -0x80000000L, 0xFFFFFFFFL, value)) {
        return Fail("bad fault value \"" + args[3] + "\"");
    }
    if (kccl_sim_set_fault(static_cast<uint32_t>(code), kind,
                           static_cast<int>(static_cast<uint32_t>(value))) != 0) {
        return Fail("fault refused (a result must be nonzero, a status other than 2)");
    }
    return 0;
}

int Run(const std::vector<std::string>& args) {
    const std::string& cmd = args[0];
    const size_t n = args.size();
    long number = 0;
    if (cmd == "status" && n == 1) return Status();
    if (cmd == "log" && n == 1) return Log();
    if (cmd == "unplug" && n == 1) return kccl_sim_set_present(0) == 0 ? 0 : Fail("unplug failed");
    if (cmd == "plug" && n == 1) return kccl_sim_set_present(1) == 0 ? 0 : Fail("plug failed");
    if (cmd == "clear-faults" && n == 1)
        return kccl_sim_clear_faults() == 0 ? 0 : Fail("clear-faults failed");
    if (cmd == "reset" && n <= 2) {
        std::string text;
        if (n == 2 && !ReadFile(args[1], text))
            return Fail("cannot read " + args[1] + ": " + std::strerror(errno));
        return kccl_sim_reset(n == 2 ? text.c_str() : nullptr) == 0 ? 0 : Fail("scenario refused");
    }
    if (cmd == "put-network" && n == 2) {
        return kccl_sim_put_network(args[1].c_str()) == 0 ? 0 : Fail("network refused");
    }
    if (cmd == "remove-network" && n == 2) {
        return kccl_sim_remove_network(args[1].c_str()) == 0 ? 0 : Fail("no network with BSSID " + args[1]);
    }
    if (cmd == "signal" && n == 3) {
        if (!ParseLong(args[2], -200, 0, number))
            return Fail("bad signal \"" + args[2] + "\" (dBm, -200..0)");
        return kccl_sim_set_signal(args[1].c_str(), static_cast<int>(number)) == 0
                   ? 0
                   : Fail("no network with BSSID " + args[1]);
    }
    if (cmd == "steer" && n == 2)
        return kccl_sim_steer(args[1].c_str()) == 0
                   ? 0
                   : Fail("the adapter is on no access point, or " + args[1] +
                          " is not one of its network in range");
    if (cmd == "deauth" && n <= 2) {
        number = 7;
        if (n == 2 && !ParseLong(args[1], 0, 65535, number))
            return Fail("bad reason \"" + args[1] + "\" (an 802.11 reason code, 0..65535)");
        return kccl_sim_deauth(static_cast<int>(number)) == 0 ? 0 : Fail("the adapter is on no access point");
    }
    if (cmd == "fault") return Fault(args);
    if (cmd == "advance" && n == 2) {
        if (!ParseLong(args[1], 0, 0x7FFFFFFF, number))
            return Fail("bad time \"" + args[1] + "\" (milliseconds)");
        return kccl_sim_advance(static_cast<int>(number)) == 0 ? 0 : Fail("advance failed");
    }
    if (cmd == "scan-duration" && n == 2) {
        if (!ParseLong(args[1], 0, 600000, number))
            return Fail("bad duration \"" + args[1] + "\" (0..600000 ms)");
        return kccl_sim_set_scan_duration(static_cast<int>(number)) == 0 ? 0 : Fail("scan-duration failed");
    }
    if (cmd == "join-delay" && n == 2) {
        if (!ParseLong(args[1], 0, 600000, number))
            return Fail("bad delay \"" + args[1] + "\" (0..600000 ms)");
        return kccl_sim_set_join_delay(static_cast<int>(number)) == 0 ? 0 : Fail("join-delay failed");
    }
    if (cmd == "hold" && n == 2) {
        if (!ParseLong(args[1], 0, 3600000, number))
            return Fail("bad time \"" + args[1] + "\" (0..3600000 ms)");
        auto hold = [](void* ms) {
            std::printf("holding the adapter's lock\n");
            std::fflush(stdout);
            std::this_thread::sleep_for(std::chrono::milliseconds(*static_cast<long*>(ms)));
        };
        return kccl_sim_hold_lock(hold, &number) == 0 ? 0 : Fail("cannot take the adapter's lock");
    }
    std::fputs(kUsage, stderr);
    return Fail("unknown command or wrong arguments: " + cmd);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string first = argv[1];
    if (first == "--version") {
        std::printf("wavory-sim (Wavory Utility) %s\n", WAVORY_VERSION);
        return 0;
    }
    if (first == "-h" || first == "--help" || first == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    return Run(std::vector<std::string>(argv + 1, argv + argc));
}
