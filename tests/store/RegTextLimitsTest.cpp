// Profile files at the edges: 8-bit files that mix UTF-8 with a stray byte, and the size a file may
// have: an export of the most profiles the utility holds imports, a file of ten times as many is
// refused before its tree is built.
#include <gtest/gtest.h>

#include <string>

#include "base/RegistrySchema.h"
#include "store/RegFile.h"
#include "store/RegTextReader.h"
#include "store/RegTextWriter.h"

namespace wavory {
namespace {

constexpr const char* kApp = "HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility";

// Each text of an 8-bit file is read on its own: UTF-8 where it is UTF-8, Latin-1 where a byte
// says otherwise; one stray byte no longer turns every name of the file into mojibake.
TEST(RegTextLimitsTest, An8BitFileIsDecodedTextByText) {
    const std::string file = std::string("REGEDIT4\r\n\r\n[") + kApp +
                             "\\Profile 0]\r\n"
                             "\"ProfName\"=\"Caf\xC3\xA9\"\r\n"
                             "\"NetName\"=\"R\xE9seau\"\r\n"
                             "\"Sec Key 0\"=\"\xE2\x98\x95\"\r\n";
    SRegKey top;
    ASSERT_EQ(ParseRegText(file, top), REG_OK);
    EXPECT_EQ(top.FindValue("ProfName")->text, "Caf\xC3\xA9");
    EXPECT_EQ(top.FindValue("NetName")->text, "R\xC3\xA9seau");
    EXPECT_EQ(top.FindValue("Sec Key 0")->text, "\xE2\x98\x95");
}

// The longest values the editor allows, escapes and characters outside the BMP included.
SRegKey LargestProfile(int number) {
    SRegKey key{"Profile " + std::to_string(number), {}, {}};
    for (const SRegSchemaEntry& e : RegistrySchema().first(kProfileValueCount)) {
        if (e.type == ERegType::Dword) {
            key.values.push_back({std::string(e.name), SRegValue::Dword(0xFFFFFFFFu)});
        } else if (e.name == "ProfName") {
            std::string name;
            for (int i = 0; i < 19; ++i) name += "\xF0\x9F\x93\xB6";  // 19 characters, two UTF-16 units each
            key.values.push_back({"ProfName", SRegValue::Sz(name)});
        } else if (e.name == "NetName") {
            key.values.push_back({"NetName", SRegValue::Sz(std::string(32, '"'))});  // escaped: doubled
        } else if (e.name == "WpaPassphrase") {
            key.values.push_back({"WpaPassphrase", SRegValue::Sz(std::string(63, '\\'))});
        } else {
            key.values.push_back({std::string(e.name), SRegValue::Sz(std::string(26, 'F'))});
        }
    }
    return key;
}

TEST(RegTextLimitsTest, AnExportOfTheMostProfilesFitsAndTenTimesAsManyIsRefused) {
    // Each profile adds the same bytes; the largest number (four digits) stands for all of them.
    SRegKey all{"Wavory Utility", {{"NumOfProfiles", SRegValue::Dword(10000)}}, {}};
    const size_t empty = FormatRegText(all, kApp).size();
    all.subkeys.push_back(LargestProfile(9999));
    const size_t one = FormatRegText(all, kApp).size() - empty;
    EXPECT_LE(empty + 10000 * one, kMaxRegFileSize);
    SRegKey back;
    ASSERT_EQ(ParseRegText(FormatRegText(all, kApp), back), REG_OK);
    EXPECT_EQ(back.subkeys.front().values, all.subkeys.front().values);

    // 100,000 small profiles are well within the size limit, and refused by their number.
    std::string many = "Windows Registry Editor Version 5.00\r\n";
    for (int i = 0; i < 100000; ++i)
        many += std::string("\r\n[") + kApp + "\\Profile " + std::to_string(i) + "]\r\n\"NetName\"=\"n\"\r\n";
    ASSERT_LE(many.size() * 2, kMaxRegFileSize);
    SRegKey refused{"untouched", {}, {}};
    EXPECT_EQ(ParseRegText(many, refused), REG_ERROR_FILE_TOO_LARGE);
    EXPECT_EQ(refused.name, "untouched");

    // So are values beyond what so many keys hold.
    std::string values = std::string("REGEDIT4\r\n[") + kApp + "]\r\n";
    for (size_t i = 0; i <= kMaxRegValues; ++i) values += "\"V" + std::to_string(i) + "\"=dword:1\r\n";
    EXPECT_EQ(ParseRegText(values, refused), REG_ERROR_FILE_TOO_LARGE);
}

}  // namespace
}  // namespace wavory
