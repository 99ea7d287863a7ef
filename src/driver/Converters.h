// Converters between request payloads and the texts of driver variables.
// Each is called with block 0 of its variable (block i starts at i * KCOM_BLOCK_SIZE), the
// variable's text and a step code; it ignores the steps it does not handle.
#pragma once

#include <cstdint>
#include <string>

namespace wavory {

enum EConvStep : int {
    CONV_AFTER_QUERY = 0,  // payload -> text
    CONV_BEFORE_SET = 1,   // text -> payload
    CONV_BEFORE_QUERY = 3  // prepare query input
};

using PFNCONVERT = void (*)(uint8_t* block0, std::string* text, int step);

void ConvSsid(uint8_t* block0, std::string* text, int step);
void ConvNetMode(uint8_t* block0, std::string* text, int step);
void ConvChannel(uint8_t* block0, std::string* text, int step);
void ConvChannelScan(uint8_t* block0, std::string* text, int step);
void ConvMaxRate(uint8_t* block0, std::string* text, int step);
void ConvSecurity(uint8_t* block0, std::string* text, int step);
// The WPA passphrase (set only): +0 length, +1 the characters.
void ConvPassphrase(uint8_t* block0, std::string* text, int step);
// A payload written as it stands (set only): the text holds its bytes, e.g. the 802.1X record.
void ConvRawPayload(uint8_t* block0, std::string* text, int step);
// The name of a security mode beyond none, WEP and TKIP ("WPA2-Personal", "Enhanced Open",
// "WPA2/WPA3-Personal", "WPA3-Enterprise" …); null for any other.
const char* WpaModeName(int mode);
// The security mode joins with a passphrase (WPA2-, WPA3-Personal and their transition).
bool ModeTakesPassphrase(int mode);
void ConvPowerSave(uint8_t* block0, std::string* text, int step);
void ConvSent(uint8_t* block0, std::string* text, int step);
void ConvReceived(uint8_t* block0, std::string* text, int step);
void ConvRadioStatus(uint8_t* block0, std::string* text, int step);
void ConvNumber(uint8_t* block0, std::string* text, int step);
void ConvWepKey(uint8_t* block0, std::string* text, int step);
void ConvRegDomain(uint8_t* block0, std::string* text, int step);
void ConvDriverVersion(uint8_t* block0, std::string* text, int step);
void ConvFirmwareVersion(uint8_t* block0, std::string* text, int step);
void ConvNvmVersion(uint8_t* block0, std::string* text, int step);
void ConvMac(uint8_t* block0, std::string* text, int step);

// Centre frequency in MHz of an 8-bit channel number.
int ChannelToMHz(int channel);

// Most bytes an SSID may have.
inline constexpr int kMaxSsidBytes = 32;
// A WPA passphrase: 8 to 63 printable ASCII characters, or 64 hexadecimal digits (the key itself).
inline constexpr int kMinPassphraseLength = 8;
inline constexpr int kMaxPassphraseLength = 64;
bool IsValidPassphrase(const std::string& text);

// The SSID as stored: at most 32 bytes, cut back to a character boundary when the text is UTF-8.
std::string ClampSsid(const std::string& ssid);

}  // namespace wavory
