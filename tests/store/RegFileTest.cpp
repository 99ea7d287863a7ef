// Profile files: export as regedit text, import of text files, and the store's SaveKey/RestoreKey.
#include "store/RegFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "RegTestSupport.h"
#include "base/RegistrySchema.h"
#include "store/RegTextCodec.h"
#include "store/RegTextReader.h"
#include "store/RegTextWriter.h"
#include "store/SqliteRegistry.h"

namespace wavory {
namespace {

using test::ReadBytes;
using test::WriteBytes;

constexpr std::string_view kApp = "HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility";

// The values of one profile, different for each seed, with the given name and network name.
void FillProfile(IRegistry& reg, const std::string& section, const std::string& name, const std::string& ssid,
                 int seed) {
    reg.BeginUpdate();
    int n = seed;
    for (const SRegSchemaEntry& e : RegistrySchema().first(kProfileValueCount)) {
        if (e.name == "ProfName") {
            reg.WriteProfileString(section, e.name, name);
        } else if (e.name == "NetName") {
            reg.WriteProfileString(section, e.name, ssid);
        } else if (e.type == ERegType::Sz) {
            reg.WriteProfileString(section, e.name, std::to_string(++n * 1111111111ull).substr(0, 10));
        } else {
            reg.WriteProfileInt(section, e.name, e.name == "Priority" ? -1 : ++n);
        }
    }
    ASSERT_TRUE(reg.EndUpdate());
}

void ExpectSameValues(const IRegistry& reg, const std::string& a, const std::string& b,
                      std::span<const SRegSchemaEntry> names) {
    for (const SRegSchemaEntry& e : names) {
        if (e.type == ERegType::Sz) {
            EXPECT_EQ(reg.GetProfileString(a, e.name, "<none>"), reg.GetProfileString(b, e.name, "<absent>"))
                << b << ": " << e.name;
        } else {
            EXPECT_EQ(reg.GetProfileInt(a, e.name, -100), reg.GetProfileInt(b, e.name, -200))
                << b << ": " << e.name;
        }
    }
}

// Every profile value of a section as text, absent ones marked.
std::vector<std::string> Snapshot(const IRegistry& reg, const std::string& section) {
    std::vector<std::string> values;
    for (const SRegSchemaEntry& e : RegistrySchema().first(kProfileValueCount)) {
        values.push_back(e.type == ERegType::Sz ? reg.GetProfileString(section, e.name, "<absent>")
                                                : std::to_string(reg.GetProfileInt(section, e.name, -999)));
    }
    return values;
}

std::vector<std::u16string> Lines(const std::u16string& text) {
    std::vector<std::u16string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(u"\r\n", start)) != std::u16string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

class RegFileTest : public ::testing::Test {
protected:
    test::CScratchDir m_Dir;
    CSqliteRegistry m_Reg{m_Dir.Path("settings.db")};
    std::string m_strOut = m_Dir.Path("out.reg");
};

TEST_F(RegFileTest, ExportIsRegeditText) {
    FillProfile(m_Reg, "Profile 3", "Home \"net\"", "C:\\ssid", 0);
    ASSERT_EQ(m_Reg.SaveKey("Profile 3", m_strOut, false), REG_OK);

    const std::string bytes = ReadBytes(m_strOut);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    ASSERT_EQ(bytes.size() % 2, 0u);
    const std::u16string text = test::AsUtf16(bytes.substr(2));
    const auto lines = Lines(text);
    for (const auto& line : lines) {
        EXPECT_EQ(line.find_first_of(u"\r\n"), std::u16string::npos) << "bare line break";
    }
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], u"Windows Registry Editor Version 5.00");
    EXPECT_EQ(lines[1], u"");
    EXPECT_EQ(lines[2], u"[HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility\\Profile 3]");
    EXPECT_EQ(lines[3], u"\"ProfName\"=\"Home \\\"net\\\"\"");
    EXPECT_EQ(lines[4], u"\"NetName\"=\"C:\\\\ssid\"");
    EXPECT_NE(std::find(lines.begin(), lines.end(), u"\"Priority\"=dword:ffffffff"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), u"\"NetMode\"=dword:00000001"), lines.end());
    EXPECT_EQ(lines.back(), u"");
}

// Keys depth first, in natural order; the staging key of imports is no setting of the user's and
// stays out.
TEST_F(RegFileTest, ExportOfAllKeysIsDepthFirst) {
    m_Reg.WriteProfileInt("", "NumOfProfiles", 3);
    for (const char* s : {"Profile 10", "Profile 2", "Profile 2\\Deep", "Import\\Profile 0"}) {
        m_Reg.WriteProfileString(s, "ProfName", s);
    }
    ASSERT_EQ(m_Reg.SaveKey("", m_strOut, false), REG_OK);

    const auto lines = Lines(test::AsUtf16(ReadBytes(m_strOut).substr(2)));
    std::vector<std::u16string> keys;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].starts_with(u"[")) continue;
        keys.push_back(lines[i]);
        EXPECT_TRUE(i > 0 && lines[i - 1].empty()) << "no blank line before key " << i;
    }
    const std::u16string app = u"[HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility";
    EXPECT_EQ(keys, (std::vector<std::u16string>{app + u"]", app + u"\\Profile 2]",
                                                 app + u"\\Profile 2\\Deep]", app + u"\\Profile 10]"}));
}

TEST_F(RegFileTest, ExportReplacesAFileOnlyWhenAsked) {
    FillProfile(m_Reg, "Profile 0", "p", "s", 0);
    WriteBytes(m_strOut, "keep me");
    EXPECT_EQ(m_Reg.SaveKey("Profile 0", m_strOut, false), REG_ERROR_FILE_EXISTS);
    EXPECT_EQ(ReadBytes(m_strOut), "keep me");

    EXPECT_EQ(m_Reg.SaveKey("Profile 0", m_strOut, true), REG_OK);
    EXPECT_TRUE(ReadBytes(m_strOut).starts_with("\xFF\xFE"));
    EXPECT_EQ(test::Mode(m_strOut), 0600u);

    EXPECT_EQ(m_Reg.SaveKey("Profile 7", m_Dir.Path("none.reg"), false), REG_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(m_Dir.Names(),
              (std::vector<std::string>{"out.reg", "settings.db", "settings.db-shm", "settings.db-wal"}));
}

TEST_F(RegFileTest, FailedExportLeavesNoFile) {
    FillProfile(m_Reg, "Profile 0", "p", "s", 0);
    WriteBytes(m_Dir.Path("plain"), "x");
    EXPECT_EQ(m_Reg.SaveKey("Profile 0", m_Dir.Path("plain/x.reg"), false), REG_ERROR_FILE_NOT_FOUND);
    std::filesystem::create_directory(m_Dir.Path("folder.reg"));
    EXPECT_EQ(m_Reg.SaveKey("Profile 0", m_Dir.Path("folder.reg"), true), REG_ERROR_ACCESS_DENIED);

    WriteBytes(m_strOut, "old");
    {
        test::CFileSizeLimit limit(512);  // the export is about 1.5 KiB
        EXPECT_EQ(m_Reg.SaveKey("Profile 0", m_Dir.Path("new.reg"), false), REG_ERROR_WRITE_FAULT);
        EXPECT_EQ(m_Reg.SaveKey("Profile 0", m_strOut, true), REG_ERROR_WRITE_FAULT);
    }
    EXPECT_EQ(ReadBytes(m_strOut), "old");
    EXPECT_EQ(m_Dir.Names(), (std::vector<std::string>{"folder.reg", "out.reg", "plain", "settings.db",
                                                       "settings.db-shm", "settings.db-wal"}));
}

TEST_F(RegFileTest, OneProfileRoundTrips) {
    const char* names[][2] = {{"Caf\xC3\xA9 \"\xCE\xA9\" \\ --", "--"},
                              {"  padded  ", "a\\\"b\"\\"},
                              {"\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80", "\xC3\xBC;=#[x]"}};
    int seed = 0;
    for (const auto& [name, ssid] : names) {
        FillProfile(m_Reg, "Profile 3", name, ssid, seed += 50);
        ASSERT_EQ(m_Reg.SaveKey("Profile 3", m_strOut, true), REG_OK);
        // Left over from an earlier import; the restore replaces it.
        m_Reg.WriteProfileInt("Import", "NumOfProfiles", 4);
        m_Reg.WriteProfileString("Import\\Profile 9", "ProfName", "old");

        ASSERT_EQ(m_Reg.RestoreKey("Import", m_strOut), REG_OK);
        ExpectSameValues(m_Reg, "Profile 3", "Import", RegistrySchema().first(kProfileValueCount));
        EXPECT_EQ(m_Reg.GetProfileString("Import", "ProfName", ""), name);
        EXPECT_FALSE(m_Reg.KeyExists("Import\\Profile 9"));
        EXPECT_EQ(m_Reg.GetProfileInt("Import", "NumOfProfiles", -7), -7);
    }
}

TEST_F(RegFileTest, AllProfilesAndPreferencesRoundTrip) {
    int n = 0;
    for (const SRegSchemaEntry& e : RegistrySchema().subspan(kProfileValueCount)) {
        m_Reg.WriteProfileInt("", e.name, ++n);  // the preferences
    }
    m_Reg.WriteProfileInt("", "NumOfProfiles", 3);
    m_Reg.WriteProfileInt("", "Polling Interval", 25000);
    m_Reg.WriteProfileString("", "ConnectedStation", "Caf\xC3\xA9;6");
    for (int i = 0; i < 3; ++i) {
        FillProfile(m_Reg, "Profile " + std::to_string(i), "P\"" + std::to_string(i),
                    "net\\" + std::to_string(i), i * 100);
    }
    ASSERT_EQ(m_Reg.SaveKey("", m_strOut, false), REG_OK);
    ASSERT_EQ(m_Reg.RestoreKey("Import", m_strOut), REG_OK);

    ExpectSameValues(m_Reg, "", "Import", RegistrySchema().subspan(kProfileValueCount));
    EXPECT_EQ(m_Reg.SubKeys("Import"), (std::vector<std::string>{"Profile 0", "Profile 1", "Profile 2"}));
    for (int i = 0; i < 3; ++i) {
        const std::string section = "Profile " + std::to_string(i);
        ExpectSameValues(m_Reg, section, "Import\\" + section, RegistrySchema().first(kProfileValueCount));
    }

    // The file carries the kinds of the schema.
    SRegKey tree;
    ASSERT_EQ(ReadRegFile(m_strOut, tree), REG_OK);
    ASSERT_NE(tree.FindValue("ConnectedStation"), nullptr);
    EXPECT_EQ(tree.FindValue("ConnectedStation")->type, ERegType::Sz);
    EXPECT_EQ(*tree.FindValue("Polling Interval"), SRegValue::Dword(25000));
    ASSERT_NE(tree.FindSubKey("Profile 1"), nullptr);
    EXPECT_EQ(tree.FindSubKey("Profile 1")->values.size(), kProfileValueCount);
    EXPECT_EQ(*tree.FindSubKey("Profile 1")->FindValue("Priority"), SRegValue::Dword(0xFFFFFFFF));
}

TEST(RegTextTest, WriterAndReaderAgree) {
    SRegKey top{"Profile 3", {}, {}};
    top.SetValue("ProfName", SRegValue::Sz("q\"uo\\te -- \xC3\xA9\xF0\x9F\x98\x80"));
    top.SetValue("NetName", SRegValue::Sz(""));
    top.SetValue("Odd \"name\"", SRegValue::Sz("line\nbreak\rreturn"));
    top.SetValue("Priority", SRegValue::Dword(0xFFFFFFFF));
    top.SetValue("PhyChnl", SRegValue::Dword(0));
    SRegKey& sub = top.SubKey("Sub");
    sub.SetValue("X", SRegValue::Dword(0x12AB));
    sub.SubKey("Empty");
    sub.SubKey("Deeper").SetValue("Y", SRegValue::Sz("\\"));

    SRegKey parsed;
    ASSERT_EQ(ParseRegText(FormatRegText(top, std::string(kApp) + "\\Profile 3"), parsed), REG_OK);
    EXPECT_EQ(parsed, top);
}

// A network name is any bytes: a text holding NUL bytes goes out in regedit's hex form of a string
// (UTF-16LE units and a terminator) and comes back byte for byte, with the other texts around it.
TEST(RegTextTest, TextsWithNulBytesComeBackByteForByte) {
    SRegKey top{"Profile 0", {}, {}};
    top.SetValue("NetName", SRegValue::Sz(std::string("NUL\0Byte", 8)));
    top.SetValue("ProfName", SRegValue::Sz(std::string(1, '\0')));
    static constexpr char kOdd[] =
        "\0\xFF\x01 long enough to go over several lines, \"quoted\" \\ and \xC3\xA9 \xF0\x9F\x98\x80, "
        "ending in a NUL\0";
    top.SetValue("WpaPassphrase", SRegValue::Sz(std::string(kOdd, sizeof kOdd - 1)));
    top.SetValue("Plain", SRegValue::Sz("no NUL here"));
    const std::string text = FormatRegText(top, std::string(kApp) + "\\Profile 0");
    SRegKey parsed;
    ASSERT_EQ(ParseRegText(text, parsed), REG_OK);
    EXPECT_EQ(parsed, top);
    EXPECT_EQ(parsed.FindValue("WpaPassphrase")->text.size(), sizeof kOdd - 1);
    EXPECT_NE(text.find(Utf8ToUtf16Le(
                  "\"NetName\"=hex(1):4e,00,55,00,4c,00,00,00,42,00,79,00,74,00,65,00,00,00\r\n")),
              std::string::npos);
    EXPECT_NE(text.find(Utf8ToUtf16Le("\"Plain\"=\"no NUL here\"")), std::string::npos);
    // regedit's lines stay short: a long value goes on with a backslash.
    std::string utf8;
    ASSERT_TRUE(Utf16LeToUtf8(std::string_view(text).substr(2), utf8));
    for (size_t start = 0, end = 0; start < utf8.size(); start = end + 1) {
        end = std::min(utf8.find('\n', start), utf8.size());
        EXPECT_LE(end - start, 81u) << utf8.substr(start, end - start);
    }
}

// One value line that cannot be read spoils its key only: the rest of the file is read, and the key
// says which line failed. A NUL inside a quoted text is such a line.
TEST(RegTextTest, AnUnreadableValueSpoilsItsKeyOnly) {
    const std::string file =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[A\\Top]\r\n"
        "\"NumOfProfiles\"=dword:00000003\r\n"
        "[A\\Top\\Profile 0]\r\n"
        "\"NetName\"=\"bad" +
        std::string(1, '\0') +
        "name\"\r\n"
        "\"ProfName\"=\"One\"\r\n"
        "[A\\Top\\Profile 1]\r\n"
        "\"NetName\"=hex(1):41,00,\\\r\n"
        "  4g,00\r\n"
        "  00,00\r\n"
        "\"ProfName\"=\"Two\"\r\n"
        "[A\\Top\\Profile 2]\r\n"
        "\"NetName\"=\"Fine\"\r\n";
    SRegKey top;
    ASSERT_EQ(ParseRegText("\xFF\xFE" + Utf8ToUtf16Le(file), top), REG_OK);
    ASSERT_EQ(top.subkeys.size(), 3u);
    EXPECT_EQ(top.fault, "");
    EXPECT_EQ(top.subkeys[0].fault, "the value on line 6 cannot be read");
    EXPECT_EQ(*top.subkeys[0].FindValue("ProfName"), SRegValue::Sz("One"));
    EXPECT_EQ(top.subkeys[1].fault, "the value on line 9 cannot be read");
    EXPECT_EQ(*top.subkeys[1].FindValue("ProfName"), SRegValue::Sz("Two"));
    EXPECT_EQ(top.subkeys[2].fault, "");
    EXPECT_EQ(top.FirstFault(), "the value on line 6 cannot be read");
    // Outside a key's values a NUL still makes the file no profile file.
    EXPECT_EQ(ParseRegText("\xFF\xFE" + Utf8ToUtf16Le("Windows Registry Editor Version 5.00\r\n[A\\B" +
                                                      std::string(1, '\0') + "]\r\n"),
                           top),
              REG_ERROR_INVALID_DATA);
}

TEST(RegTextTest, ReaderTakesWhatRegeditWrites) {
    const std::string file =
        "REGEDIT4\r\n\r\n"
        "; made by hand\r\n"
        "[HKEY_CURRENT_USER\\Software\\Other\\Top\\Sub\\Deep]\r\n"
        "\"NetName\"=\"x\"\r\n"
        "[HKEY_CURRENT_USER\\Software\\Other\\Top]\r\n"
        "\"ProfName\"=\"Caf\xE9\"\r\n"
        "@=\"default\"\r\n"
        "\"Gone\"=-\r\n"
        "\"PhyType\"=dword:00000002 ; comment\r\n"
        "\"Key\"=hex(2):41,42,\\\r\n"
        "    43,00\r\n"
        "\"Rate\"=hex(4):c0,fc,9b,01\r\n"
        "\"Multi\"=hex(7):41,00,00\r\n"
        "\"Blob\"=hex:01,02\r\n"
        "[-HKEY_CURRENT_USER\\Software\\Other\\Top\\Old]\r\n"
        "\"ProfName\"=\"deleted\"\r\n"
        "[hkey_current_user\\software\\other\\top\\sub]\r\n"
        "\"NetName\"=\"y\"\r\n"
        "[HKEY_CURRENT_USER\\Software\\Elsewhere\\Deeper\\Key]\r\n"
        "\"NetName\"=\"outside\"\r\n";
    SRegKey top;
    ASSERT_EQ(ParseRegText(file, top), REG_OK);

    SRegKey expected{"Top", {}, {}};
    expected.SetValue("ProfName", SRegValue::Sz("Caf\xC3\xA9"));  // Latin-1 taken as such
    expected.SetValue("PhyType", SRegValue::Dword(2));
    expected.SetValue("Key", SRegValue::Sz("ABC"));
    expected.SetValue("Rate", SRegValue::Dword(27000000));
    SRegKey& sub = expected.SubKey("Sub");
    sub.SubKey("Deep").SetValue("NetName", SRegValue::Sz("x"));
    sub.SetValue("NetName", SRegValue::Sz("y"));
    EXPECT_EQ(top, expected);

    ASSERT_EQ(
        ParseRegText("\xEF\xBB\xBFWindows Registry Editor Version 5.00\n[A\\B]\n\"N\"=\"\xC3\xA9\"\n", top),
        REG_OK);
    EXPECT_EQ(top.name, "B");
    EXPECT_EQ(*top.FindValue("n"), SRegValue::Sz("\xC3\xA9"));
}

TEST_F(RegFileTest, ImportConvertsKindsToTheSchema) {
    WriteBytes(m_strOut,
               "REGEDIT4\r\n[X\\Top]\r\n\"profname\"=dword:0000002a\r\n\"Priority\"=\"-1\"\r\n"
               "\"PhyChnl\"=\" 7 \"\r\n\"Custom\"=\"12\"\r\n");
    ASSERT_EQ(m_Reg.RestoreKey("Import", m_strOut), REG_OK);
    EXPECT_EQ(m_Reg.GetProfileString("Import", "ProfName", ""), "42");
    EXPECT_EQ(m_Reg.GetProfileInt("Import", "Priority", 0), -1);
    EXPECT_EQ(m_Reg.GetProfileInt("Import", "PhyChnl", 0), 7);

    SRegKey tree;
    ASSERT_EQ(m_Reg.SaveKey("Import", m_Dir.Path("again.reg"), false), REG_OK);
    ASSERT_EQ(ReadRegFile(m_Dir.Path("again.reg"), tree), REG_OK);
    EXPECT_EQ(*tree.FindValue("ProfName"), SRegValue::Sz("42"));
    EXPECT_EQ(*tree.FindValue("Priority"), SRegValue::Dword(0xFFFFFFFF));

    WriteBytes(m_strOut, "REGEDIT4\r\n[X\\Top]\r\n\"NetName\"=\"n\"\r\n\"Priority\"=\"high\"\r\n");
    EXPECT_EQ(m_Reg.RestoreKey("Import", m_strOut), REG_ERROR_INVALID_DATA);
    EXPECT_EQ(m_Reg.GetProfileString("Import", "ProfName", ""), "42");
}

TEST_F(RegFileTest, DamagedFilesChangeNothing) {
    FillProfile(m_Reg, "Profile 0", "source", "ssid", 0);
    ASSERT_EQ(m_Reg.SaveKey("Profile 0", m_strOut, false), REG_OK);
    const std::string good = ReadBytes(m_strOut);
    const size_t inName = good.find(std::string("s\0o\0u\0r\0", 8));
    ASSERT_NE(inName, std::string::npos);

    FillProfile(m_Reg, "Import", "before", "ssid", 7);
    m_Reg.WriteProfileString("Import\\Profile 0", "ProfName", "inner");
    const auto before = Snapshot(m_Reg, "Import");
    const std::string v5 = "Windows Registry Editor Version 5.00\r\n\r\n";
    const struct {
        const char* what;
        std::string bytes;
        int code;
    } cases[] = {
        {"empty", "", REG_ERROR_INVALID_DATA},
        {"garbage", std::string("\x00\x01\x02 binary \xFF", 13), REG_ERROR_INVALID_DATA},
        {"no header", "[A\\B]\r\n\"NetName\"=\"x\"\r\n", REG_ERROR_INVALID_DATA},
        {"header only", v5, REG_ERROR_INVALID_DATA},
        {"odd UTF-16", good.substr(0, good.size() - 1), REG_ERROR_INVALID_DATA},
        {"cut in a string", good.substr(0, inName + 4), REG_ERROR_INVALID_DATA},
        {"open key line", v5 + "[A\\B\r\n\"NetName\"=\"x\"\r\n", REG_ERROR_INVALID_DATA},
        {"open string", v5 + "[A\\B]\r\n\"NetName\"=\"x\r\n", REG_ERROR_INVALID_DATA},
        {"open name", v5 + "[A\\B]\r\n\"NetName=\"x\"\r\n", REG_ERROR_INVALID_DATA},
        {"bad dword", v5 + "[A\\B]\r\n\"PhyType\"=dword:12x\r\n", REG_ERROR_INVALID_DATA},
        {"long dword", v5 + "[A\\B]\r\n\"PhyType\"=dword:123456789\r\n", REG_ERROR_INVALID_DATA},
        {"value first", v5 + "\"PhyType\"=dword:1\r\n[A\\B]\r\n", REG_ERROR_INVALID_DATA},
        {"open hex", v5 + "[A\\B]\r\n\"Blob\"=hex:01,\\\r\n", REG_ERROR_INVALID_DATA},
        {"empty key part", v5 + "[A\\\\B]\r\n", REG_ERROR_INVALID_DATA},
        {"stray line", v5 + "[A\\B]\r\nNetName=x\r\n", REG_ERROR_INVALID_DATA},
    };
    for (const auto& c : cases) {
        WriteBytes(m_strOut, c.bytes);
        EXPECT_EQ(m_Reg.RestoreKey("Import", m_strOut), c.code) << c.what;
    }

    ASSERT_EQ(::truncate(m_strOut.c_str(), static_cast<off_t>(kMaxRegFileSize) + 1), 0);
    EXPECT_EQ(m_Reg.RestoreKey("Import", m_strOut), REG_ERROR_FILE_TOO_LARGE);
    EXPECT_EQ(m_Reg.RestoreKey("Import", m_Dir.Path("missing.reg")), REG_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(m_Reg.RestoreKey("Import", m_Dir.Path("")), REG_ERROR_NOT_A_FILE);

    EXPECT_EQ(Snapshot(m_Reg, "Import"), before);
    EXPECT_EQ(m_Reg.GetProfileString("Import\\Profile 0", "ProfName", ""), "inner");
    EXPECT_EQ(m_Reg.GetProfileString("Profile 0", "ProfName", ""), "source");
}

}  // namespace
}  // namespace wavory
