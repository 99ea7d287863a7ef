// Networks carried between this utility and the other Linux Wi-Fi stacks: wpa_supplicant's
// configuration file, NetworkManager's keyfiles and iwd's network files, read into profiles and
// written from them. Reading never touches the store: the caller hands the profiles to the
// profile manager's import. Whatever a file holds that a profile cannot keep is named per network;
// a network that cannot be used is refused with the reason.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace wavory {

class CProfile;

enum class EStack { WpaSupplicant, NetworkManager, Iwd };

// The largest file read: far beyond any real configuration, small enough to hold in memory.
inline constexpr std::size_t kMaxStackFileBytes = 4 * 1024 * 1024;
// The longest line or value read; a longer one is refused, not cut.
inline constexpr std::size_t kMaxStackLineBytes = 16 * 1024;

// One network of a file, as read.
struct SStackNetwork {
    std::string where;                  // how the file names it: its SSID or the file's name
    std::shared_ptr<CProfile> profile;  // null when the network is refused
    std::string refusal;                // why it is refused
    std::vector<std::string> notes;     // settings the profile does not keep (and why), and what it assumed
    bool autoConnect = true;            // the stack joins it by itself
    int priority = 0;                   // the stack's preference: higher first
};

struct SStackRead {
    std::vector<SStackNetwork> networks;
    std::string refusal;  // why the whole input was refused (nothing read)
};

// One file written for a profile.
struct SStackFile {
    std::string name;                // file name (no folder)
    std::string text;                // empty when refused
    std::string refusal;             // why the profile cannot be written for the stack
    std::vector<std::string> notes;  // what the profile holds that the file does not carry
};

// Readers. `where` names the input in messages; for iwd the file's name carries the SSID and kind.
SStackRead ReadWpaSupplicantConf(std::string_view text);
SStackNetwork ReadNmKeyfile(std::string_view text, const std::string& where);
SStackNetwork ReadIwdFile(std::string_view text, const std::string& fileName);

// Keyfiles one after the other (as `cat *.nmconnection` gives them) cut apart: a new one begins at
// each "[connection]" line after the first, as NetworkManager writes that group first.
std::vector<std::string_view> SplitNmKeyfiles(std::string_view text);

// Writers. A wpa_supplicant file holds every profile given, in order, as network blocks; `notes`
// gets one entry a profile (in that order) naming what the block does not carry. NetworkManager
// and iwd take one file a profile; a profile iwd cannot hold is refused with the reason.
std::string WriteWpaSupplicantConf(const std::vector<const CProfile*>& profiles,
                                   std::vector<SStackFile>& notes);
SStackFile WriteNmKeyfile(const CProfile& profile);
SStackFile WriteIwdFile(const CProfile& profile);

// Why a hotspot profile is not written: each format's file is read back as a network to join.
inline constexpr const char* kHotspotNotWritten =
    "a hotspot profile (the utility's own access point), not a network to join";

// Helpers shared by the formats (also used by the tests).
// A profile as a network of another stack starts: infrastructure, no security, not stored.
std::shared_ptr<CProfile> NewStackProfile();
// The SSID as iwd names its file: the SSID itself when it holds only letters, digits, ' ', '_'
// and '-', else '=' and its bytes in hexadecimal.
std::string IwdFileStem(const std::string& ssid);
// Reverse of IwdFileStem; false when the stem is no valid encoding.
bool IwdSsidOfStem(std::string_view stem, std::string& ssid);
// A name made safe for a file: no '/', no NUL, no control characters, not "." or "..", not hidden,
// at most 200 bytes.
std::string SafeFileName(const std::string& name);
// Hexadecimal text of bytes, lower case; and back (false for odd length or a non-hex digit).
std::string ToHex(std::string_view bytes);
bool FromHex(std::string_view hex, std::string& bytes);

}  // namespace wavory
