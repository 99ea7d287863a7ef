// Which access point of a network an attempt takes: the band preference with its signal floor, the
// pin, and the record fields that carry them between the utility and the adapters.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kccl_oid.h"
#include "radio/ApChoice.h"
#include "radio/NetSettings.h"

namespace wavory::kccl {
namespace {

SApSeen Ap(uint8_t last, int mhz, int dbm) {
    SApSeen ap;
    ap.bssid = {0x02, 0x00, 0x00, 0x00, 0x01, last};
    ap.freqMhz = mhz;
    ap.signalDbm = dbm;
    return ap;
}

SNetRecord Prefer(int floor) {
    SNetRecord r;
    r.preferHighBand = true;
    r.bandFloorDbm = floor;
    return r;
}

TEST(ApChoiceTest, ThePreferenceTakesTheBestHighBandAccessPointAtOrAboveTheFloor) {
    // 2.4 GHz strongest, two 5 GHz ones and a 6 GHz one: the strongest of those at or above the floor.
    const std::vector<SApSeen> seen = {Ap(1, 2412, -40), Ap(2, 5180, -72), Ap(3, 5745, -65),
                                       Ap(4, 5955, -68)};
    SApChoice c = ChooseAccessPoint(seen, Prefer(-70));
    EXPECT_EQ(c.kind, EApChoice::Preferred);
    EXPECT_EQ(c.index, 2);
    EXPECT_EQ(BandChoiceNote(seen, c, Prefer(-70)), "");

    // Exactly at the floor counts; one dBm below does not.
    c = ChooseAccessPoint({Ap(1, 2437, -30), Ap(2, 5200, -70)}, Prefer(-70));
    EXPECT_EQ(c.index, 1);
    const std::vector<SApSeen> justBelow = {Ap(1, 2437, -30), Ap(2, 5200, -71)};
    c = ChooseAccessPoint(justBelow, Prefer(-70));
    EXPECT_EQ(c.kind, EApChoice::Preferred);
    EXPECT_EQ(c.index, 0);
    EXPECT_NE(BandChoiceNote(justBelow, c, Prefer(-70)).find("-70 dBm"), std::string::npos);

    // Below the floor everywhere, the strongest of any band, a weak 5 GHz one included.
    c = ChooseAccessPoint({Ap(1, 2412, -85), Ap(2, 5180, -80)}, Prefer(-70));
    EXPECT_EQ(c.index, 1);
}

TEST(ApChoiceTest, WithoutAHighBandAccessPointOrAPreferenceTheStrongestOrNothingIsTaken) {
    const std::vector<SApSeen> low = {Ap(1, 2412, -60), Ap(2, 2462, -50)};
    const SApChoice c = ChooseAccessPoint(low, Prefer(-90));
    EXPECT_EQ(c.index, 1);
    EXPECT_NE(BandChoiceNote(low, c, Prefer(-90)).find("no 5 or 6 GHz access point in range"),
              std::string::npos);
    // Nothing asked: the way of control chooses; nothing heard: nothing to prefer.
    EXPECT_EQ(ChooseAccessPoint(low, SNetRecord{}).kind, EApChoice::Any);
    EXPECT_EQ(ChooseAccessPoint({}, Prefer(-70)).kind, EApChoice::Any);
}

TEST(ApChoiceTest, APinTakesThatAccessPointOnAnyBandAndNeverAnother) {
    SNetRecord r = Prefer(-70);
    r.pin = Ap(1, 0, 0).bssid;
    // Pinned to the 2.4 GHz one while a strong 5 GHz one is heard: the pin wins.
    SApChoice c = ChooseAccessPoint({Ap(2, 5180, -40), Ap(1, 2412, -80)}, r);
    EXPECT_EQ(c.kind, EApChoice::Pinned);
    EXPECT_EQ(c.index, 1);

    // Not heard: no other access point of the network, and a sentence naming the pin.
    c = ChooseAccessPoint({Ap(2, 5180, -40), Ap(3, 2412, -50)}, r);
    EXPECT_EQ(c.kind, EApChoice::PinUnheard);
    EXPECT_EQ(c.index, -1);
    EXPECT_NE(c.detail.find("02:00:00:00:01:01"), std::string::npos);
    EXPECT_NE(c.detail.find("not joined"), std::string::npos);
}

TEST(ApChoiceTest, TheRecordCarriesTheChoiceAndRefusesAGroupPinOrAFloorOutOfRange) {
    SNetRecord r = Prefer(-82);
    r.pin = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    r.dns = "192.0.2.53";
    uint8_t payload[256] = {};
    const std::size_t used = EncodeNetRecord(r, payload, sizeof payload);
    ASSERT_GT(used, 0u);
    SNetRecord back;
    ASSERT_TRUE(DecodeNetRecord(payload, used, back));
    EXPECT_EQ(back, r);
    EXPECT_EQ(CheckNetRecord(r), "");

    SNetRecord group = r;
    group.pin[0] = 0x01;
    EXPECT_NE(CheckNetRecord(group).find("group address"), std::string::npos);
    for (const int floor : {KCOM_BAND_FLOOR_MIN - 1, KCOM_BAND_FLOOR_MAX + 1}) {
        SNetRecord out = r;
        out.bandFloorDbm = floor;
        EXPECT_NE(CheckNetRecord(out).find("signal floor"), std::string::npos) << floor;
    }
}

TEST(ApChoiceTest, PinTextIsSixHexPairsOfAUnicastAddress) {
    EXPECT_EQ(CheckPinText("02:1A:11:00:00:01"), "");
    EXPECT_EQ(CheckPinText("02-1a-11-00-00-01"), "");
    EXPECT_EQ(MacText(*ParseMac("02-1A-11-00-00-01")), "02:1a:11:00:00:01");
    for (const char* bad : {"02:1a:11:00:00", "02:1a:11:00:00:01:02", "02:1a-11:00:00:01",
                            "02:1g:11:00:00:01", "021a11000001", ""})
        EXPECT_NE(CheckPinText(bad).find("is not a BSSID"), std::string::npos) << bad;
    EXPECT_NE(CheckPinText("00:00:00:00:00:00").find("all-zero"), std::string::npos);
    EXPECT_NE(CheckPinText("01:00:5e:00:00:01").find("group"), std::string::npos);
    EXPECT_NE(CheckPinText("ff:ff:ff:ff:ff:ff").find("group"), std::string::npos);
}

}  // namespace
}  // namespace wavory::kccl
