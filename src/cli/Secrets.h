// Secrets (WEP keys, WPA passphrases) without the command line: a command line is readable by every
// user of the machine (the process list), so a secret can come from a file, from standard input, or
// from the terminal without echo.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace wavory::cli {

// The secret held in a file ("-": standard input): its bytes, less one trailing line end ("\n" or
// "\r\n"). `what` names the option for messages; throws a usage error when the file cannot be read,
// is empty or is too large to be a secret.
std::string ReadSecretFile(const std::string& path, const std::string& what);

// Standard input is a terminal that a prompt can be shown on.
bool CanPrompt();
// Asks on the terminal without echo; nullopt when standard input is no terminal. The prompt goes
// to standard error; the line end typed is not part of the answer.
std::optional<std::string> PromptSecret(const std::string& prompt);

// The same, asked again while `check` refuses the answer (it throws a usage error, whose message is
// shown before the next ask); after a few refusals the last one ends the command.
std::optional<std::string> PromptChecked(const std::string& prompt,
                                         const std::function<void(const std::string&)>& check);

// The help's warning for an option that takes a secret on the command line itself.
inline constexpr const char* kVisibleSecretNote =
    " (visible to other users in the process list; prefer the -file option or the prompt)";

}  // namespace wavory::cli
