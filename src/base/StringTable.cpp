#include "base/StringTable.h"

#include <map>

namespace wavory {

std::string LoadStringId(int id) {
    static const std::map<int, std::string> table = {
        {IDS_PROFILE_CONFIGURATION, "Profile Configuration"},
        {IDS_SAVE_CONNECTION, "Save Connection to Profile"},
        {IDS_EDIT_CONNECTION, "Edit Connection Parameters"},
        {IDS_ADVANCED_PROFILE_EDIT, "Advanced Profile Edit"},
        {IDS_ADD_TO_AUTO_SELECTION, "Add to Au&to-Selection"},
        {IDS_DEFINE_SECURITY_KEY, "Please define at least one complete security key."},
        {IDS_INVALID_PROFILE_NAME, "Invalid Profile name (1-19 characters)."},
        {IDS_INVALID_SSID, "Invalid Network Name (SSID) (1-32 bytes)."},
        {IDS_ENTER_SECURITY, "Enter Security Parameters"},
        {IDS_NOT_CONNECTED, "Not Connected"},
        {IDS_DRIVER_ERROR,
         "An error occured connecting to the driver. Try restarting the application if error persists."},
        {IDS_MAX_FRAGMENTATION, "Max Fragmentation Size must be a value between 256 and 2312."},
        {IDS_RTS_THRESHOLD, "RTS Threshold Size must be a value between 0 and 2312."},
        {IDS_NETWORK_VIEW, "NetworkView"},
        {IDS_AP_VIEW, "AP View"},
        {IDS_CONNECT_FAILED, "Could not connect to profile. Verify profile parameters."},
        {IDS_DELETE_PROFILE, "Do you want to delete the profile ?"},
        {IDS_STATION_CONNECT_FAILED, "Could not connect to specified station."},
        {IDS_DISABLED, "Disabled"},
        {IDS_PARSE_INT, "Please enter an integer."},
        {IDS_PARSE_INT_RANGE, "Please enter an integer between %d and %d."},
    };
    auto it = table.find(id);
    return it == table.end() ? std::string() : it->second;
}

}  // namespace wavory
