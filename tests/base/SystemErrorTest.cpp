// Texts of the error codes the settings store and the profile files report.
#include <gtest/gtest.h>

#include <set>

#include "base/Registry.h"

namespace wavory {
namespace {

TEST(SystemErrorTest, EveryStoreErrorHasItsOwnText) {
    const int codes[] = {REG_ERROR_FILE_NOT_FOUND, REG_ERROR_ACCESS_DENIED, REG_ERROR_INVALID_DATA,
                         REG_ERROR_WRITE_FAULT,    REG_ERROR_FILE_EXISTS,   REG_ERROR_NO_MORE_ITEMS,
                         REG_ERROR_BADDB,          REG_ERROR_FILE_TOO_LARGE};
    std::set<std::string> texts;
    for (int code : codes) {
        const std::string text = SystemErrorText(code);
        EXPECT_EQ(text.find("Unknown error"), std::string::npos) << code;
        EXPECT_TRUE(text.ends_with('.')) << code;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), std::size(codes));
    EXPECT_EQ(SystemErrorText(4242), "Unknown error (code 4242).");
}

}  // namespace
}  // namespace wavory
