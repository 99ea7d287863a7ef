// What wpa_supplicant and NetworkManager are told for an 802.1X network, and what the supplicant's
// EAP events say about an attempt. No I/O here, so that each piece is tested on its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "NmSettings.h"
#include "radio/Eap.h"

namespace wavory::kccl {

// Where the system's CA certificates are (Debian's ca-certificates).
inline constexpr const char* kSystemCaPath = "/etc/ssl/certs";

// The SET_NETWORK settings ("name value") of the 802.1X part of a supplicant entry: key management,
// method, inner method, identities, files and secrets. Every string the user gave goes as
// hexadecimal digits, so that quotes, backslashes, spaces, line ends or non-ASCII can neither
// change the value nor start another setting. Empty when the record cannot make an entry (no
// method, no identity, TLS without its files, an inner method the method does not take).
std::vector<std::string> WpaEapSettings(const SEapRecord& eap, bool wpa3);

// The "802-1x" setting of a NetworkManager connection, secrets given inline and owned by
// NetworkManager (no secret agent is asked), and the security setting it goes with. False when the
// record cannot make a connection.
bool AddNmEapSettings(NmSettings& settings, const SEapRecord& eap, bool wpa3);

// Follows the supplicant's EAP events of one attempt: the server's certificate (subject and hash),
// certificate errors, whether a method was agreed, and the end.
class CWpaEapWatch {
public:
    // Takes one event line; true when it ended the attempt, with the cause and detail set.
    bool Feed(const std::string& line);
    uint32_t Cause() const { return m_nCause; }
    const std::string& Detail() const { return m_Detail; }

private:
    std::string m_Subject;
    std::string m_Hash;
    bool m_bMethodAgreed = false;
    uint32_t m_nCause = 0;
    std::string m_Detail;
};

}  // namespace wavory::kccl
