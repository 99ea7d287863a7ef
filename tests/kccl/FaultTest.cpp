// Injected faults and the request log.
#include <stdexcept>

#include "SimFixture.h"

namespace wavory::test {
namespace {

class FaultTest : public SimFixture {};

TEST_F(FaultTest, ResultFaultFailsOnlyThatCode) {
    ASSERT_EQ(kccl_sim_set_fault(0x70, KCCL_SIM_FAULT_RESULT, 7), 0);
    auto block = Block(0x70);
    std::memset(block->payload, 0xCD, 40);
    EXPECT_EQ(kcom_exec_oid(block.get()), 7);
    EXPECT_EQ(block->payload[0], 0xCD);
    EXPECT_EQ(QueryU32(0x210), 1u);
    // Faults stay until cleared.
    EXPECT_EQ(kcom_exec_oid(block.get()), 7);
    ASSERT_EQ(kccl_sim_set_fault(0x70, KCCL_SIM_FAULT_NONE, 0), 0);
    EXPECT_EQ(Exec(*block), 2u);
}

TEST_F(FaultTest, StatusFaultLeavesStateUnchanged) {
    ASSERT_EQ(kccl_sim_set_fault(0x80, KCCL_SIM_FAULT_STATUS, 5), 0);
    EXPECT_EQ(SetSsid("Lighthouse"), 5u);
    EXPECT_EQ(Query(0x70)->payload[0], 0);
    EXPECT_FALSE(Associated());
    EXPECT_EQ(SetU32(0x220, 2), 2u);
}

TEST_F(FaultTest, ThrowFaultRaisesOutOfTheCall) {
    ASSERT_EQ(kccl_sim_set_fault(0x590, KCCL_SIM_FAULT_THROW, 0), 0);
    auto block = Block(0x590);
    EXPECT_THROW(kcom_exec_oid(block.get()), std::runtime_error);
    EXPECT_EQ(QueryU32(0x891), 0x10u);
    ASSERT_EQ(kccl_sim_clear_faults(), 0);
    EXPECT_EQ(Exec(*block), 2u);
}

TEST_F(FaultTest, FaultsThatCouldNotFailAreRefused) {
    EXPECT_LT(kccl_sim_set_fault(0x70, KCCL_SIM_FAULT_RESULT, 0), 0);
    EXPECT_LT(kccl_sim_set_fault(0x70, KCCL_SIM_FAULT_STATUS, 2), 0);
    EXPECT_LT(kccl_sim_set_fault(0x70, 9, 1), 0);
    EXPECT_EQ(Exec(*Block(0x70)), 2u);
}

TEST_F(FaultTest, LogKeepsLastRequestsOldestFirstWithInputAsReceived) {
    ASSERT_EQ(kccl_sim_clear_log(), 0);
    SetSsid("Lighthouse");
    ASSERT_EQ(kccl_sim_set_fault(0x210, KCCL_SIM_FAULT_RESULT, 9), 0);
    kcom_exec_oid(Block(0x210).get());
    Query(0x70);

    KCCL_SIM_LOG_ENTRY log[64];
    ASSERT_EQ(kccl_sim_get_log(log, 64), 3);
    EXPECT_EQ(log[0].code, 0x80u);
    EXPECT_EQ(log[0].status, 2u);
    EXPECT_EQ(log[0].head[0], 10);
    EXPECT_EQ(log[0].head[1], 'L');
    EXPECT_EQ(log[1].code, 0x210u);
    EXPECT_EQ(log[1].result, 9);
    EXPECT_EQ(log[2].code, 0x70u);
    EXPECT_EQ(log[2].head[0], 0);  // a query's block as it came in, before the answer

    for (int i = 0; i < 69; ++i) QueryU32(0x120);
    SetU32(0x130, 1);
    ASSERT_EQ(kccl_sim_get_log(log, 64), 64);
    EXPECT_EQ(log[63].code, 0x130u);
    EXPECT_EQ(log[0].code, 0x120u);
    ASSERT_EQ(kccl_sim_get_log(log, 2), 2);
    EXPECT_EQ(log[1].code, 0x130u);
}

}  // namespace
}  // namespace wavory::test
