// The "[group]" and "key=value" files NetworkManager and iwd keep their networks in, read and
// written with their escapes (\s \n \t \r \\), and what every reader of another stack's network
// does at its end.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "profiles/StackFiles.h"

namespace wavory {

struct SKeyEntry {
    std::string group;
    std::string key;
    std::string value;  // unescaped
    bool used = false;  // taken by the reader; what is left is named as not kept
};

class CKeyFile {
public:
    // Reads the whole text; false with the reason (the line named) for a line that is neither a
    // group, a setting nor a comment, a bad escape, an overlong line or binary bytes.
    bool Parse(std::string_view text, std::string& error);
    // The value of a key, marked as used; null when absent (the last one wins when repeated).
    const std::string* Take(std::string_view group, std::string_view key);
    // True for "true"/"1", false for "false"/"0"; `fallback` when absent; an unreadable value
    // is named in `bad`.
    bool TakeBool(std::string_view group, std::string_view key, bool fallback, std::string& bad);
    bool HasGroup(std::string_view group) const;
    // Reads the group under another name (an older name of the same settings).
    void RenameGroup(std::string_view from, const std::string& to);
    // The keys nobody took, as "[group] key=value", the values of secrets masked (LooksSecret).
    std::vector<std::string> Unused() const;
    // Every setting read, in the file's order.
    const std::vector<SKeyEntry>& Entries() const { return m_Entries; }

private:
    std::vector<SKeyEntry> m_Entries;
    std::vector<std::string> m_Groups;
};

// The items of a NetworkManager list value ("a;b;", and "\;" for a ';' inside an item).
std::vector<std::string> NmListItems(const std::string& value);
// An SSID as NetworkManager writes it: text, or its bytes as decimal numbers each ended by ';';
// false for a number above 255.
bool DecodeNmSsid(const std::string& value, std::string& ssid);

// A value written with the escapes a reader undoes (leading blank, backslash, line breaks).
std::string EscapeKeyValue(const std::string& value);

// Checks a network read from another stack and puts the profile in it, or the refusal: the SSID
// (1 to 32 bytes, no NUL) and then every limit an imported profile is held to.
void FinishStackNetwork(SStackNetwork& net, std::shared_ptr<CProfile> profile);

// A setting whose value may be a secret (a password, passphrase, key or PIN), by its name: its value
// is never shown in a report.
bool LooksSecret(std::string_view key);

// An enterprise profile that names no way to check its server (no CA certificate, no system store,
// no domain): the stack's file then joins without checking, which the profile alone would refuse
// unless the user turned the check off. Noted for the export.
void NoteUncheckedServer(const CProfile& profile, std::vector<std::string>& notes);

// Binary bytes (NUL, other control characters than tab and line ends) in a text: a file that holds
// them is no configuration file.
bool HoldsBinary(std::string_view text);

// The WEP key of a stack (5 or 13 characters as text, or 10 or 26 hexadecimal digits) as the
// hexadecimal digits a profile holds; false for any other key.
bool WepKeyDigits(const std::string& key, bool textAllowed, std::string& digits);

}  // namespace wavory
