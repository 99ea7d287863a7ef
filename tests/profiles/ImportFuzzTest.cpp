// Hostile profile files, made from a fixed seed: cut and flipped exports, huge values, deep nesting,
// many values and keys, FIFOs, devices, folders and link loops. None may hang an import (2 s), crash
// it, or change anything when it is refused; what is accepted is fit to connect with.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "ProfilesFixture.h"
#include "driver/Format.h"
#include "profiles/ProfileLimits.h"
#include "profiles/ProfileMngr.h"
#include "store/RegTextCodec.h"
#include "store/SqliteRegistry.h"

namespace wavory::test {
namespace {

// Sanitizer builds (Debug, instrumented) run several to many times slower: the big files are
// smaller there, so that the program stays within its test time. (How fast an import is, the store
// benchmark measures.)
#if defined(__SANITIZE_THREAD__)
constexpr int kScale = 5;
#elif defined(__SANITIZE_ADDRESS__)
constexpr int kScale = 2;
#else
constexpr int kScale = 1;
#endif
constexpr const char* kHeader = "Windows Registry Editor Version 5.00\r\n";
constexpr const char* kAppKey = "[HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility";

class ImportFuzzTest : public ProfilesFixture {
protected:
    void SetUp() override {
        ProfilesFixture::SetUp();
        StoreProfile("Profile 0", "Home", "Lighthouse", true, 0);
        StoreProfile("Profile 1", "Work", std::string("Caf\xE9", 4));
        ASSERT_TRUE(theApp.WriteProfileInt("", "NumOfProfiles", 2));
        CProfileMngr& mngr = MakeMngr();
        ASSERT_TRUE(mngr.RegistryOp(CProfileMngr::REG_OP_EXPORT_ALL, FilePath("all.reg"), std::nullopt));
        ASSERT_TRUE(mngr.RegistryOp(CProfileMngr::REG_OP_EXPORT_ONE, FilePath("one.reg"), "Work"));
    }

    // The store without its staging key.
    SRegKey Outside() {
        SRegKey tree;
        EXPECT_EQ(m_pRegistry->ReadTree("", tree), REG_OK);
        std::erase_if(tree.subkeys, [](const SRegKey& k) { return RegNameEqual(k.name, "Import"); });
        return tree;
    }

    // Imports the file; checks what changed.
    void Import(const std::string& file, const std::string& what) {
        CProfileMngr& mngr = *m_pMngr;
        m_Messages.m_Shown.clear();
        const SRegKey before = Outside();
        const int count = mngr.GetCount();
        const bool ok = mngr.RegistryOp(CProfileMngr::REG_OP_IMPORT, file, std::nullopt);
        if (!ok) {
            EXPECT_EQ(Outside(), before) << what;
            EXPECT_EQ(mngr.GetCount(), count) << what;
            EXPECT_FALSE(m_Messages.m_Shown.empty()) << what << ": refused without a word";
            ++m_nRefused;
            return;
        }
        ++m_nAccepted;
        EXPECT_GT(mngr.GetCount(), count) << what << ": accepted, but no profile came";
        for (const auto& p : mngr.Snapshot())
            EXPECT_EQ(CheckProfileLimits(*p), "") << what << " " << p->ProfName;
        // Back to the two profiles, so the next case meets the same store.
        for (const auto& p : mngr.Snapshot())
            if (p->ProfName != "Home" && p->ProfName != "Work") mngr.RemoveProfile(p->ProfName, true, true);
        ASSERT_TRUE(mngr.SaveAll());
    }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = FilePath(name);
        WriteFile(path, bytes);
        return path;
    }

    static void WriteFile(const std::string& path, const std::string& bytes) {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }

    static std::string ReadFile(const std::string& path) {
        FILE* f = std::fopen(path.c_str(), "rb");
        std::string bytes;
        char buf[65536];
        size_t n;
        while (f && (n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
        if (f) std::fclose(f);
        return bytes;
    }

    static std::string Utf16(const std::string& text) { return "\xFF\xFE" + Utf8ToUtf16Le(text); }

    int m_nRefused = 0;
    int m_nAccepted = 0;
};

TEST_F(ImportFuzzTest, HostileFilesNeitherHangNorCrashNorChangeTheStore) {
    std::mt19937 random(20261208);
    const std::string all = ReadFile(FilePath("all.reg"));
    const std::string one = ReadFile(FilePath("one.reg"));
    ASSERT_GT(all.size(), 100u);

    // The untouched files import.
    Import(FilePath("all.reg"), "export of all");
    Import(FilePath("one.reg"), "export of one");
    ASSERT_EQ(m_nAccepted, 2);

    for (int i = 0; i < 60; ++i) {
        const std::string& base = i % 2 ? all : one;
        const size_t cut = std::uniform_int_distribution<size_t>(0, base.size() - 1)(random);
        Import(Write("cut.reg", base.substr(0, cut)), StrFormat("cut at %zu", cut));
    }
    for (int i = 0; i < 150; ++i) {
        std::string bytes = i % 2 ? all : one;
        const int flips = std::uniform_int_distribution<int>(1, 8)(random);
        for (int f = 0; f < flips; ++f) {
            const size_t at = std::uniform_int_distribution<size_t>(0, bytes.size() - 1)(random);
            bytes[at] =
                static_cast<char>(bytes[at] ^ (1 << std::uniform_int_distribution<int>(0, 7)(random)));
        }
        Import(Write("flipped.reg", bytes), StrFormat("flips, round %d", i));
    }

    // Values out of the editor's ranges, and huge ones.
    const std::string profile = std::string(kAppKey) + "]\r\n\"ProfName\"=\"x\"\r\n";
    Import(Write("ssid40.reg", Utf16(kHeader + profile + "\"NetName\"=\"" + std::string(40, 'n') + "\"\r\n")),
           "40-byte SSID");
    Import(Write("ssid7m.reg",
                 std::string(kHeader) + profile + "\"NetName\"=\"" + std::string(7 << 20, 'n') + "\"\r\n"),
           "7 MiB SSID");
    Import(Write("phy.reg", Utf16(kHeader + profile + "\"NetName\"=\"n\"\r\n\"PhyType\"=dword:000000c8\r\n")),
           "PhyType 200");
    Import(Write("sec.reg", Utf16(kHeader + profile + "\"NetName\"=\"n\"\r\n\"SecType\"=dword:00000007\r\n")),
           "SecType 7");
    Import(Write("hex.reg",
                 std::string(kHeader) + profile + "\"Blob\"=hex:" + std::string(3 << 20, '0') + "\r\n"),
           "huge hex");
    Import(Write("noprofile.reg",
                 Utf16(std::string(kHeader) + kAppKey + "]\r\n\"Polling Interval\"=dword:1\r\n")),
           "no profile");

    // Deep nesting, many values, many keys: parsed in time linear in the size.
    std::string deep = std::string(kHeader) + kAppKey;
    std::string path = kAppKey;
    for (int level = 0; level < 600; ++level) {
        path += "\\K";
        deep += "]\r\n" + path;
    }
    Import(Write("deep.reg", deep + "]\r\n"), "600 levels");
    std::string manyValues = std::string(kHeader) + profile + "\"NetName\"=\"n\"\r\n";
    for (int v = 0; v < 100000 / kScale; ++v) manyValues += StrFormat("\"V%d\"=dword:%08x\r\n", v, v);
    Import(Write("values.reg", manyValues), "many values");
    std::string manyKeys = std::string(kHeader) + kAppKey + "]\r\n\"NumOfProfiles\"=dword:00000001\r\n";
    for (int k = 0; k < 10000 / kScale; ++k)
        manyKeys += StrFormat("%s\\Key %d]\r\n\"x\"=\"y\"\r\n", kAppKey, k);
    Import(Write("keys.reg", manyKeys), "many keys, no profile");
    Import(Write("keys.reg", manyKeys + kAppKey + "\\Profile 3]\r\n\"NetName\"=\"n\"\r\n"),
           "many keys and a profile");
    Import(FilePath("all.reg"), "after many keys");

    // Things that are no regular file are refused at once.
    const std::string fifo = FilePath("fifo.reg");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Import(fifo, "FIFO");
    Import("/dev/zero", "device");
    Import(FilesDir(), "folder");
    const std::string loop = FilePath("loop.reg");
    ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
    Import(loop, "symlink loop");

    // Most damaged files are refused; one whose damage hits a single profile of all, or a value
    // nothing connects with, imports what it can.
    EXPECT_GT(m_nRefused, 150);
    EXPECT_GE(m_nAccepted, 3);
}

TEST_F(ImportFuzzTest, RefusalsNameTheValue) {
    const std::string profile = std::string(kAppKey) + "]\r\n\"ProfName\"=\"x\"\r\n\"NetName\"=\"n\"\r\n";
    m_Messages.m_Shown.clear();
    EXPECT_FALSE(m_pMngr->RegistryOp(
        CProfileMngr::REG_OP_IMPORT,
        Write("phy.reg", std::string(kHeader) + profile + "\"PhyType\"=dword:000000c8\r\n"), std::nullopt));
    ASSERT_FALSE(m_Messages.m_Shown.empty());
    EXPECT_NE(m_Messages.m_Shown.back().first.find("\"PhyType\" is 200"), std::string::npos)
        << m_Messages.m_Shown.back().first;
    EXPECT_FALSE(m_pMngr->RegistryOp(CProfileMngr::REG_OP_IMPORT,
                                     Write("none.reg", std::string(kHeader) + kAppKey + "]\r\n"),
                                     std::nullopt));
    EXPECT_NE(m_Messages.m_Shown.back().first.find("holds no profile"), std::string::npos);
}

}  // namespace
}  // namespace wavory::test
