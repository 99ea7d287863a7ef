// The utility's string table: user-facing texts by resource id.
#pragma once

#include <string>

namespace wavory {

enum EStringId : int {
    IDS_PROFILE_CONFIGURATION = 102,
    IDS_SAVE_CONNECTION = 103,
    IDS_EDIT_CONNECTION = 104,
    IDS_ADVANCED_PROFILE_EDIT = 108,
    IDS_ADD_TO_AUTO_SELECTION = 109,
    IDS_DEFINE_SECURITY_KEY = 110,
    IDS_INVALID_PROFILE_NAME = 111,
    IDS_INVALID_SSID = 112,
    IDS_ENTER_SECURITY = 113,
    IDS_NOT_CONNECTED = 114,
    IDS_DRIVER_ERROR = 115,
    IDS_MAX_FRAGMENTATION = 116,
    IDS_RTS_THRESHOLD = 117,
    IDS_NETWORK_VIEW = 118,
    IDS_AP_VIEW = 119,
    IDS_CONNECT_FAILED = 120,
    IDS_DELETE_PROFILE = 121,
    IDS_STATION_CONNECT_FAILED = 122,
    IDS_DISABLED = 123,
    // The dialog framework's own texts for a field that must hold an integer (in a range).
    IDS_PARSE_INT = 0xF110,
    IDS_PARSE_INT_RANGE = 0xF112
};

// The text of a string-table entry; empty for an unknown id.
std::string LoadStringId(int id);

}  // namespace wavory
