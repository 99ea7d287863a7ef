// The simulated adapter's hotspot: clients of the scenario join when they speak its security, the
// station's network is left while it runs on a radio that cannot do both and comes back at the
// stop, and what the radio cannot do is refused with the reason.
#include <climits>

#include "SimFixture.h"
#include "kccl_oid.h"

namespace wavory::test {
namespace {

// The station's network, and three clients: one that speaks WPA2 with any passphrase, one that
// speaks WPA3 only, one that knows another passphrase.
constexpr const char* kScenario = R"({
  "networks": [{"ssid": "Lighthouse", "bssid": "00-0F-B5-44-7C-20", "channel": 11, "signal_dbm": -60}],
  "hotspot_clients": [
    {"mac": "02-00-00-00-03-01", "signal_dbm": -45, "join_after_ms": 1500},
    {"mac": "02-00-00-00-03-02", "signal_dbm": -52, "security": "wpa3", "join_after_ms": 0},
    {"mac": "02-00-00-00-03-03", "signal_dbm": -70, "passphrase": "not-the-one-given", "join_after_ms": 0}
  ]})";

struct SStart {
    std::string ssid = "Deck Party";
    uint8_t security = KCOM_HOTSPOT_WPA2;
    uint8_t band = KCOM_HOTSPOT_BAND_BEST;
    uint16_t channel = 0;
    std::string passphrase = "mooring-lines";
};

struct SClient {
    std::string mac;
    int32_t signal;
    uint64_t since;
};

struct SHotspot {
    bool running;
    uint8_t security, ability, bands;
    uint32_t freq;
    std::string ssid, note;
    std::vector<SClient> clients;
};

class HotspotTest : public SimFixture {
protected:
    void SetUp() override {
        SimFixture::SetUp();
        ASSERT_EQ(kccl_sim_reset(kScenario), 0);
        ASSERT_EQ(kccl_sim_set_join_delay(0), 0);
    }

    // The start's status and its sentence.
    static std::pair<uint32_t, std::string> Start(const SStart& s) {
        auto block = Block(OID_HOTSPOT_START);
        uint8_t* p = block->payload;
        p[KCOM_HOTSPOT_SECURITY] = s.security;
        p[KCOM_HOTSPOT_BAND] = s.band;
        p[KCOM_HOTSPOT_CHANNEL] = static_cast<uint8_t>(s.channel);
        p[KCOM_HOTSPOT_CHANNEL + 1] = static_cast<uint8_t>(s.channel >> 8);
        p[KCOM_HOTSPOT_SSID_LEN] = static_cast<uint8_t>(s.ssid.size());
        std::memcpy(p + KCOM_HOTSPOT_SSID, s.ssid.data(), std::min<size_t>(s.ssid.size(), 32));
        p[KCOM_HOTSPOT_PASS_LEN] = static_cast<uint8_t>(s.passphrase.size());
        std::memcpy(p + KCOM_HOTSPOT_PASS, s.passphrase.data(), std::min<size_t>(s.passphrase.size(), 63));
        const uint32_t status = Exec(*block);
        return {status, reinterpret_cast<const char*>(block->payload)};
    }
    static uint32_t Stop() {
        auto block = Block(OID_HOTSPOT_STOP);
        return Exec(*block);
    }
    static SHotspot Hotspot() {
        auto block = Query(OID_HOTSPOT_QUERY);
        const uint8_t* p = block->payload;
        SHotspot h{p[KCOM_HS_RUNNING] != 0,
                   p[KCOM_HS_SECURITY],
                   p[KCOM_HS_ABILITY],
                   p[KCOM_HS_BANDS],
                   U32(p, KCOM_HS_FREQ),
                   std::string(reinterpret_cast<const char*>(p + KCOM_HS_SSID), p[KCOM_HS_SSID_LEN]),
                   reinterpret_cast<const char*>(p + KCOM_HS_NOTE),
                   {}};
        for (uint32_t i = 0; i < U32(p, KCOM_HS_CLIENT_COUNT); ++i) {
            const uint8_t* e = p + KCOM_HS_CLIENTS + KCOM_HS_CLIENT_SIZE * i;
            uint64_t since = 0;
            std::memcpy(&since, e + 16, 8);
            h.clients.push_back({BssidText(e), static_cast<int32_t>(U32(e, 8)), since});
        }
        return h;
    }
    static std::vector<std::string> ClientMacs() {
        std::vector<std::string> out;
        for (const SClient& c : Hotspot().clients) out.push_back(c.mac);
        return out;
    }
};

TEST_F(HotspotTest, ClientsJoinAfterTheirDelayWhenTheySpeakItsSecurity) {
    const SHotspot idle = Hotspot();
    EXPECT_FALSE(idle.running);
    EXPECT_TRUE(idle.ability & KCOM_HS_CAN_AP);
    EXPECT_FALSE(idle.ability & KCOM_HS_CAN_AP_AND_STATION);
    EXPECT_EQ(idle.bands, (1u << KCOM_HOTSPOT_BAND_2G4) | (1u << KCOM_HOTSPOT_BAND_5G));  // no own 6 GHz

    ASSERT_EQ(Start({}).first, 2u);
    SHotspot h = Hotspot();
    EXPECT_TRUE(h.running);
    EXPECT_EQ(h.ssid, "Deck Party");
    EXPECT_EQ(h.security, KCOM_HOTSPOT_WPA2);
    EXPECT_EQ(h.freq, 5180u);        // the best band, its usual first channel
    EXPECT_TRUE(h.clients.empty());  // the WPA2 client has not joined yet; the others never do

    // The simulation's own view names it, and never holds its passphrase.
    const nlohmann::json dump = State();
    EXPECT_EQ(dump["hotspot"]["running"], true);
    EXPECT_EQ(dump["hotspot"]["ssid"], "Deck Party");
    EXPECT_EQ(dump.dump().find("mooring-lines"), std::string::npos);

    ASSERT_EQ(kccl_sim_advance(1600), 0);
    h = Hotspot();
    ASSERT_EQ(h.clients.size(), 1u);
    EXPECT_EQ(h.clients[0].mac, "02-00-00-00-03-01");
    EXPECT_EQ(h.clients[0].signal, -45);
    EXPECT_GT(h.clients[0].since, 0u);

    ASSERT_EQ(Stop(), 2u);
    EXPECT_FALSE(Hotspot().running);
    EXPECT_TRUE(Hotspot().clients.empty());
    EXPECT_EQ(Stop(), 0xC0010011u) << "a second stop finds nothing to stop";
}

TEST_F(HotspotTest, TheTransitionModeTakesClientsOfEitherKind) {
    SStart s;
    s.security = KCOM_HOTSPOT_WPA2_WPA3;
    ASSERT_EQ(Start(s).first, 2u);
    ASSERT_EQ(kccl_sim_advance(1600), 0);
    EXPECT_EQ(ClientMacs(), (std::vector<std::string>{"02-00-00-00-03-01", "02-00-00-00-03-02"}));
}

TEST_F(HotspotTest, AnOpenHotspotTakesNoneOfTheSecuredClients) {
    SStart s;
    s.security = KCOM_HOTSPOT_OPEN;
    s.passphrase.clear();
    ASSERT_EQ(Start(s).first, 2u);
    ASSERT_EQ(kccl_sim_advance(1600), 0);
    EXPECT_TRUE(ClientMacs().empty());
}

TEST_F(HotspotTest, TheStationsNetworkIsLeftWhileItRunsAndBackAfter) {
    JoinInfra("Lighthouse");
    ASSERT_TRUE(Associated());
    const auto [status, text] = Start({});
    ASSERT_EQ(status, 2u);
    EXPECT_NE(text.find("Lighthouse was left"), std::string::npos) << text;
    EXPECT_FALSE(Associated());

    // No join starts beside it.
    EXPECT_EQ(SetSsid("Lighthouse"), 2u);
    EXPECT_EQ(SetU32(0x430, 0), 0xC0010017u);
    EXPECT_EQ(JoinState().state, static_cast<uint32_t>(KCOM_JOIN_FAILED));
    EXPECT_NE(JoinState().detail.find("hotspot"), std::string::npos);
    EXPECT_FALSE(Associated());

    ASSERT_EQ(Stop(), 2u);
    EXPECT_TRUE(Associated());
    EXPECT_EQ(CurrentBssid(), "00-0F-B5-44-7C-20");
}

TEST_F(HotspotTest, ARadioThatDoesBothStaysOnItsNetwork) {
    ASSERT_EQ(kccl_sim_reset(R"({"adapter": {"access_point_with_station": true},
        "networks": [{"ssid": "Lighthouse", "bssid": "00-0F-B5-44-7C-20", "channel": 11, "signal_dbm": -60}]})"),
              0);
    ASSERT_EQ(kccl_sim_set_join_delay(0), 0);
    JoinInfra("Lighthouse");
    EXPECT_TRUE(Hotspot().ability & KCOM_HS_CAN_AP_AND_STATION);
    const auto [status, text] = Start({});
    ASSERT_EQ(status, 2u);
    EXPECT_EQ(text, "");
    EXPECT_TRUE(Associated());
}

TEST_F(HotspotTest, WhatTheRadioOrTheSettingsCannotDoIsRefusedWithTheReason) {
    SStart longName;
    longName.ssid = std::string(33, 'x');
    EXPECT_EQ(Start(longName).first, 0xC0010015u);  // the record cannot even hold it

    SStart shortPass;
    shortPass.passphrase = "short";
    auto [status, text] = Start(shortPass);
    EXPECT_EQ(status, 0xC0010015u);
    EXPECT_NE(text.find("8 to 63"), std::string::npos) << text;

    SStart wrongBand;
    wrongBand.band = KCOM_HOTSPOT_BAND_5G;
    wrongBand.channel = 6;
    std::tie(status, text) = Start(wrongBand);
    EXPECT_EQ(status, 0xC0010015u);
    EXPECT_NE(text.find("5 GHz"), std::string::npos) << text;

    // Radar detection is needed on channel 52: no access point of this utility's goes there.
    SStart radar;
    radar.channel = 52;
    std::tie(status, text) = Start(radar);
    EXPECT_EQ(status, 0xC00000BBu);
    EXPECT_NE(text.find("channel 52"), std::string::npos) << text;

    // 6 GHz takes WPA3, and this radio may start nothing there.
    SStart six;
    six.band = KCOM_HOTSPOT_BAND_6G;
    six.security = KCOM_HOTSPOT_WPA3;
    std::tie(status, text) = Start(six);
    EXPECT_EQ(status, 0xC00000BBu);
    EXPECT_NE(text.find("6 GHz"), std::string::npos) << text;
    EXPECT_FALSE(Hotspot().running);

    ASSERT_EQ(kccl_sim_reset(R"({"adapter": {"access_point": false}})"), 0);
    std::tie(status, text) = Start({});
    EXPECT_EQ(status, 0xC00000BBu);
    EXPECT_NE(text.find("cannot run an access point"), std::string::npos) << text;
    const SHotspot none = Hotspot();
    EXPECT_FALSE(none.ability & KCOM_HS_CAN_AP);
    EXPECT_EQ(none.bands, 0u);
}

TEST_F(HotspotTest, ScenarioClientsAreCheckedWhenRead) {
    EXPECT_NE(kccl_sim_reset(R"({"hotspot_clients": [{"mac": "03-00-00-00-00-01"}]})"), 0)
        << "a group address";
    EXPECT_NE(kccl_sim_reset(R"({"hotspot_clients": [{"mac": "02-00-00-00-00-01", "security": "wep"}]})"), 0);
    EXPECT_NE(kccl_sim_reset(R"({"hotspot_clients": [{"mac": "02-00-00-00-00-01", "passphrase": "short"}]})"),
              0);
}

}  // namespace
}  // namespace wavory::test
