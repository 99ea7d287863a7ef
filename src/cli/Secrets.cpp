#include "cli/Secrets.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "cli/CliSupport.h"

namespace wavory::cli {

namespace {

// Larger than any key or passphrase: a file this big was named by mistake.
constexpr std::size_t kMaxSecretBytes = 4096;

void StripLineEnd(std::string& text) {
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
        if (!text.empty() && text.back() == '\r') text.pop_back();
    }
}

// The terminal's settings while echo is off, so that a signal can put them back before the
// program ends (a prompt left without echo would hide everything typed afterwards).
termios g_Saved{};
volatile sig_atomic_t g_bEchoOff = 0;

void RestoreAndRaise(int sig) {
    if (g_bEchoOff) tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_Saved);
    signal(sig, SIG_DFL);
    raise(sig);
}

}  // namespace

std::string ReadSecretFile(const std::string& path, const std::string& what) {
    std::string text;
    if (path == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::error_code ec;
        if (std::filesystem::is_directory(path, ec))
            UsageError("the " + what + " file \"" + Printable(path) +
                       "\" is a folder; name the file that holds the " + what);
        std::ifstream in(path, std::ios::binary);
        if (!in)
            UsageError("cannot read " + what + " file \"" + Printable(path) + "\": " + std::strerror(errno));
        // Read a little past the limit only, whatever the file's size.
        text.resize(kMaxSecretBytes + 2);
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(in.gcount()));
    }
    StripLineEnd(text);
    if (text.size() > kMaxSecretBytes)
        UsageError("the " + what + " file \"" + Printable(path) + "\" is too large to hold a " + what);
    if (text.empty()) UsageError("the " + what + " file \"" + Printable(path) + "\" is empty");
    return text;
}

bool CanPrompt() { return isatty(STDIN_FILENO) == 1; }

std::optional<std::string> PromptSecret(const std::string& prompt) {
    if (!CanPrompt()) return std::nullopt;
    termios quiet{};
    const bool terminal = tcgetattr(STDIN_FILENO, &g_Saved) == 0;
    struct sigaction previous[3]{};
    const int signals[3] = {SIGINT, SIGTERM, SIGHUP};
    if (terminal) {
        struct sigaction restore {};
        restore.sa_handler = RestoreAndRaise;
        sigemptyset(&restore.sa_mask);
        for (int i = 0; i < 3; ++i) sigaction(signals[i], &restore, &previous[i]);
        quiet = g_Saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        quiet.c_lflag |= ECHONL;
        g_bEchoOff = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    // The prompt shows only once echo is off: an answer typed the moment it appears is neither echoed
    // nor discarded by the flush above.
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    std::string line;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    if (terminal) {
        if (g_bEchoOff) tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_Saved);
        g_bEchoOff = 0;
        for (int i = 0; i < 3; ++i) sigaction(signals[i], &previous[i], nullptr);
    }
    if (!read) {
        std::fputs("\n", stderr);
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::optional<std::string> PromptChecked(const std::string& prompt,
                                         const std::function<void(const std::string&)>& check) {
    constexpr int kTries = 3;
    for (int tries = 1;; ++tries) {
        std::optional<std::string> typed = PromptSecret(prompt);
        if (!typed) return typed;
        try {
            check(*typed);
            return typed;
        } catch (const CCliError& e) {
            if (tries >= kTries || e.Code() != kExitUsage) throw;
            std::fprintf(stderr, "wavoryctl: %s; try again.\n", e.what());
            std::fflush(stderr);
        }
    }
}

}  // namespace wavory::cli
