// How outside text is shown: what wavoryctl prints and every widget of the window shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>
#include <utility>

#include "base/DisplayText.h"

namespace wavory::test {
namespace {

TEST(DisplayTextTest, TextStaysAndEverythingThatCouldHideOrBreakItIsEscaped) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"Harbour", "Harbour"},
        {"<h1>BIG</h1><u>x", "<h1>BIG</h1><u>x"},  // markup is the widgets' business: shown as text
        {"Caf\xC3\xA9 Anchor", "Caf\xC3\xA9 Anchor"},
        {"\xE6\xB8\xAF", "\xE6\xB8\xAF"},
        {"Rock \xF0\x9F\x8E\xB8", "Rock \xF0\x9F\x8E\xB8"},
        {std::string("Nul\0l", 5), "Nul\\x00l"},
        {"Bell\x07", "Bell\\x07"},
        {"Two\nlines\r", "Two\\x0alines\\x0d"},
        {"Esc\x1b[31m", "Esc\\x1b[31m"},  // a terminal colour sequence is not obeyed
        {"Del\x7f", "Del\\x7f"},
        {"Latin1 caf\xE9", "Latin1 caf\\xe9"},
        {"Cut \xE6\xB8", "Cut \\xe6\\xb8"},
        {"Overlong \xC0\xAF", "Overlong \\xc0\\xaf"},
        {"Surrogate \xED\xA0\x80", "Surrogate \\xed\\xa0\\x80"},
        {"Too high \xF4\x90\x80\x80", "Too high \\xf4\\x90\\x80\\x80"},
        {"C1 \xC2\x85", "C1 \\xc2\\x85"},
        {"evil\xE2\x80\xAEgnp.exe", "evil\\xe2\\x80\\xaegnp.exe"},  // right-to-left override
        {"zero\xE2\x80\x8Bwidth", "zero\\xe2\\x80\\x8bwidth"},
        {"line\xE2\x80\xA8sep", "line\\xe2\\x80\\xa8sep"},
        {"bom\xEF\xBB\xBF", "bom\\xef\\xbb\\xbf"},
        {"tag\xF3\xA0\x80\x81", "tag\\xf3\\xa0\\x80\\x81"},
        {"48 61 FF 00 41 42 0A 1B", "48 61 FF 00 41 42 0A 1B"},
        {std::string("Ha\xFF\0AB\n\x1b", 8), "Ha\\xff\\x00AB\\x0a\\x1b"},
    };
    for (const auto& [bytes, shown] : cases) EXPECT_EQ(DisplayText(bytes), shown) << shown;
}

TEST(DisplayTextTest, NamesSortByTheValueOfTheirNumbersAndWithoutCase) {
    std::vector<std::string> names = {"Profile 14", "profile 2", "Profile 9", "Profile 10", "Oma Wohnung",
                                      "Profile 009", "Profile 9a", "Profile", "Profile 100", "oma wohnung"};
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return NaturalLess(a, b);
    });
    EXPECT_EQ(names, (std::vector<std::string>{"Oma Wohnung", "oma wohnung", "Profile", "profile 2", "Profile 009",
                                               "Profile 9", "Profile 9a", "Profile 10", "Profile 14",
                                               "Profile 100"}));
    // A strict order: no name before itself, and a tie broken one way only.
    EXPECT_FALSE(NaturalLess("Profile 9", "Profile 9"));
    EXPECT_NE(NaturalLess("Profile 9", "Profile 09"), NaturalLess("Profile 09", "Profile 9"));
}

}  // namespace
}  // namespace wavory::test
