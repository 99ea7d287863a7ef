// What the Available Networks list shows of a station: the column texts, the row keys and their
// order and the quality image. Plain functions, so the dialog only
// puts their results into widgets.
#pragma once

#include <QString>
#include <memory>
#include <string>
#include <vector>

namespace wavory {

class CStation;

// The list's columns; the network view shows the first four.
enum ESiteColumn : int {
    SITE_COL_QUALITY = 0,
    SITE_COL_SSID = 1,
    SITE_COL_MODE = 2,
    SITE_COL_SECURITY = 3,
    SITE_COL_CHANNEL = 4,
    SITE_COL_RATE = 5,
    SITE_COL_MAC = 6
};
inline constexpr int kNetworkViewColumns = 4;
inline constexpr int kApViewColumns = 7;

// The row images: the connected station, then the four signal levels.
enum ESiteImage : int {
    SITE_IMG_CONNECTED = 0,
    SITE_IMG_EXCELLENT = 1,
    SITE_IMG_FAIR = 2,
    SITE_IMG_GOOD = 3,
    SITE_IMG_POOR = 4
};
inline constexpr int kSiteImageCount = 5;

// Header text of a column, and its share of the list's width in the given view.
const char* SiteColumnHeader(int column);
double SiteColumnFraction(int column, bool networkView);

// The signal level's image for a strength in dBm (never the connected one).
int QualityImage(int dBm);

// The text of a column for a station; the SSID comes back as its raw bytes. Call with the station
// manager's lock held.
std::string SiteColumnText(const CStation& station, int column);

// A row is the SSID in the network view and the station key ("SSID;channel") in the access-point view.
std::string SiteRowKey(const CStation& station, bool networkView);

// The row keys in display order: by the column's text compared byte by byte (link quality by the
// signal strength, weakest first), ties by row key, then reversed when descending. A row key appears once, at
// its first place. Call with the station manager's lock held.
std::vector<std::string> SortSiteKeys(const std::vector<std::shared_ptr<CStation>>& stations, int column,
                                      bool ascending, bool networkView);

}  // namespace wavory
