// The nl80211 client over a stand-in for the kernel's socket: dumps the kernel marks as
// interrupted, answers that fail or stop half-way, answers that never come or come late, and
// events mixed in between.
#include <gtest/gtest.h>
#include <linux/genetlink.h>
#include <linux/netlink.h>
#include <linux/nl80211.h>
#include <netlink/attr.h>
#include <netlink/genl/genl.h>
#include <netlink/msg.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "DirectControl.h"
#include "LinkView.h"
#include "Nl80211.h"
#include "NlTransport.h"
#include "RealAdapter.h"
#include "TestMain.h"
#include "kccl_oid.h"
#include "kccl_status.h"

namespace wavory::kccl {
namespace {

constexpr uint16_t kFamily = 28;
constexpr uint32_t kScanGroup = 5;

using Bytes = std::vector<uint8_t>;

Bytes Genl(uint16_t type, uint32_t seq, uint16_t flags, uint8_t cmd,
           const std::function<void(nl_msg*)>& attrs = {}) {
    nl_msg* msg = nlmsg_alloc();
    genlmsg_put(msg, 0, seq, type, 0, flags, cmd, 1);
    if (attrs) attrs(msg);
    const nlmsghdr* h = nlmsg_hdr(msg);
    Bytes bytes(reinterpret_cast<const uint8_t*>(h), reinterpret_cast<const uint8_t*>(h) + h->nlmsg_len);
    nlmsg_free(msg);
    return bytes;
}

Bytes Control(uint16_t type, uint32_t seq, int error, uint16_t flags = 0) {
    Bytes bytes(NLMSG_LENGTH(sizeof(nlmsgerr)));
    auto* h = reinterpret_cast<nlmsghdr*>(bytes.data());
    h->nlmsg_len = static_cast<uint32_t>(bytes.size());
    h->nlmsg_type = type;
    h->nlmsg_flags = flags;
    h->nlmsg_seq = seq;
    std::memcpy(NLMSG_DATA(h), &error, sizeof error);
    return bytes;
}
Bytes Ack(uint32_t seq, int error = 0) { return Control(NLMSG_ERROR, seq, error); }
Bytes Done(uint32_t seq, int error = 0, uint16_t flags = 0) { return Control(NLMSG_DONE, seq, error, flags); }

// A scan result with the BSSID 02:00:00:00:00:<last>.
Bytes Bss(uint32_t seq, uint8_t last, uint16_t flags = NLM_F_MULTI) {
    return Genl(kFamily, seq, flags, NL80211_CMD_NEW_SCAN_RESULTS, [last](nl_msg* msg) {
        const uint8_t bssid[6] = {2, 0, 0, 0, 0, last};
        nlattr* bss = nla_nest_start(msg, NL80211_ATTR_BSS);
        nla_put(msg, NL80211_BSS_BSSID, 6, bssid);
        nla_nest_end(msg, bss);
    });
}

Bytes Datagram(std::initializer_list<Bytes> messages) {
    Bytes all;
    for (const Bytes& m : messages) all.insert(all.end(), m.begin(), m.end());
    return all;
}

// The kernel's side: each request goes to `onRequest`, which queues what the kernel would send.
class CFakeKernel final : public INlTransport {
public:
    std::function<void(const nlmsghdr&, uint8_t cmd)> onRequest;
    std::deque<Bytes> inbox;   // datagrams
    std::deque<int> failures;  // a receive error before the next datagram, where not 0
    std::vector<uint32_t> joined;
    int requests = 0;

    int Send(const void* data, size_t) override {
        const auto* h = static_cast<const nlmsghdr*>(data);
        ++requests;
        if (h->nlmsg_type == GENL_ID_CTRL) {
            // The family and its groups, then the acknowledgement.
            inbox.push_back(
                Datagram({Genl(GENL_ID_CTRL, h->nlmsg_seq, 0, CTRL_CMD_NEWFAMILY,
                               [](nl_msg* msg) {
                                   nla_put_u16(msg, CTRL_ATTR_FAMILY_ID, kFamily);
                                   nlattr* groups = nla_nest_start(msg, CTRL_ATTR_MCAST_GROUPS);
                                   const char* names[] = {"config", "scan", "regulatory", "mlme", "vendor"};
                                   for (uint32_t i = 0; i < 5; ++i) {
                                       nlattr* g = nla_nest_start(msg, static_cast<int>(i + 1));
                                       nla_put_string(msg, CTRL_ATTR_MCAST_GRP_NAME, names[i]);
                                       nla_put_u32(msg, CTRL_ATTR_MCAST_GRP_ID, 4 + i);
                                       nla_nest_end(msg, g);
                                   }
                                   nla_nest_end(msg, groups);
                               }),
                          Ack(h->nlmsg_seq)}));
            return 0;
        }
        const auto* gh = static_cast<const genlmsghdr*>(NLMSG_DATA(h));
        if (onRequest) onRequest(*h, gh->cmd);
        return 0;
    }
    int Receive(std::vector<uint8_t>& buffer, int) override {
        if (!failures.empty()) {
            const int err = failures.front();
            failures.pop_front();
            if (err != 0) return err;
        }
        if (inbox.empty()) return -ETIMEDOUT;  // nothing comes: the wait is over at once
        buffer = inbox.front();
        inbox.pop_front();
        return static_cast<int>(buffer.size());
    }
    int Join(uint32_t group) override {
        joined.push_back(group);
        return 0;
    }
};

class Nl80211Test : public ::testing::Test {
protected:
    Nl80211Test() {
        auto fake = std::make_unique<CFakeKernel>();
        m_pKernel = fake.get();
        m_pNl = std::make_unique<CNl80211>(std::move(fake));
    }
    std::vector<uint8_t> ScanBssids() {
        std::vector<uint8_t> lasts;
        m_nError = m_pNl->Request(NL80211_CMD_GET_SCAN, 3, true, nullptr, [&](CNl80211::Attrs tb) {
            nlattr* b[NL80211_BSS_MAX + 1] = {};
            if (tb[NL80211_ATTR_BSS] &&
                nla_parse_nested(b, NL80211_BSS_MAX, tb[NL80211_ATTR_BSS], nullptr) == 0 &&
                b[NL80211_BSS_BSSID])
                lasts.push_back(static_cast<const uint8_t*>(nla_data(b[NL80211_BSS_BSSID]))[5]);
        });
        return lasts;
    }
    CFakeKernel* m_pKernel;
    std::unique_ptr<CNl80211> m_pNl;
    int m_nError = 0;
};

TEST_F(Nl80211Test, OneQuestionNamesTheFamilyAndItsEventGroups) {
    ASSERT_EQ(m_pNl->Open(), 0);
    EXPECT_EQ(m_pKernel->requests, 1);
    // scan, mlme, config and regulatory; not the vendor group.
    EXPECT_EQ(m_pKernel->joined, (std::vector<uint32_t>{4, 5, 6, 7}));
    uint16_t type = 0;
    m_pKernel->onRequest = [&](const nlmsghdr& h, uint8_t) {
        type = h.nlmsg_type;
        m_pKernel->inbox.push_back(Ack(h.nlmsg_seq));
    };
    EXPECT_EQ(m_pNl->Request(NL80211_CMD_SET_POWER_SAVE, 3, false), 0);
    EXPECT_EQ(type, kFamily);
    EXPECT_EQ(m_pNl->Open(), 0);  // once is enough
    EXPECT_EQ(m_pKernel->requests, 2);
}

TEST_F(Nl80211Test, AnInterruptedDumpIsAskedAgainAndOnlyTheWholeAnswerCounts) {
    ASSERT_EQ(m_pNl->Open(), 0);
    int dumps = 0;
    m_pKernel->onRequest = [&](const nlmsghdr& h, uint8_t) {
        if (++dumps == 1)  // the data changed while the kernel dumped it
            m_pKernel->inbox.push_back(
                Datagram({Bss(h.nlmsg_seq, 1), Bss(h.nlmsg_seq, 2, NLM_F_MULTI | NLM_F_DUMP_INTR),
                          Done(h.nlmsg_seq, 0, NLM_F_DUMP_INTR)}));
        else
            m_pKernel->inbox.push_back(
                Datagram({Bss(h.nlmsg_seq, 7), Bss(h.nlmsg_seq, 8), Bss(h.nlmsg_seq, 9), Done(h.nlmsg_seq)}));
    };
    EXPECT_EQ(ScanBssids(), (std::vector<uint8_t>{7, 8, 9}));
    EXPECT_EQ(m_nError, 0);
    EXPECT_EQ(dumps, 2);

    // A dump that never comes whole fails rather than passing for complete.
    dumps = 0;
    m_pKernel->onRequest = [&](const nlmsghdr& h, uint8_t) {
        ++dumps;
        m_pKernel->inbox.push_back(
            Datagram({Bss(h.nlmsg_seq, 1, NLM_F_MULTI | NLM_F_DUMP_INTR), Done(h.nlmsg_seq)}));
    };
    EXPECT_TRUE(ScanBssids().empty());
    EXPECT_EQ(m_nError, -EAGAIN);
    EXPECT_EQ(dumps, CNl80211::kDumpTries);
}

TEST_F(Nl80211Test, AnAnswerCutShortLeavesNothingForTheNextRequest) {
    ASSERT_EQ(m_pNl->Open(), 0);
    int step = 0;
    uint32_t firstSeq = 0;
    m_pKernel->onRequest = [&](const nlmsghdr& h, uint8_t cmd) {
        if (++step == 1) {
            // One entry, then the socket fails; the rest of the dump is still on its way.
            firstSeq = h.nlmsg_seq;
            m_pKernel->inbox.push_back(Bss(h.nlmsg_seq, 1));
            m_pKernel->failures = {0, -EIO};
        } else {
            ASSERT_EQ(cmd, NL80211_CMD_GET_INTERFACE);
            m_pKernel->inbox.push_back(Datagram({Bss(firstSeq, 2), Bss(firstSeq, 3), Done(firstSeq)}));
            m_pKernel->inbox.push_back(
                Datagram({Genl(kFamily, h.nlmsg_seq, 0, NL80211_CMD_NEW_INTERFACE,
                               [](nl_msg* msg) { nla_put_u32(msg, NL80211_ATTR_IFTYPE, 2); }),
                          Ack(h.nlmsg_seq)}));
        }
    };
    EXPECT_TRUE(ScanBssids().empty()) << "half an answer is no answer";
    EXPECT_EQ(m_nError, -EIO);
    uint32_t iftype = 0;
    int replies = 0;
    EXPECT_EQ(m_pNl->Request(NL80211_CMD_GET_INTERFACE, 3, false, nullptr,
                             [&](CNl80211::Attrs tb) {
                                 ++replies;
                                 if (tb[NL80211_ATTR_IFTYPE]) iftype = nla_get_u32(tb[NL80211_ATTR_IFTYPE]);
                             }),
              0);
    EXPECT_EQ(replies, 1) << "the rest of the old dump was taken for the answer";
    EXPECT_EQ(iftype, 2u);

    // A dump the kernel itself ends with an error gives nothing of what came before the error.
    m_pKernel->onRequest = [&](const nlmsghdr& h, uint8_t) {
        m_pKernel->inbox.push_back(Datagram({Bss(h.nlmsg_seq, 4), Done(h.nlmsg_seq, -EBUSY)}));
    };
    EXPECT_TRUE(ScanBssids().empty());
    EXPECT_EQ(m_nError, -EBUSY);
}

TEST_F(Nl80211Test, NoAnswerIsATimeoutAndALateOneIsNeverTakenForTheNext) {
    ASSERT_EQ(m_pNl->Open(), 0);
    m_pNl->SetTimeout(std::chrono::milliseconds(20));
    uint32_t lateSeq = 0;
    m_pKernel->onRequest = [&](const nlmsghdr& h, uint8_t) { lateSeq = h.nlmsg_seq; };
    EXPECT_EQ(m_pNl->Request(NL80211_CMD_GET_POWER_SAVE, 3, false), -ETIMEDOUT);

    m_pKernel->onRequest = [&](const nlmsghdr& h, uint8_t) {
        // The late answer, a refusal, arrives just before the next request's.
        m_pKernel->inbox.push_back(Ack(lateSeq, -EPERM));
        m_pKernel->inbox.push_back(
            Datagram({Genl(kFamily, h.nlmsg_seq, 0, NL80211_CMD_GET_POWER_SAVE,
                           [](nl_msg* msg) { nla_put_u32(msg, NL80211_ATTR_PS_STATE, 1); }),
                      Ack(h.nlmsg_seq)}));
    };
    uint32_t state = 0;
    EXPECT_EQ(m_pNl->Request(NL80211_CMD_GET_POWER_SAVE, 3, false, nullptr,
                             [&](CNl80211::Attrs tb) { state = nla_get_u32(tb[NL80211_ATTR_PS_STATE]); }),
              0);
    EXPECT_EQ(state, 1u);
}

TEST_F(Nl80211Test, EventsGoToTheListenersAlsoInTheMiddleOfAnAnswer) {
    ASSERT_EQ(m_pNl->Open(), 0);
    std::vector<int> events;
    const int id = m_pNl->AddListener([&](int cmd, CNl80211::Attrs) { events.push_back(cmd); });
    m_pKernel->onRequest = [&](const nlmsghdr& h, uint8_t) {
        m_pKernel->inbox.push_back(
            Datagram({Bss(h.nlmsg_seq, 1), Genl(kFamily, 0, 0, NL80211_CMD_CONNECT), Done(h.nlmsg_seq)}));
    };
    EXPECT_EQ(ScanBssids(), (std::vector<uint8_t>{1}));
    EXPECT_EQ(events, (std::vector<int>{NL80211_CMD_CONNECT}));

    // Between requests; and word that some were lost for want of room.
    m_pKernel->inbox.push_back(Genl(kFamily, 0, 0, NL80211_CMD_NEW_SCAN_RESULTS));
    m_pKernel->failures = {0, -ENOBUFS};
    m_pNl->PumpEvents(std::chrono::milliseconds(0));
    EXPECT_EQ(events, (std::vector<int>{NL80211_CMD_CONNECT, NL80211_CMD_NEW_SCAN_RESULTS, 0}));

    m_pNl->RemoveListener(id);
    m_pKernel->inbox.push_back(Genl(kFamily, 0, 0, NL80211_CMD_DISCONNECT));
    m_pNl->PumpEvents(std::chrono::milliseconds(0));
    EXPECT_EQ(events.size(), 3u);
}

// The requests of one refresh are answered from one reading of the kernel: the scan results are
// dumped once however many requests need the associated network, and anew once something changed.
TEST_F(Nl80211Test, OneRefreshReadsTheScanResultsOnce) {
    ASSERT_EQ(m_pNl->Open(), 0);
    int scanDumps = 0;
    m_pKernel->onRequest = [&](const nlmsghdr& h, uint8_t cmd) {
        if (cmd != NL80211_CMD_GET_SCAN) return m_pKernel->inbox.push_back(Ack(h.nlmsg_seq, -EOPNOTSUPP));
        ++scanDumps;
        m_pKernel->inbox.push_back(
            Datagram({Genl(kFamily, h.nlmsg_seq, NLM_F_MULTI, NL80211_CMD_NEW_SCAN_RESULTS,
                           [](nl_msg* msg) {
                               const uint8_t bssid[6] = {2, 0, 0, 0, 0, 5};
                               nlattr* bss = nla_nest_start(msg, NL80211_ATTR_BSS);
                               nla_put(msg, NL80211_BSS_BSSID, 6, bssid);
                               nla_put_u32(msg, NL80211_BSS_STATUS, NL80211_BSS_STATUS_ASSOCIATED);
                               nla_put_u8(msg, NL80211_BSS_SIGNAL_UNSPEC, 100);
                               nla_nest_end(msg, bss);
                           }),
                      Done(h.nlmsg_seq)}));
    };
    CLinkView view(*m_pNl, 3);
    view.BeginRequest();
    SBss bss;
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(view.Associated(bss));  // SSID, BSSID, PHY, security ...
    EXPECT_EQ(bss.bssid[5], 5);
    EXPECT_EQ(bss.signalDbm, -61) << "a signal in the driver's own units, at its best";
    ASSERT_NE(view.Scan(), nullptr);
    EXPECT_EQ(scanDumps, 1);
    view.Invalidate();  // a link made or lost, a scan ended
    ASSERT_TRUE(view.Associated(bss));
    EXPECT_EQ(scanDumps, 2);
    // No noise figure from the driver: none is made up.
    int noise = 0;
    EXPECT_FALSE(view.Noise(2437, noise));
}

// The radio's channels and capabilities (a large split dump) are read once, not at every refresh,
// and again once the regulatory domain has changed.
TEST_F(Nl80211Test, TheRadioIsReadOnceUntilTheRegulatoryDomainChanges) {
    ASSERT_EQ(m_pNl->Open(), 0);
    int wiphyDumps = 0;
    m_pKernel->onRequest = [&](const nlmsghdr& h, uint8_t cmd) {
        if (cmd == NL80211_CMD_GET_INTERFACE) {
            m_pKernel->inbox.push_back(Datagram({Genl(kFamily, h.nlmsg_seq, 0, NL80211_CMD_NEW_INTERFACE,
                                                      [](nl_msg* msg) {
                                                          nla_put_u32(msg, NL80211_ATTR_WIPHY, 1);
                                                          nla_put_u32(msg, NL80211_ATTR_IFTYPE,
                                                                      NL80211_IFTYPE_STATION);
                                                      }),
                                                 Ack(h.nlmsg_seq)}));
            return;
        }
        if (cmd != NL80211_CMD_GET_WIPHY) return m_pKernel->inbox.push_back(Ack(h.nlmsg_seq, -EOPNOTSUPP));
        ++wiphyDumps;
        const auto radio = [](uint32_t wiphy) {
            return [wiphy](nl_msg* msg) {
                nla_put_u32(msg, NL80211_ATTR_WIPHY, wiphy);
                nlattr* bands = nla_nest_start(msg, NL80211_ATTR_WIPHY_BANDS);
                nlattr* band = nla_nest_start(msg, NL80211_BAND_6GHZ);
                nlattr* freqs = nla_nest_start(msg, NL80211_BAND_ATTR_FREQS);
                nlattr* freq = nla_nest_start(msg, 0);
                nla_put_u32(msg, NL80211_FREQUENCY_ATTR_FREQ, wiphy == 1 ? 5975 : 6115);
                nla_nest_end(msg, freq);
                nla_nest_end(msg, freqs);
                nla_nest_end(msg, band);
                nla_nest_end(msg, bands);
            };
        };
        // Another radio's message in the answer does not count for this one.
        m_pKernel->inbox.push_back(Datagram(
            {Genl(kFamily, h.nlmsg_seq, NLM_F_MULTI, NL80211_CMD_NEW_WIPHY, radio(0)),
             Genl(kFamily, h.nlmsg_seq, NLM_F_MULTI, NL80211_CMD_NEW_WIPHY, radio(1)), Done(h.nlmsg_seq)}));
    };
    CLinkView view(*m_pNl, 3);
    SWiphyInfo radio;
    for (int refresh = 0; refresh < 3; ++refresh) {
        view.Invalidate();  // the next refresh
        ASSERT_TRUE(view.Wiphy(radio));
    }
    EXPECT_EQ(wiphyDumps, 1);
    ASSERT_EQ(radio.channels.size(), 1u);
    EXPECT_TRUE(radio.Has(5975));
    view.InvalidateRadio();
    ASSERT_TRUE(view.Wiphy(radio));
    EXPECT_EQ(wiphyDumps, 2);
}

// A station on a VHT network (5 GHz) with the rates `tx` and `rx` describe, and what it asks.
class CStationKernel {
public:
    CStationKernel(std::function<void(nl_msg*)> tx, std::function<void(nl_msg*)> rx) {
        auto fake = std::make_unique<CFakeKernel>();
        m_pKernel = fake.get();
        m_pNl = std::make_shared<CNl80211>(std::move(fake));
        m_pKernel->onRequest = [this, tx, rx](const nlmsghdr& h, uint8_t cmd) {
            ++asked[cmd];
            const uint32_t seq = h.nlmsg_seq;
            auto& inbox = m_pKernel->inbox;
            switch (cmd) {
                case NL80211_CMD_GET_INTERFACE:
                    inbox.push_back(Datagram({Genl(kFamily, seq, 0, NL80211_CMD_NEW_INTERFACE,
                                                   [](nl_msg* m) {
                                                       nla_put_u32(m, NL80211_ATTR_IFTYPE,
                                                                   NL80211_IFTYPE_STATION);
                                                       nla_put_u32(m, NL80211_ATTR_WIPHY, 0);
                                                       nla_put_u32(m, NL80211_ATTR_WIPHY_FREQ, 5180);
                                                   }),
                                              Ack(seq)}));
                    return;
                case NL80211_CMD_GET_SCAN:
                    inbox.push_back(
                        Datagram({Genl(kFamily, seq, NLM_F_MULTI, NL80211_CMD_NEW_SCAN_RESULTS,
                                       [](nl_msg* m) {
                                           const uint8_t bssid[6] = {2, 0, 0, 0, 5, 0};
                                           // SSID "V", an OFDM rate, HT and VHT capabilities.
                                           std::vector<uint8_t> ies = {0, 1, 'V', 1, 1, 0x6C, 45, 26};
                                           ies.resize(ies.size() + 26);
                                           ies[8 + 3] = 0xFF;  // MCS 0-7
                                           ies.insert(ies.end(), {191, 12});
                                           ies.resize(ies.size() + 12);
                                           nlattr* bss = nla_nest_start(m, NL80211_ATTR_BSS);
                                           nla_put(m, NL80211_BSS_BSSID, 6, bssid);
                                           nla_put_u32(m, NL80211_BSS_FREQUENCY, 5180);
                                           nla_put_u32(m, NL80211_BSS_STATUS, NL80211_BSS_STATUS_ASSOCIATED);
                                           nla_put(m, NL80211_BSS_INFORMATION_ELEMENTS,
                                                   static_cast<int>(ies.size()), ies.data());
                                           nla_nest_end(m, bss);
                                       }),
                                  Done(seq)}));
                    return;
                case NL80211_CMD_GET_STATION:
                    inbox.push_back(
                        Datagram({Genl(kFamily, seq, NLM_F_MULTI, NL80211_CMD_NEW_STATION,
                                       [&](nl_msg* m) {
                                           const uint8_t mac[6] = {2, 0, 0, 0, 5, 0};
                                           nla_put(m, NL80211_ATTR_MAC, 6, mac);
                                           nlattr* info = nla_nest_start(m, NL80211_ATTR_STA_INFO);
                                           nla_put_u8(m, NL80211_STA_INFO_SIGNAL, 0xC4);
                                           nlattr* t = nla_nest_start(m, NL80211_STA_INFO_TX_BITRATE);
                                           tx(m);
                                           nla_nest_end(m, t);
                                           nlattr* r = nla_nest_start(m, NL80211_STA_INFO_RX_BITRATE);
                                           rx(m);
                                           nla_nest_end(m, r);
                                           nla_nest_end(m, info);
                                       }),
                                  Done(seq)}));
                    return;
                case NL80211_CMD_GET_POWER_SAVE:
                    inbox.push_back(Datagram(
                        {Genl(kFamily, seq, 0, NL80211_CMD_GET_POWER_SAVE,
                              [](nl_msg* m) { nla_put_u32(m, NL80211_ATTR_PS_STATE, NL80211_PS_DISABLED); }),
                         Ack(seq)}));
                    return;
                default:
                    // The radio's description and the survey would be answered: asking is the fault.
                    inbox.push_back(Ack(seq, 0));
                    return;
            }
        };
        SInterfaceInfo info;
        info.name = "wlan-test";
        info.ifindex = 3;
        m_pAdapter = std::make_unique<CRealAdapter>(info, m_pNl);
    }

    // The status page's reads that the kernel answers; the answer to the generation question.
    uint32_t ReadStatus() {
        EXPECT_EQ(m_pAdapter->Open(), 0);
        uint32_t phy = 0;
        for (uint32_t code : {OID_SSID_QUERY, OID_NET_MODE_QUERY, OID_CHANNEL_QUERY, OID_PHY_QUERY,
                              OID_SECURITY_QUERY, OID_POWER_SAVE_QUERY, OID_LINK_INFO, OID_BSSID}) {
            KCOM_REQUEST request{};
            request.code = code;
            EXPECT_EQ(m_pAdapter->Exec(request), 0) << std::hex << code;
            EXPECT_EQ(request.status, kStatusSuccess) << std::hex << code;
            if (code == OID_PHY_QUERY) std::memcpy(&phy, request.payload, 4);
        }
        return phy;
    }
    int Requests() const { return m_pKernel->requests; }

    std::map<int, int> asked;

private:
    CFakeKernel* m_pKernel;
    std::shared_ptr<CNl80211> m_pNl;
    std::unique_ptr<CRealAdapter> m_pAdapter;
};

// A status on a real interface: the family, the interface, the scan results, the station and power
// save, once each; the generation comes from the link's own rates, and neither the radio's
// description (a dump of many messages) nor the channel survey is asked for.
TEST(RealAdapterTrafficTest, AStatusAsksFiveQuestionsAndTakesTheGenerationFromTheRates) {
    CStationKernel ht([](nl_msg* m) { nla_put_u8(m, NL80211_RATE_INFO_MCS, 7); },
                      [](nl_msg* m) { nla_put_u16(m, NL80211_RATE_INFO_BITRATE, 60); });
    EXPECT_EQ(ht.ReadStatus(), static_cast<uint32_t>(KCOM_PHY_N)) << "a Wi-Fi 4 radio on a Wi-Fi 5 network";
    EXPECT_EQ(ht.Requests(), 5);
    EXPECT_EQ(ht.asked, (std::map<int, int>{{NL80211_CMD_GET_INTERFACE, 1},
                                            {NL80211_CMD_GET_STATION, 1},
                                            {NL80211_CMD_GET_SCAN, 1},
                                            {NL80211_CMD_GET_POWER_SAVE, 1}}));

    CStationKernel vht([](nl_msg* m) { nla_put_u8(m, NL80211_RATE_INFO_VHT_MCS, 9); },
                       [](nl_msg* m) { nla_put_u8(m, NL80211_RATE_INFO_MCS, 3); });
    EXPECT_EQ(vht.ReadStatus(), static_cast<uint32_t>(KCOM_PHY_AC));
    EXPECT_EQ(vht.asked.count(NL80211_CMD_GET_WIPHY), 0u);

    // Legacy frames alone (just joined): the network's generation, still without the radio's.
    CStationKernel legacy([](nl_msg* m) { nla_put_u16(m, NL80211_RATE_INFO_BITRATE, 60); },
                          [](nl_msg* m) { nla_put_u16(m, NL80211_RATE_INFO_BITRATE, 60); });
    EXPECT_EQ(legacy.ReadStatus(), static_cast<uint32_t>(KCOM_PHY_AC));
    EXPECT_EQ(legacy.Requests(), 5);
}

TEST_F(Nl80211Test, NothingIsAskedBeforeTheFamilyIsKnown) {
    EXPECT_EQ(m_pNl->Request(NL80211_CMD_GET_INTERFACE, 3, false), -ENOTCONN);
    EXPECT_EQ(m_pKernel->requests, 0);
}

}  // namespace
}  // namespace wavory::kccl

namespace wavory::kccl {
namespace {

// The CONNECT a direct join sends: a pin (or chosen access point) as the BSSID to join, the band
// preference's pick as a hint with its frequency to a radio that roams by itself, else as the BSSID
// (the kernel's own connection handling ignores a hint).
TEST(DirectConnectTest, APinIsTheBssidToJoinAndThePreferredAccessPointAHint) {
    const auto attrsOf = [](const SJoinSettings& s) {
        nl_msg* msg = nlmsg_alloc();
        genlmsg_put(msg, 0, 1, kFamily, 0, 0, NL80211_CMD_CONNECT, 1);
        PutAccessPointChoice(msg, s);
        std::map<int, Bytes> out;
        nlattr* tb[NL80211_ATTR_MAX + 1] = {};
        EXPECT_EQ(genlmsg_parse(nlmsg_hdr(msg), 0, tb, NL80211_ATTR_MAX, nullptr), 0);
        for (int i = 0; i <= NL80211_ATTR_MAX; ++i)
            if (tb[i]) {
                const auto* data = static_cast<const uint8_t*>(nla_data(tb[i]));
                out[i] = Bytes(data, data + nla_len(tb[i]));
            }
        nlmsg_free(msg);
        return out;
    };
    const auto u32 = [](const Bytes& b) {
        uint32_t v = 0;
        std::memcpy(&v, b.data(), std::min<std::size_t>(b.size(), 4));
        return v;
    };
    SJoinSettings s;
    s.ssid = "WavoryTwin";
    EXPECT_TRUE(attrsOf(s).empty());

    s.hintBssid = {0x02, 0x00, 0x00, 0x00, 0x25, 0x02};
    s.hintFreqMhz = 5180;
    auto attrs = attrsOf(s);
    EXPECT_EQ(attrs[NL80211_ATTR_MAC], Bytes(s.hintBssid.begin(), s.hintBssid.end()));
    EXPECT_EQ(u32(attrs[NL80211_ATTR_WIPHY_FREQ]), 5180u);
    EXPECT_EQ(attrs.count(NL80211_ATTR_MAC_HINT), 0u);

    s.radioRoams = true;
    attrs = attrsOf(s);
    EXPECT_EQ(attrs[NL80211_ATTR_MAC_HINT], Bytes(s.hintBssid.begin(), s.hintBssid.end()));
    EXPECT_EQ(u32(attrs[NL80211_ATTR_WIPHY_FREQ_HINT]), 5180u);
    EXPECT_EQ(attrs.count(NL80211_ATTR_MAC), 0u);
    EXPECT_EQ(attrs.count(NL80211_ATTR_WIPHY_FREQ), 0u);

    s.bssid = {0x02, 0x00, 0x00, 0x00, 0x24, 0x01};
    s.bssidFreqMhz = 2412;
    attrs = attrsOf(s);
    EXPECT_EQ(attrs[NL80211_ATTR_MAC], Bytes(s.bssid.begin(), s.bssid.end()));
    EXPECT_EQ(u32(attrs[NL80211_ATTR_WIPHY_FREQ]), 2412u);
    EXPECT_EQ(attrs.count(NL80211_ATTR_MAC_HINT), 0u);
}

}  // namespace
}  // namespace wavory::kccl
