// The three calls of the driver-access library. They serve one adapter per process, chosen when the
// link is opened: the simulated adapter or one of the machine's wireless interfaces.
#include "kccl.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <linux/nl80211.h>
#include <netlink/attr.h>

#include "SimLink.h"
#include "SimLock.h"
#include "SimState.h"
#include "kccl_adapters.h"
#include "kccl_diag.h"
#include "real/AdapterList.h"
#include "real/Nl80211.h"
#include "real/NlStats.h"
#include "real/RealAdapter.h"

using namespace wavory::kccl;

namespace {

constexpr const char* kSimName = "sim";

// The lock guards which adapter the link serves, not the requests: the real adapter takes one
// request at a time itself, and a join attempt runs without holding either. The simulated adapter
// keeps its own lock.
std::mutex g_mutex;
std::shared_ptr<CRealAdapter> g_real;
// One netlink socket per process, kept while a real interface is linked.
std::shared_ptr<CNl80211> g_nl;
bool g_simLinked = false;

std::string WantedAdapter() {
    const char* wanted = std::getenv("WAVORY_ADAPTER");
    return wanted ? std::string(wanted) : std::string();
}

void CopyText(const std::string& text, char* buf, size_t size) {
    if (buf == nullptr || size == 0) return;
    std::snprintf(buf, size, "%s", text.c_str());
}

std::shared_ptr<CNl80211> Netlink() {
    if (!g_nl) g_nl = std::make_shared<CNl80211>();
    return g_nl;
}

// The kind of each interface (station, ad hoc, access point, ...), for the choice among several.
void FillInterfaceTypes(std::vector<SInterfaceInfo>& found) {
    const std::shared_ptr<CNl80211> nl = Netlink();
    if (nl->Open() != 0) return;
    std::map<int, uint32_t> types;
    nl->Request(NL80211_CMD_GET_INTERFACE, 0, true, nullptr, [&](CNl80211::Attrs tb) {
        if (tb[NL80211_ATTR_IFINDEX] && tb[NL80211_ATTR_IFTYPE])
            types[static_cast<int>(nla_get_u32(tb[NL80211_ATTR_IFINDEX]))] =
                nla_get_u32(tb[NL80211_ATTR_IFTYPE]);
    });
    for (SInterfaceInfo& info : found) {
        const auto it = types.find(info.ifindex);
        if (it != types.end()) info.iftype = it->second;
    }
}

void PrintStats() {
    // WAVORY_KCCL_STATS=1: what this process asked of the kernel, for the benchmarks.
    const char* stats = std::getenv("WAVORY_KCCL_STATS");
    if (!stats || *stats != '1') return;
    KCCL_NETLINK_STATS s{};
    kccl_netlink_stats(&s);
    std::fprintf(
        stderr,
        "kccl: netlink requests=%llu dumps=%llu scan_dumps=%llu messages=%llu bytes=%llu sockets=%llu "
        "busy_us=%llu (%s)\n",
        static_cast<unsigned long long>(s.requests), static_cast<unsigned long long>(s.dumps),
        static_cast<unsigned long long>(s.scan_dumps), static_cast<unsigned long long>(s.messages),
        static_cast<unsigned long long>(s.bytes), static_cast<unsigned long long>(s.sockets),
        static_cast<unsigned long long>(s.busy_us), RequestsByCommand(NlStats()).c_str());
}

}  // namespace

extern "C" {

int kcom_connect(const char* how) {
    if (how == nullptr || std::strcmp(how, "SEARCH") != 0) return kResultBadArgument;
    // An adapter given up here is let go outside the lock: it may wait for its join attempt.
    std::shared_ptr<CRealAdapter> old;
    std::lock_guard lock(g_mutex);
    const SSystemPaths paths;
    const std::string wanted = WantedAdapter();
    std::vector<SInterfaceInfo> found = FindWirelessInterfaces(paths);
    if (wanted.empty() && found.size() > 1) FillInterfaceTypes(found);
    const std::string chosen = ChooseAdapter(wanted, found);
    if (chosen == kSimName) {
        const int result = SimConnect();
        // Another program holds the simulated adapter: the link this process has stays as it was.
        if (result == kResultBusy && g_simLinked) return result;
        old = std::move(g_real);
        if (result != 0) SimDisconnect();
        g_simLinked = result == 0;
        return result;
    }
    const CBusyTimer busy;
    SInterfaceInfo info = FindWirelessInterface(paths, chosen);
    // The same interface, still there and run the same way: the link stays, and with it a join
    // attempt on its way.
    if (g_real && g_real->Alive() && g_real->Info().name == info.name &&
        g_real->Info().ifindex == info.ifindex && g_real->Info().managedBy == info.managedBy &&
        g_real->Info().controlSocket == info.controlSocket)
        return 0;
    old = std::move(g_real);
    g_simLinked = false;
    SimDisconnect();
    if (info.name.empty()) return kResultNoAdapter;  // asked for an interface that is not there
    auto adapter = std::make_shared<CRealAdapter>(std::move(info), Netlink());
    const int result = adapter->Open();
    if (result == 0) g_real = std::move(adapter);
    return result;
}

int kcom_exec_oid(KCOM_REQUEST* request) {
    if (request == nullptr) return kResultBadArgument;
    std::shared_ptr<CRealAdapter> real;
    {
        std::lock_guard lock(g_mutex);
        real = g_real;
        if (!real && !g_simLinked) return kResultNoLink;
    }
    if (real) {
        const CBusyTimer busy;
        try {
            return real->Exec(*request);
        } catch (const std::exception&) {
            return kResultNoAdapter;
        }
    }
    // The simulation may throw on purpose (an injected fault).
    return SimExec(request);
}

int kcom_disconnect(void) {
    std::shared_ptr<CRealAdapter> old;
    {
        std::lock_guard lock(g_mutex);
        old = std::move(g_real);
        g_simLinked = false;
        SimDisconnect();
    }
    // A join attempt still on its way ends first, so that what it changed is put back or kept whole.
    old.reset();
    {
        std::lock_guard lock(g_mutex);
        if (!g_real) g_nl.reset();
    }
    PrintStats();
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
    out->busy_us = s.busyMicros;
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

int kccl_set_busy_wait(int ms) {
    const int previous = t_nBusyWaitMs;
    t_nBusyWaitMs = ms < 0 ? -1 : ms;
    return previous;
}

int kccl_status_message(uint32_t status, char* buf, size_t size) {
    std::string text;
    {
        std::lock_guard lock(g_mutex);
        // The simulated adapter can be told to refuse in the same way, for tests.
        text = g_real ? g_real->StatusMessage(status)
                      : RefusalText(status, "the simulated adapter", "/run/wpa_supplicant/sim");
    }
    CopyText(text, buf, size);
    return static_cast<int>(text.size());
}

}  // extern "C"
