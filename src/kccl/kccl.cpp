// The three calls of the driver-access library. They serve one adapter per process, chosen when the
// link is opened: the simulated adapter or one of the machine's wireless interfaces.
#include "kccl.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "SimLink.h"
#include "SimState.h"
#include "kccl_adapters.h"
#include "kccl_diag.h"
#include "real/AdapterList.h"
#include "real/NlStats.h"
#include "real/RealAdapter.h"

using namespace wavory::kccl;

namespace {

constexpr const char* kSimName = "sim";

// The real adapter is used from the window's two threads; its sockets take one request at a time.
// The simulated adapter keeps its own lock.
std::mutex g_mutex;
std::unique_ptr<CRealAdapter> g_real;
bool g_simLinked = false;

std::string WantedAdapter() {
    const char* wanted = std::getenv("WAVORY_ADAPTER");
    return wanted ? std::string(wanted) : std::string();
}

void CopyText(const std::string& text, char* buf, size_t size) {
    if (buf == nullptr || size == 0) return;
    std::snprintf(buf, size, "%s", text.c_str());
}

}  // namespace

extern "C" {

int kcom_connect(const char* how) {
    if (how == nullptr || std::strcmp(how, "SEARCH") != 0) return kResultBadArgument;
    std::lock_guard lock(g_mutex);
    const SSystemPaths paths;
    const std::string chosen = ChooseAdapter(WantedAdapter(), FindWirelessInterfaces(paths));
    if (chosen == kSimName) {
        const int result = SimConnect();
        // Another program holds the simulated adapter: the link this process has stays as it was.
        if (result == kResultBusy && g_simLinked) return result;
        g_real.reset();
        if (result != 0) SimDisconnect();
        g_simLinked = result == 0;
        return result;
    }
    g_real.reset();
    g_simLinked = false;
    SimDisconnect();
    SInterfaceInfo info = FindWirelessInterface(paths, chosen);
    if (info.name.empty()) return kResultNoAdapter;  // asked for an interface that is not there
    auto adapter = std::make_unique<CRealAdapter>(std::move(info));
    const int result = adapter->Open();
    if (result == 0) g_real = std::move(adapter);
    return result;
}

int kcom_exec_oid(KCOM_REQUEST* request) {
    if (request == nullptr) return kResultBadArgument;
    {
        std::lock_guard lock(g_mutex);
        if (g_real) {
            try {
                return g_real->Exec(*request);
            } catch (const std::exception&) {
                return kResultNoAdapter;
            }
        }
        if (!g_simLinked) return kResultNoLink;
    }
    // The simulation may throw on purpose (an injected fault): outside the lock.
    return SimExec(request);
}

int kcom_disconnect(void) {
    std::lock_guard lock(g_mutex);
    g_real.reset();
    g_simLinked = false;
    SimDisconnect();
    // WAVORY_KCCL_STATS=1: what this process asked of the kernel, for the benchmarks.
    const char* stats = std::getenv("WAVORY_KCCL_STATS");
    if (stats && *stats == '1') {
        KCCL_NETLINK_STATS s{};
        kccl_netlink_stats(&s);
        std::fprintf(stderr,
                     "kccl: netlink requests=%llu dumps=%llu scan_dumps=%llu messages=%llu bytes=%llu "
                     "sockets=%llu\n",
                     static_cast<unsigned long long>(s.requests), static_cast<unsigned long long>(s.dumps),
                     static_cast<unsigned long long>(s.scan_dumps),
                     static_cast<unsigned long long>(s.messages), static_cast<unsigned long long>(s.bytes),
                     static_cast<unsigned long long>(s.sockets));
    }
    return 0;
}

int kccl_netlink_stats(KCCL_NETLINK_STATS* out) {
    if (out == nullptr) return kResultBadArgument;
    const SNlStats& s = NlStats();
    out->requests = s.requests;
    out->dumps = s.dumps;
    out->scan_dumps = s.scanDumps;
    out->messages = s.messages;
    out->bytes = s.bytes;
    out->sockets = s.sockets;
    return 0;
}

int kccl_list_adapters(KCCL_ADAPTER* out, int max) {
    const SSystemPaths paths;
    const auto found = FindWirelessInterfaces(paths);
    std::string inUse;
    {
        std::lock_guard lock(g_mutex);
        inUse = g_real ? g_real->Info().name : g_simLinked ? kSimName : "";
    }
    if (inUse.empty()) inUse = ChooseAdapter(WantedAdapter(), found);
    int count = 0;
    auto add = [&](const std::string& name, const std::string& driver, const std::string& mac,
                   int managedBy) {
        if (out != nullptr && count < max) {
            KCCL_ADAPTER& a = out[count];
            std::memset(&a, 0, sizeof a);
            CopyText(name, a.name, sizeof a.name);
            CopyText(driver, a.driver, sizeof a.driver);
            CopyText(mac, a.mac, sizeof a.mac);
            a.in_use = name == inUse ? 1 : 0;
            a.managed_by = managedBy;
        }
        ++count;
    };
    for (const SInterfaceInfo& info : found) add(info.name, info.driver, info.mac, info.managedBy);
    add(kSimName, "simulation", "", KCCL_MANAGED_BY_NOBODY);
    return count;
}

int kccl_adapter_in_use(char* buf, size_t size) {
    std::lock_guard lock(g_mutex);
    const std::string name = g_real ? g_real->Info().name : g_simLinked ? kSimName : "";
    CopyText(name, buf, size);
    return static_cast<int>(name.size());
}

int kccl_status_message(uint32_t status, char* buf, size_t size) {
    std::string text;
    {
        std::lock_guard lock(g_mutex);
        // The simulated adapter can be told to refuse in the same way, for tests.
        text = g_real ? g_real->StatusMessage(status)
                      : CRealAdapter::RefusalText(status, "the simulated adapter", "/run/wpa_supplicant/sim");
    }
    CopyText(text, buf, size);
    return static_cast<int>(text.size());
}

}  // extern "C"
