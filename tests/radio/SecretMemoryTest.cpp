// Secrets leave no copy behind in the memory they were in, and a program that holds them writes no
// core file.
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "radio/SecretMemory.h"

namespace wavory::kccl {
namespace {

bool AllZero(const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] != 0) return false;
    return true;
}

// The bytes of an earlier, longer value stay in a string's spare room after it shrinks: the clear
// overwrites the whole buffer, not only what the string holds now.
TEST(SecretMemoryTest, TheWholeBufferIsOverwrittenAlsoBeyondTheCurrentValue) {
    std::string secret = "a-passphrase-long-enough-to-live-on-the-heap";
    secret.resize(4);
    const char* buffer = secret.data();
    const size_t room = secret.capacity();
    ASSERT_GT(room, 40u);
    SecureClear(secret);
    EXPECT_TRUE(secret.empty());
    ASSERT_EQ(secret.data(), buffer) << "the buffer moved; the check below would read freed memory";
    EXPECT_TRUE(AllZero(buffer, room));

    std::string small = "short";  // within the string object itself
    const char* inside = small.data();
    SecureClear(small);
    EXPECT_TRUE(AllZero(inside, 5));
}

// In a child, so that the test program itself stays as it was.
TEST(SecretMemoryTest, AProgramHoldingSecretsIsNotDumpableAndWritesNoCore) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool ok = KeepSecretsOutOfCoreDumps();
        rlimit core{};
        ::getrlimit(RLIMIT_CORE, &core);
        ::_exit(ok && ::prctl(PR_GET_DUMPABLE) == 0 && core.rlim_cur == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(::prctl(PR_GET_DUMPABLE), 1) << "the test program itself must stay as it was";
}

}  // namespace
}  // namespace wavory::kccl
