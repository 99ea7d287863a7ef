// One adapter for all processes of the user: sharing, unplugging and re-creation.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "SimFixture.h"

namespace wavory::test {
namespace {

class SharedAdapterTest : public SimFixture {
protected:
    // Runs `body` in a child process; returns its exit code (the child never returns into gtest).
    template <typename Body>
    static int InChild(Body body) {
        const pid_t pid = fork();
        if (pid == 0) _exit(body());
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(SharedAdapterTest, ChildProcessSettingsAreSeenByParent) {
    const int rc = InChild([] {
        if (kcom_connect("SEARCH") != 0) return 10;
        if (SetU32(0x220, 2) != 2 || SetSsid("Deckhands") != 2 || SetChannel(10) != 2 ||
            SetU32(0x430, 0) != 2)
            return 11;
        if (kccl_sim_set_fault(0x161, KCCL_SIM_FAULT_RESULT, 4) != 0) return 12;
        return 0;
    });
    ASSERT_EQ(rc, 0);
    auto ssid = Query(0x70);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(ssid->payload + 1), ssid->payload[0]), "Deckhands");
    EXPECT_EQ(QueryU32(0x210), 2u);
    EXPECT_TRUE(Associated());
    EXPECT_EQ(kcom_exec_oid(Block(0x161).get()), 4);  // the child's fault holds here too
}

TEST_F(SharedAdapterTest, ParentJoinIsSeenByChild) {
    JoinInfra("Lighthouse");
    const int rc = InChild([] {
        if (kcom_connect("SEARCH") != 0) return 10;
        auto block = Block(0x50);
        if (kcom_exec_oid(block.get()) != 0) return 11;
        return BssidText(block->payload) == "00-0F-B5-44-7C-20" ? 0 : 12;
    });
    EXPECT_EQ(rc, 0);
}

TEST_F(SharedAdapterTest, UnplugKillsLinksUntilReplugAndReconnect) {
    JoinInfra("Lighthouse");
    ASSERT_EQ(kccl_sim_set_present(0), 0);
    auto block = Block(0x590);
    EXPECT_NE(kcom_exec_oid(block.get()), 0);
    EXPECT_NE(kcom_connect("SEARCH"), 0);
    EXPECT_EQ(State()["present"], false);

    ASSERT_EQ(kccl_sim_set_present(1), 0);
    EXPECT_NE(kcom_exec_oid(block.get()), 0);  // the old link stays dead
    ASSERT_EQ(kcom_connect("SEARCH"), 0);
    EXPECT_EQ(Exec(*block), 2u);
    // A replugged adapter starts from its power-on settings.
    EXPECT_EQ(block->payload[0], 0);
    EXPECT_EQ(Query(0x70)->payload[0], 0);
}

TEST_F(SharedAdapterTest, UnplugInOtherProcessKillsThisLink) {
    ASSERT_EQ(InChild([] { return kccl_sim_set_present(0) == 0 && kccl_sim_set_present(1) == 0 ? 0 : 1; }),
              0);
    EXPECT_NE(kcom_exec_oid(Block(0x70).get()), 0);
    ASSERT_EQ(kcom_connect("SEARCH"), 0);
    EXPECT_EQ(Exec(*Block(0x70)), 2u);
}

TEST_F(SharedAdapterTest, UnlinkGivesFreshAdapterAndEndsOldLink) {
    JoinInfra("Lighthouse");
    ASSERT_EQ(kccl_sim_unlink(), 0);
    EXPECT_NE(kcom_exec_oid(Block(0x70).get()), 0);
    ASSERT_EQ(kcom_connect("SEARCH"), 0);
    EXPECT_EQ(Query(0x70)->payload[0], 0);
    EXPECT_FALSE(Associated());
}

TEST_F(SharedAdapterTest, ObjectOfAnotherLayoutIsReplaced) {
    ASSERT_EQ(kccl_sim_unlink(), 0);
    const char* name = std::getenv("WAVORY_SIM");
    ASSERT_NE(name, nullptr);
    const int fd = shm_open(name, O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 4096), 0);
    ASSERT_EQ(write(fd, "KSIMxxxxxxxxxxxxxxxx", 20), 20);
    close(fd);

    ASSERT_EQ(kcom_connect("SEARCH"), 0);
    EXPECT_EQ(QueryU32(0x210), 1u);
    EXPECT_EQ(State()["networks"].size(), 14u);
}

}  // namespace
}  // namespace wavory::test
