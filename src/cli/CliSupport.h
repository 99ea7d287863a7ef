// Shared pieces of the command line: errors with their exit codes, what a command produces, and
// the text helpers that keep output stable (no locale) and lossless for SSIDs that are not UTF-8.
#pragma once

#include <nlohmann/json.hpp>

#include <ctime>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wavory::cli {

using nlohmann::json;

// Exit codes.
enum EExitCode : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// A failure reported as one line on standard error, with its exit code; with --json also as an
// object on standard output that names the step that failed and why, for scripts.
class CCliError : public std::runtime_error {
public:
    CCliError(int code, const std::string& message, std::string failed = {}, std::string reason = {},
              json extra = json::object())
        : std::runtime_error(message),
          m_nCode(code),
          m_strFailed(std::move(failed)),
          m_strReason(std::move(reason)),
          m_Extra(std::move(extra)) {}
    int Code() const { return m_nCode; }
    // The step that failed ("scan", "traffic sample", ...); empty: the command as a whole.
    const std::string& Failed() const { return m_strFailed; }
    // A stable word for why ("adapter_busy", "adapter_gone", ...); empty: from the exit code.
    const std::string& Reason() const { return m_strReason; }
    // Further fields of the --json object (such as "restored" of a failed join).
    const json& Extra() const { return m_Extra; }

private:
    int m_nCode;
    std::string m_strFailed;
    std::string m_strReason;
    json m_Extra;
};

[[noreturn]] inline void Fail(const std::string& message) { throw CCliError(kExitFailed, message); }
// Fails with the driver library's reason for refusing the last request (a missing right, an adapter
// run by someone else) when it gave one, else with `general`.
[[noreturn]] void FailWithRefusal(const std::string& general);
[[noreturn]] inline void UsageError(const std::string& message) { throw CCliError(kExitUsage, message); }
// The stable word for a settings store failure: "store_full", "store_read_only", "store_busy",
// "store_damaged", else "store_failed".
std::string StoreReason(int code);
// Fails for a change the settings store did not take: `what` failed, and the store's reason why.
[[noreturn]] void FailStore(int code, const std::string& what);

// What a command produced: the machine-readable form and the text shown without --json.
struct SOutput {
    json data = json::object();
    std::string text;
    // Notes for a person (a legend, "still scanning"): on standard error, so that standard output
    // holds the result only; left out with --json, whose fields say the same.
    std::string notes;
    // The command wrote its output itself as it went (a stream): nothing is left to print.
    bool streamed = false;
};

// A moment as ISO 8601 in local time with its offset from UTC ("2026-03-01T14:05:09+01:00").
std::string IsoTime(std::time_t when);

// ---- Text ----

bool IsUtf8(std::string_view bytes);
// Valid UTF-8 with every byte that is not part of a valid sequence replaced by U+FFFD.
std::string Utf8Lossy(std::string_view bytes);
// Lower-case hexadecimal digits of every byte.
std::string HexOf(std::string_view bytes);
// Bytes from pairs of hexadecimal digits; nullopt when the text is not that.
std::optional<std::string> BytesFromHex(std::string_view hex);
// For a terminal: DisplayText (control and formatting characters and bytes that are not UTF-8
// written as \xhh).
std::string Printable(std::string_view bytes);
// Number of characters (code points) of valid UTF-8 text.
std::size_t CharCount(std::string_view utf8);
// Columns valid UTF-8 text takes on a terminal: two for wide characters (CJK, most emoji), none for
// combining marks and joiners, one for the others, whatever the locale.
std::size_t DisplayWidth(std::string_view utf8);
// The cell text of a name: "--" for an empty one (a hidden network), else the printable name.
std::string NameCell(std::string_view bytes);
// ASCII lower case (locale-independent).
std::string AsciiLower(std::string_view text);

// "ssid" (readable, U+FFFD for bytes that are not UTF-8) and "ssid_hex" (exact bytes) of an SSID.
void PutSsid(json& j, const std::string& ssid);

// Label/value lines with the values aligned.
std::string FormatFields(const std::vector<std::pair<std::string, std::string>>& fields);
// A table with a header line; cells are printable text.
std::string FormatTable(const std::vector<std::string>& header,
                        const std::vector<std::vector<std::string>>& rows);
// The same with a first column that marks rows ("*"); the column is left out when no row is marked.
std::string FormatMarkedTable(std::vector<std::string> header, std::vector<std::vector<std::string>> rows,
                              const std::vector<bool>& marked);

}  // namespace wavory::cli
