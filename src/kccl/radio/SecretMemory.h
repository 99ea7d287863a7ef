// Keeping secrets (passphrases, keys, 802.1X passwords) out of what outlives their use: buffers are
// overwritten before they are freed, and the process writes no core file that would hold them.
#pragma once

#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>

#include <string>

namespace wavory::kccl {

// Overwrites the whole buffer of the string (its spare room too, where an earlier longer value may
// have been) and empties it. explicit_bzero is never left out by the compiler as a store nobody reads.
inline void SecureClear(std::string& text) {
    text.resize(text.capacity());
    ::explicit_bzero(text.data(), text.size());
    text.clear();
}

template <typename Container>
void SecureClearAll(Container& texts) {
    for (std::string& text : texts) SecureClear(text);
}

// For a program that holds secrets: no core file on a crash (it would hold them in the current
// folder), and no other process of the user may read its memory through ptrace or /proc. True when
// both took effect.
inline bool KeepSecretsOutOfCoreDumps() {
    const rlimit none{0, 0};
    const bool limited = ::setrlimit(RLIMIT_CORE, &none) == 0;
    return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0 && limited;
}

}  // namespace wavory::kccl
