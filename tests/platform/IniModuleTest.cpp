// A program given a capability (or set-user-ID) loads the INI reader module only from its installed,
// root-owned place: never from the build folder (which its user can write), never from a place
// anyone but root could change.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>

#include "platform/IniSettings.h"

namespace wavory {
namespace {

using namespace ini_module;

// A made-up file tree: path -> owner and mode.
struct SFakeTree {
    std::map<std::string, std::pair<uid_t, mode_t>> entries;
    void Add(const std::string& path, uid_t uid, mode_t mode) { entries[path] = {uid, mode}; }
    StatFn Stat() const {
        return [this](const std::string& path, struct stat& st) {
            const auto it = entries.find(path);
            if (it == entries.end()) return false;
            st = {};
            st.st_uid = it->second.first;
            st.st_mode = it->second.second;
            return true;
        };
    }
};

constexpr const char* kInstalled = "/usr/lib/x86_64-linux-gnu/wavory/libwavory_ini.so";

SFakeTree InstalledTree() {
    SFakeTree tree;
    tree.Add("/", 0, S_IFDIR | 0755);
    tree.Add("/usr", 0, S_IFDIR | 0755);
    tree.Add("/usr/lib", 0, S_IFDIR | 0755);
    tree.Add("/usr/lib/x86_64-linux-gnu", 0, S_IFDIR | 0755);
    tree.Add("/usr/lib/x86_64-linux-gnu/wavory", 0, S_IFDIR | 0755);
    tree.Add(kInstalled, 0, S_IFREG | 0644);
    return tree;
}

TEST(IniModuleTest, UnderRaisedRightsOnlyTheInstalledPlaceIsLookedAt) {
    const auto normal = Candidates(false, "/home/ann/src/build/bin/wavoryctl", kInstalled);
    ASSERT_EQ(normal.size(), 2u);
    EXPECT_EQ(normal[0], "/home/ann/src/build/bin/../lib/wavory/libwavory_ini.so");
    EXPECT_EQ(normal[1], kInstalled);
    const auto secure = Candidates(true, "/home/ann/src/build/bin/wavoryctl", kInstalled);
    ASSERT_EQ(secure.size(), 1u);
    EXPECT_EQ(secure[0], kInstalled);
    // No installed place known: nothing at all rather than the build's.
    EXPECT_TRUE(Candidates(true, "/home/ann/src/build/bin/wavoryctl", "").empty());
}

TEST(IniModuleTest, EveryPartOfThePathMustBeRootsAndClosedToOthers) {
    EXPECT_EQ(RaisedRightsRefusal(kInstalled, InstalledTree().Stat()), "");

    struct SCase {
        std::string path;
        uid_t uid;
        mode_t mode;
        std::string why;
    };
    const SCase cases[] = {
        {kInstalled, 1000, S_IFREG | 0644, "is not owned by root"},
        {kInstalled, 0, S_IFREG | 0664, "may be written by users other than root"},
        {kInstalled, 0, S_IFLNK | 0777, "is a symbolic link"},
        {"/usr/lib/x86_64-linux-gnu/wavory", 1000, S_IFDIR | 0755, "is not owned by root"},
        {"/usr/lib/x86_64-linux-gnu/wavory", 0, S_IFDIR | 0777, "may be written by users other than root"},
        {"/usr", 0, S_IFDIR | 0775, "may be written by users other than root"},
        {"/", 1000, S_IFDIR | 0755, "is not owned by root"},
    };
    for (const SCase& c : cases) {
        SFakeTree tree = InstalledTree();
        tree.Add(c.path, c.uid, c.mode);
        EXPECT_EQ(RaisedRightsRefusal(kInstalled, tree.Stat()), c.path + " " + c.why) << c.path;
    }
    SFakeTree missing = InstalledTree();
    missing.entries.erase("/usr/lib");
    EXPECT_EQ(RaisedRightsRefusal(kInstalled, missing.Stat()), "/usr/lib cannot be examined");
    EXPECT_EQ(RaisedRightsRefusal("lib/libwavory_ini.so", InstalledTree().Stat()),
              "lib/libwavory_ini.so is not an absolute path");
}

// The test program itself runs without raised rights: the kernel's word for it is read, not assumed.
TEST(IniModuleTest, ATestRunIsNoSecureExecution) { EXPECT_FALSE(SecureExecution()); }

}  // namespace
}  // namespace wavory
