// Finding the wireless interfaces and who runs them, on a machine laid out in a folder.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "AdapterList.h"
#include "TestMain.h"

namespace wavory::kccl {
namespace {

namespace fs = std::filesystem;

class AdapterListTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::path(test::TempHome()) / "machine";
        fs::remove_all(m_root);
        m_paths.sysClassNet = (m_root / "sys/class/net").string();
        m_paths.supplicantDirs = {(m_root / "run/wpa_supplicant").string()};
        m_paths.networkManagerDevices = (m_root / "run/NetworkManager/devices").string();
        fs::create_directories(m_paths.sysClassNet);
        fs::create_directories(m_paths.supplicantDirs[0]);
        fs::create_directories(m_paths.networkManagerDevices);
        m_paths.busNames = [this] { return m_busNames; };
        m_paths.iwdInterfaces = [this] { return m_iwdInterfaces; };
    }
    void TearDown() override {
        for (int fd : m_sockets) ::close(fd);
        fs::remove_all(m_root);
    }

    void AddInterface(const std::string& name, int ifindex, bool wireless, const std::string& driver) {
        const fs::path dir = fs::path(m_paths.sysClassNet) / name;
        fs::create_directories(dir / "device");
        char mac[32];
        std::snprintf(mac, sizeof mac, "02:00:00:0a:0b:%02x\n", ifindex);
        std::ofstream(dir / "address") << mac;
        std::ofstream(dir / "ifindex") << ifindex << "\n";
        if (wireless) fs::create_directories(dir / "phy80211");
        if (!driver.empty())
            fs::create_directory_symlink(m_root / "drivers" / driver, dir / "device" / "driver");
    }

    void AddSupplicantSocket(const std::string& name) {
        const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s",
                      (m_paths.supplicantDirs[0] + "/" + name).c_str());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        m_sockets.push_back(fd);
    }

    fs::path m_root;
    SSystemPaths m_paths;
    std::vector<std::string> m_busNames = {"org.freedesktop.DBus"};
    std::optional<std::vector<std::string>> m_iwdInterfaces;  // iwd does not tell
    std::vector<int> m_sockets;
};

TEST_F(AdapterListTest, OnlyWirelessInterfacesSortedByName) {
    AddInterface("wlp3s0", 4, true, "iwlwifi");
    AddInterface("eth0", 2, false, "e1000e");
    AddInterface("lo", 1, false, "");
    AddInterface("wlan1", 7, true, "mac80211_hwsim");
    const auto found = FindWirelessInterfaces(m_paths);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].name, "wlan1");
    EXPECT_EQ(found[0].driver, "mac80211_hwsim");
    EXPECT_EQ(found[0].mac, "02-00-00-0A-0B-07");
    EXPECT_EQ(found[0].ifindex, 7);
    EXPECT_EQ(found[1].name, "wlp3s0");
    EXPECT_EQ(found[1].managedBy, KCCL_MANAGED_BY_NOBODY);
    EXPECT_EQ(FindWirelessInterface(m_paths, "eth0").name, "");
    EXPECT_EQ(FindWirelessInterface(m_paths, "../net/wlan1").name, "");
    EXPECT_EQ(FindWirelessInterface(m_paths, "wlan1").ifindex, 7);
}

TEST_F(AdapterListTest, WhoRunsTheInterface) {
    AddInterface("wlan0", 3, true, "ath9k");
    AddInterface("wlan1", 4, true, "ath9k");
    AddInterface("wlan2", 5, true, "ath9k");
    AddSupplicantSocket("wlan0");
    AddSupplicantSocket("wlan1");
    // NetworkManager runs wlan1 (through a supplicant of its own); wlan2 it knows but leaves alone.
    std::ofstream(fs::path(m_paths.networkManagerDevices) / "4") << "[device]\nmanaged=true\n";
    std::ofstream(fs::path(m_paths.networkManagerDevices) / "5") << "[device]\nmanaged=false\n";
    // A plain file where a socket should be is no supplicant.
    std::ofstream(fs::path(m_paths.supplicantDirs[0]) / "wlan2") << "";
    const auto found = FindWirelessInterfaces(m_paths);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].managedBy, KCCL_MANAGED_BY_WPA_SUPPLICANT);
    EXPECT_EQ(found[0].controlSocket, m_paths.supplicantDirs[0] + "/wlan0");
    EXPECT_EQ(found[1].managedBy, KCCL_MANAGED_BY_NETWORK_MANAGER);
    EXPECT_EQ(found[2].managedBy, KCCL_MANAGED_BY_NOBODY);
}

// The supplicant's folder of sockets belongs to its group: to a user outside it, an interface the
// supplicant runs must show as run by the supplicant (which refuses that user), not by nobody.
TEST_F(AdapterListTest, ClosedFolderOfSocketsMeansTheSupplicantRunsIt) {
    AddInterface("wlan0", 3, true, "ath9k");
    AddSupplicantSocket("wlan0");
    const std::string closedDir = m_paths.supplicantDirs[0];
    const std::string openDir = (m_root / "var/run/wpa_supplicant").string();
    fs::create_directories(openDir);
    fs::permissions(m_root, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(closedDir, fs::perms::owner_all);

    // Looked at as a user who may not search the folder: as root, from a child that gives up root.
    auto lookAsOutsider = [&](const SSystemPaths& paths) {
        int pipeFds[2];
        EXPECT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(pipeFds[0]);
            if (::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(2);
            if (::geteuid() != 0) ::chmod(closedDir.c_str(), 0);  // the owner itself may not search it now
            const SInterfaceInfo info = FindWirelessInterface(paths, "wlan0");
            const std::string text = std::to_string(info.managedBy) + " " + info.controlSocket;
            if (::write(pipeFds[1], text.data(), text.size()) < 0) ::_exit(3);
            ::_exit(0);
        }
        ::close(pipeFds[1]);
        std::string text;
        char buf[512];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
        ::close(pipeFds[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        ::chmod(closedDir.c_str(), 0700);
        return text;
    };
    const std::string supplicant = std::to_string(KCCL_MANAGED_BY_WPA_SUPPLICANT);
    EXPECT_EQ(lookAsOutsider(m_paths), supplicant + " " + closedDir + "/wlan0");

    // A socket found in another folder is the one to use.
    SSystemPaths two = m_paths;
    two.supplicantDirs = {closedDir, openDir};
    {
        const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", (openDir + "/wlan0").c_str());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        m_sockets.push_back(fd);
    }
    EXPECT_EQ(lookAsOutsider(two), supplicant + " " + openDir + "/wlan0");

    // Nothing there and nothing closed: nobody runs it.
    SSystemPaths none = m_paths;
    none.supplicantDirs = {(m_root / "run/none").string()};
    EXPECT_EQ(lookAsOutsider(none), std::to_string(KCCL_MANAGED_BY_NOBODY) + " ");
}

// iwd and ConnMan are known by their names on the system bus; NetworkManager (which may use either)
// still comes first, and ConnMan before the control socket of the supplicant it starts.
TEST_F(AdapterListTest, IwdAndConnManAreKnownByTheirBusNames) {
    AddInterface("wlan0", 3, true, "ath9k");
    AddSupplicantSocket("wlan0");
    m_busNames.push_back("net.connman");
    EXPECT_EQ(FindWirelessInterface(m_paths, "wlan0").managedBy, KCCL_MANAGED_BY_CONNMAN);
    m_busNames.push_back("net.connman.iwd");
    EXPECT_EQ(FindWirelessInterface(m_paths, "wlan0").managedBy, KCCL_MANAGED_BY_IWD);
    std::ofstream(fs::path(m_paths.networkManagerDevices) / "3") << "[device]\nmanaged=true\n";
    EXPECT_EQ(FindWirelessInterface(m_paths, "wlan0").managedBy, KCCL_MANAGED_BY_NETWORK_MANAGER);
}

// iwd may be told to leave interfaces alone: those it does not show are someone else's, while an
// iwd that does not answer this user is taken to run them all.
TEST_F(AdapterListTest, IwdRunsOnlyTheInterfacesItShows) {
    AddInterface("wlan0", 3, true, "ath9k");
    AddInterface("wlan1", 4, true, "ath9k");
    AddSupplicantSocket("wlan1");
    m_busNames.push_back("net.connman.iwd");
    m_iwdInterfaces = std::vector<std::string>{"wlan0"};
    const std::vector<SInterfaceInfo> found = FindWirelessInterfaces(m_paths);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].managedBy, KCCL_MANAGED_BY_IWD);
    EXPECT_EQ(found[1].managedBy, KCCL_MANAGED_BY_WPA_SUPPLICANT);
    m_iwdInterfaces = std::vector<std::string>{};
    EXPECT_EQ(FindWirelessInterface(m_paths, "wlan0").managedBy, KCCL_MANAGED_BY_NOBODY);
    m_iwdInterfaces.reset();
    EXPECT_EQ(FindWirelessInterface(m_paths, "wlan1").managedBy, KCCL_MANAGED_BY_IWD);
}

TEST_F(AdapterListTest, AStationInterfaceIsPreferredAndAMonitorNeverChosen) {
    auto info = [](const std::string& name, uint32_t iftype) {
        SInterfaceInfo i;
        i.name = name;
        i.iftype = iftype;
        return i;
    };
    // NL80211_IFTYPE_*: 1 ad hoc, 2 station, 3 access point, 6 monitor, 8 P2P client; 0 not known.
    EXPECT_EQ(ChooseAdapter("", {info("ap0", 3), info("p2p-wlan0-0", 8), info("wlan0", 2)}), "wlan0");
    EXPECT_EQ(ChooseAdapter("", {info("ap0", 3), info("wlan1", 1)}), "wlan1");
    EXPECT_EQ(ChooseAdapter("", {info("ap0", 3), info("wlan5", 0)}), "wlan5");
    EXPECT_EQ(ChooseAdapter("", {info("mon0", 6), info("zz0", 3)}), "zz0");
    EXPECT_EQ(ChooseAdapter("", {info("mon0", 6)}), "sim");
    // Asked for by name, any kind is served.
    EXPECT_EQ(ChooseAdapter("mon0", {info("mon0", 6)}), "mon0");

    // sysfs tells a monitor interface by its link type (radiotap).
    AddInterface("mon0", 9, true, "ath9k");
    std::ofstream(fs::path(m_paths.sysClassNet) / "mon0" / "type") << "803\n";
    EXPECT_EQ(FindWirelessInterface(m_paths, "mon0").iftype, 6u);
}

TEST_F(AdapterListTest, ChoiceOfTheAdapter) {
    EXPECT_EQ(ChooseAdapter("", {}), "sim");
    AddInterface("wlan1", 4, true, "");
    AddInterface("wlan0", 3, true, "");
    const auto found = FindWirelessInterfaces(m_paths);
    EXPECT_EQ(ChooseAdapter("", found), "wlan0");
    EXPECT_EQ(ChooseAdapter("sim", found), "sim");
    EXPECT_EQ(ChooseAdapter("wlan1", found), "wlan1");
    // A name that is not there stays the choice: the link then fails instead of serving another.
    EXPECT_EQ(ChooseAdapter("wlan7", found), "wlan7");
}

TEST(DashedMacTest, Forms) {
    EXPECT_EQ(DashedMac("02:00:0a:ff:10:9b\n"), "02-00-0A-FF-10-9B");
    EXPECT_EQ(DashedMac("02:00:0a:ff:10"), "");
    EXPECT_EQ(DashedMac("02:00:0a:ff:10:9g"), "");
    EXPECT_EQ(DashedMac(""), "");
}

}  // namespace
}  // namespace wavory::kccl
