// The scanned stations as the Available Networks dialog shows them: one row per network name or per
// access point, the column texts, the dialog's sort, and the lookup of a row's station.
#pragma once

#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "survey/StationMngr.h"

namespace wavory::cli {

class CCliSession;

enum class EView { Network, AccessPoint };

// Columns in the dialog's order; the last three exist in the access-point view only.
enum EColumn : int {
    COL_LINK_QUALITY = 0,
    COL_SSID,
    COL_MODE,
    COL_SECURITY,
    COL_CHANNEL,
    COL_RATE,
    COL_MAC,
    COL_COUNT
};

// Option spelling of each column ("link-quality", "ssid", …, "mac").
const char* ColumnName(int column);
const char* ColumnHeader(int column);
int ColumnCount(EView view);

// The view the preference "View AP or NET" chooses.
EView StoredView();
const char* ViewName(EView view);

// Merges the driver's scan list as the dialog's view needs it: one station per network name in the
// network view, all of them in the access-point view, whatever the stored preference says (it is
// not changed). Returns whether the driver is still scanning.
bool MergeForView(CCliSession& session, EView view);

// The dialog's column text of a station (signal in the units of the "dBm-Percent" preference).
std::string ColumnText(const CStation& station, int column);
// Network view: the SSID; access-point view: the station key "SSID;channel".
std::string RowKey(const CStation& station, EView view);
// The station a row key names: in the network view the first station of that SSID in key order.
CStationMngr::StationPtr FindStation(CStationMngr& stations, EView view, const std::string& key);
// The station is the one the adapter is connected to.
bool IsCurrentStation(CStationMngr& stations, const CStation& station);

// The stations in order of a sort column and direction: numeric columns by their number (link quality
// strongest first, channel by frequency, rate by speed), the others by their text as bytes; ties by
// row key. A row key appears once.
std::vector<CStationMngr::StationPtr> SortedStations(CStationMngr& stations, EView view, int column,
                                                     bool ascending);

// The radio fields of --json: frequency_mhz, band, generation, standard, channel_width_mhz (null
// where unknown).
void PutRadio(json& j, int phyType, int freqMHz, int widthMHz);
// A rate in 100 kbit/s as Mbit/s: whole where it is whole (54), else with its tenth (866.7).
json Mbps100k(uint32_t rate100k);

// Every field of a station for --json.
json StationJson(CStationMngr& stations, const CStation& station);

}  // namespace wavory::cli
