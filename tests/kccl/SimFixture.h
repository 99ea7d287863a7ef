// Test fixture for the driver-access library: a fresh built-in adapter and an open link for every
// test, and small helpers that build request blocks the way the utility's converters do.
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kccl.h"
#include "kccl_sim.h"

namespace wavory::test {

inline uint32_t U32(const uint8_t* p, size_t off) {
    uint32_t v = 0;
    std::memcpy(&v, p + off, 4);
    return v;
}

inline void PutU32(uint8_t* p, size_t off, uint32_t v) { std::memcpy(p + off, &v, 4); }

inline std::vector<uint8_t> Hex(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

inline std::string BssidText(const uint8_t* b) {
    char text[18];
    std::snprintf(text, sizeof text, "%.2X-%.2X-%.2X-%.2X-%.2X-%.2X", b[0], b[1], b[2], b[3], b[4], b[5]);
    return text;
}

class SimFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(kccl_sim_reset(nullptr), 0);
        // Joins end at once unless a test gives them time.
        ASSERT_EQ(kccl_sim_set_join_delay(0), 0);
        ASSERT_EQ(kcom_connect("SEARCH"), 0);
    }
    void TearDown() override { kcom_disconnect(); }

    // A zeroed block with the code written, as a freshly made driver variable has.
    static std::unique_ptr<KCOM_REQUEST> Block(uint32_t code) {
        auto block = std::make_unique<KCOM_REQUEST>();
        std::memset(block.get(), 0, sizeof(KCOM_REQUEST));
        block->code = code;
        return block;
    }

    // Runs a block that must be processed (result 0) and returns its status.
    static uint32_t Exec(KCOM_REQUEST& block) {
        const int rc = kcom_exec_oid(&block);
        EXPECT_EQ(rc, 0) << "request 0x" << std::hex << block.code;
        return block.status;
    }

    static std::unique_ptr<KCOM_REQUEST> Query(uint32_t code) {
        auto block = Block(code);
        EXPECT_EQ(Exec(*block), 2u) << "query 0x" << std::hex << code;
        return block;
    }

    static uint32_t QueryU32(uint32_t code) { return U32(Query(code)->payload, 0); }

    static uint32_t SetU32(uint32_t code, uint32_t value) {
        auto block = Block(code);
        PutU32(block->payload, 0, value);
        return Exec(*block);
    }

    static uint32_t SetSsid(const std::string& ssid) {
        auto block = Block(0x80);
        block->payload[0] = static_cast<uint8_t>(ssid.size());
        std::memcpy(block->payload + 1, ssid.data(), ssid.size());
        return Exec(*block);
    }

    static uint32_t SetChannel(uint8_t channel, uint32_t flag = 0) {
        auto block = Block(0x360);
        PutU32(block->payload, 0, 12);
        block->payload[8] = channel;
        PutU32(block->payload, 12, flag);
        return Exec(*block);
    }

    // The 44-byte key record of a write: index, length, key type, key bytes.
    static uint32_t SetKey(uint8_t index, const std::string& hex) {
        const std::vector<uint8_t> key = Hex(hex);
        auto block = Block(0x400);
        block->payload[0] = index;
        block->payload[1] = static_cast<uint8_t>(key.size());
        PutU32(block->payload, 4, key.size() == 5 ? 1 : 2);
        std::memcpy(block->payload + 8, key.data(), key.size());
        return Exec(*block);
    }

    static bool Associated() { return Query(0x590)->payload[0] != 0; }

    // The last join attempt as OID_JOIN_STATE answers it.
    struct SJoin {
        uint32_t state, cause, attempt, flags;
        std::string ssid, detail;
    };
    static SJoin JoinState() {
        auto block = Query(0x5C0);
        const uint8_t* p = block->payload;
        return {U32(p, 0),
                U32(p, 4),
                U32(p, 8),
                U32(p, 12),
                std::string(reinterpret_cast<const char*>(p + 17), p[16]),
                std::string(reinterpret_cast<const char*>(p + 52))};
    }

    static uint32_t SetPassphrase(const std::string& passphrase) {
        auto block = Block(0x450);
        block->payload[0] = static_cast<uint8_t>(passphrase.size());
        std::memcpy(block->payload + 1, passphrase.data(), passphrase.size());
        return Exec(*block);
    }
    static std::string CurrentBssid() { return BssidText(Query(0x50)->payload); }
    static int Channel() { return Query(0x350)->payload[8]; }

    static nlohmann::json State() {
        std::vector<char> buffer(64 * 1024);
        const int length = kccl_sim_state_json(buffer.data(), buffer.size());
        EXPECT_GT(length, 0);
        return nlohmann::json::parse(buffer.data());
    }

    // Joins an infrastructure network the way a profile apply does.
    static void JoinInfra(const std::string& ssid, uint32_t security = 0, const std::string& key = "") {
        EXPECT_EQ(SetU32(0x220, 1), 2u);
        EXPECT_EQ(SetU32(0x470, 2), 2u);
        EXPECT_EQ(SetSsid(ssid), 2u);
        EXPECT_EQ(SetU32(0x430, security), 2u);
        if (!key.empty()) {
            EXPECT_EQ(SetKey(0, key), 2u);
        }
    }
};

}  // namespace wavory::test
