// adapters: the adapters the driver library can serve, and which one it serves.
#include <CLI/CLI.hpp>

#include <vector>

#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "driver/CommVarList.h"
#include "driver/Converters.h"
#include "driver/NameTables.h"
#include "kccl_adapters.h"
#include "kccl_oid.h"

namespace wavory::cli {

namespace {

SOutput RunAdapters() {
    CCliSession session(EAccess::ReadOnly);
    // The link decides which adapter is in use; without one the list says which would be chosen.
    const bool linked = session.TryAdapter();
    std::vector<KCCL_ADAPTER> adapters(8);
    int count = kccl_list_adapters(adapters.data(), static_cast<int>(adapters.size()));
    if (count > static_cast<int>(adapters.size())) {
        adapters.resize(static_cast<size_t>(count));
        count = kccl_list_adapters(adapters.data(), count);
    }
    if (count < 0) Fail("the adapters could not be listed");
    adapters.resize(static_cast<size_t>(count));

    // The list knows the addresses of interfaces; the adapter in use is asked for its own.
    std::string inUseMac;
    if (linked) {
        CCommVarList list;
        list.AddVarExt(OID_MAC_QUERY, OID_MAC_SET, ConvMac, &inUseMac);
        if (!list.RefreshAll(false, false)) inUseMac.clear();
    }

    SOutput out;
    out.data["adapters"] = json::array();
    std::vector<std::vector<std::string>> rows;
    std::vector<bool> inUse;
    for (const KCCL_ADAPTER& a : adapters) {
        const std::string mac = a.mac[0] == '\0' && a.in_use != 0 ? inUseMac : std::string(a.mac);
        json entry;
        entry["name"] = a.name;
        entry["driver"] = a.driver;
        entry["mac"] = mac.empty() ? json(nullptr) : json(mac);
        entry["in_use"] = a.in_use != 0;
        entry["managed_by"] = ControlName(a.managed_by, "nobody");
        out.data["adapters"].push_back(entry);
        rows.push_back({Printable(a.name), Printable(a.driver), mac.empty() ? "-" : Printable(mac),
                        ControlName(a.managed_by, "nobody")});
        inUse.push_back(a.in_use != 0);
    }
    out.text = FormatMarkedTable({"Name", "Driver", "MAC", "Run by"}, rows, inUse);
    out.notes = "* in use\n";
    return out;
}

}  // namespace

void AddAdaptersCommand(CLI::App& app, CCommandTable& table) {
    CLI::App* adapters =
        AddCommand(app, "adapters", "List the wireless interfaces and the simulated adapter");
    table.Add(adapters, [] { return RunAdapters(); });
}

}  // namespace wavory::cli
