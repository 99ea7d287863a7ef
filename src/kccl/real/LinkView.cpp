#include "LinkView.h"

#include <linux/nl80211.h>
#include <netlink/attr.h>

#include <algorithm>
#include <cstring>

namespace wavory::kccl {

bool ParseBss(CNl80211::Attrs tb, SBss& bss) {
    if (!tb[NL80211_ATTR_BSS]) return false;
    nlattr* b[NL80211_BSS_MAX + 1] = {};
    if (nla_parse_nested(b, NL80211_BSS_MAX, tb[NL80211_ATTR_BSS], nullptr) != 0) return false;
    if (!b[NL80211_BSS_BSSID] || nla_len(b[NL80211_BSS_BSSID]) < 6) return false;
    bss = SBss{};
    std::memcpy(bss.bssid, nla_data(b[NL80211_BSS_BSSID]), 6);
    nlattr* ies =
        b[NL80211_BSS_INFORMATION_ELEMENTS] ? b[NL80211_BSS_INFORMATION_ELEMENTS] : b[NL80211_BSS_BEACON_IES];
    if (ies) {
        const auto* data = static_cast<const uint8_t*>(nla_data(ies));
        bss.ies.assign(data, data + nla_len(ies));
    }
    bss.ssid = SsidFromIes(bss.ies);
    if (b[NL80211_BSS_FREQUENCY]) bss.freqMhz = nla_get_u32(b[NL80211_BSS_FREQUENCY]);
    // A driver gives the signal in mBm, or in its own units scaled to 0..100.
    if (b[NL80211_BSS_SIGNAL_MBM])
        bss.signalDbm = static_cast<int32_t>(nla_get_u32(b[NL80211_BSS_SIGNAL_MBM])) / 100;
    else if (b[NL80211_BSS_SIGNAL_UNSPEC])
        bss.signalDbm = SignalFromUnspecified(nla_get_u8(b[NL80211_BSS_SIGNAL_UNSPEC]));
    if (b[NL80211_BSS_CAPABILITY]) bss.capability = nla_get_u16(b[NL80211_BSS_CAPABILITY]);
    if (b[NL80211_BSS_STATUS]) {
        const uint32_t status = nla_get_u32(b[NL80211_BSS_STATUS]);
        bss.associated = status == NL80211_BSS_STATUS_ASSOCIATED || status == NL80211_BSS_STATUS_IBSS_JOINED;
    }
    return true;
}

void CLinkView::BeginRequest() {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_LastRequest > kRefreshGap || now - m_RefreshStart > kMaxAge) {
        Invalidate();
        m_RefreshStart = now;
    }
    m_LastRequest = now;
}

bool CLinkView::Interface(SIfaceState& out, int* err) {
    const uint64_t now = Generation();
    if (!m_Iface.Fresh(now)) {
        SIfaceState state;
        bool seen = false;
        m_nIfaceError =
            m_Nl.Request(NL80211_CMD_GET_INTERFACE, m_nIfindex, false, nullptr, [&](CNl80211::Attrs tb) {
                seen = true;
                if (tb[NL80211_ATTR_IFTYPE]) state.iftype = nla_get_u32(tb[NL80211_ATTR_IFTYPE]);
                if (tb[NL80211_ATTR_SSID])
                    state.ssid.assign(static_cast<const char*>(nla_data(tb[NL80211_ATTR_SSID])),
                                      static_cast<size_t>(std::min(nla_len(tb[NL80211_ATTR_SSID]), 32)));
                if (tb[NL80211_ATTR_WIPHY_FREQ]) state.freqMhz = nla_get_u32(tb[NL80211_ATTR_WIPHY_FREQ]);
                if (tb[NL80211_ATTR_CHANNEL_WIDTH])
                    state.widthMhz = ChannelWidthMhz(nla_get_u32(tb[NL80211_ATTR_CHANNEL_WIDTH]));
                if (tb[NL80211_ATTR_WIPHY])
                    state.wiphy = static_cast<int>(nla_get_u32(tb[NL80211_ATTR_WIPHY]));
            });
        if (m_nIfaceError == 0 && !seen) m_nIfaceError = -ENODATA;
        m_Iface = {now, m_nIfaceError == 0, state};
    }
    if (err) *err = m_nIfaceError;
    if (m_Iface.ok) out = m_Iface.value;
    return m_Iface.ok;
}

const std::vector<SBss>* CLinkView::Scan() {
    const uint64_t now = Generation();
    if (!m_Scan.Fresh(now)) {
        std::vector<SBss> list;
        const int err =
            m_Nl.Request(NL80211_CMD_GET_SCAN, m_nIfindex, true, nullptr, [&](CNl80211::Attrs tb) {
                SBss bss;
                if (ParseBss(tb, bss)) list.push_back(std::move(bss));
            });
        m_Scan = {now, err == 0, std::move(list)};
    }
    return m_Scan.ok ? &m_Scan.value : nullptr;
}

bool CLinkView::Associated(SBss& out) {
    const std::vector<SBss>* list = Scan();
    if (!list) return false;
    for (const SBss& bss : *list) {
        if (bss.associated) {
            out = bss;
            return true;
        }
    }
    return false;
}

bool CLinkView::Station(SStationState& out) {
    const uint64_t now = Generation();
    if (!m_Station.Fresh(now)) {
        SStationState state;
        bool seen = false;
        const int err =
            m_Nl.Request(NL80211_CMD_GET_STATION, m_nIfindex, true, nullptr, [&](CNl80211::Attrs tb) {
                if (seen || !tb[NL80211_ATTR_MAC] || nla_len(tb[NL80211_ATTR_MAC]) < 6) return;
                seen = true;
                std::memcpy(state.mac, nla_data(tb[NL80211_ATTR_MAC]), 6);
                if (!tb[NL80211_ATTR_STA_INFO]) return;
                nlattr* s[NL80211_STA_INFO_MAX + 1] = {};
                if (nla_parse_nested(s, NL80211_STA_INFO_MAX, tb[NL80211_ATTR_STA_INFO], nullptr) != 0)
                    return;
                if (s[NL80211_STA_INFO_SIGNAL]) {
                    state.hasSignal = true;
                    state.signalDbm = static_cast<int8_t>(nla_get_u8(s[NL80211_STA_INFO_SIGNAL]));
                }
                state.hasTx = ParseRateInfo(s[NL80211_STA_INFO_TX_BITRATE], state.tx);
                state.hasRx = ParseRateInfo(s[NL80211_STA_INFO_RX_BITRATE], state.rx);
            });
        m_Station = {now, err == 0 && seen, state};
    }
    if (m_Station.ok) out = m_Station.value;
    return m_Station.ok;
}

bool CLinkView::PowerSave(bool& enabled) {
    const uint64_t now = Generation();
    if (!m_PowerSave.Fresh(now)) {
        uint32_t state = NL80211_PS_DISABLED;
        const int err =
            m_Nl.Request(NL80211_CMD_GET_POWER_SAVE, m_nIfindex, false, nullptr, [&](CNl80211::Attrs tb) {
                if (tb[NL80211_ATTR_PS_STATE]) state = nla_get_u32(tb[NL80211_ATTR_PS_STATE]);
            });
        m_PowerSave = {now, err == 0, state == NL80211_PS_ENABLED};
    }
    if (m_PowerSave.ok) enabled = m_PowerSave.value;
    return m_PowerSave.ok;
}

bool CLinkView::Noise(uint32_t freqMhz, int& noiseDbm, bool ask) {
    const uint64_t now = Generation();
    if (!m_Survey.Fresh(now)) {
        if (!ask) return false;
        std::vector<std::pair<uint32_t, int>> noise;
        const int err =
            m_Nl.Request(NL80211_CMD_GET_SURVEY, m_nIfindex, true, nullptr, [&](CNl80211::Attrs tb) {
                if (!tb[NL80211_ATTR_SURVEY_INFO]) return;
                nlattr* s[NL80211_SURVEY_INFO_MAX + 1] = {};
                if (nla_parse_nested(s, NL80211_SURVEY_INFO_MAX, tb[NL80211_ATTR_SURVEY_INFO], nullptr) != 0)
                    return;
                if (!s[NL80211_SURVEY_INFO_NOISE] || !s[NL80211_SURVEY_INFO_FREQUENCY]) return;
                // The channel in use first: it is the one asked about.
                const uint32_t freq =
                    s[NL80211_SURVEY_INFO_IN_USE] ? 0 : nla_get_u32(s[NL80211_SURVEY_INFO_FREQUENCY]);
                noise.emplace_back(freq, static_cast<int8_t>(nla_get_u8(s[NL80211_SURVEY_INFO_NOISE])));
            });
        m_Survey = {now, err == 0, std::move(noise)};
    }
    if (!m_Survey.ok) return false;
    for (const auto& [freq, value] : m_Survey.value) {
        if (freq == 0 || freq == freqMhz) {
            noiseDbm = value;
            return true;
        }
    }
    return false;
}

bool CLinkView::Wiphy(SWiphyInfo& out) {
    const uint64_t now = m_nRadioGeneration.load();
    if (!m_Wiphy.Fresh(now)) {
        SIfaceState iface;
        const int wiphy = Interface(iface) ? iface.wiphy : -1;
        SWiphyInfo info;
        int err = -ENODEV;
        if (wiphy >= 0) {
            // The split form of the dump: a radio with the 6 GHz band no longer fits one message.
            err = m_Nl.Request(
                NL80211_CMD_GET_WIPHY, 0, true,
                [&](nl_msg* msg) {
                    nla_put_u32(msg, NL80211_ATTR_WIPHY, static_cast<uint32_t>(wiphy));
                    nla_put_flag(msg, NL80211_ATTR_SPLIT_WIPHY_DUMP);
                },
                [&](CNl80211::Attrs tb) {
                    if (tb[NL80211_ATTR_WIPHY] &&
                        static_cast<int>(nla_get_u32(tb[NL80211_ATTR_WIPHY])) == wiphy)
                        AddWiphyMessage(tb, info);
                });
        }
        FinishWiphy(info);
        m_Wiphy = {now, err == 0 && !info.channels.empty(), std::move(info)};
    }
    if (m_Wiphy.ok) out = m_Wiphy.value;
    return m_Wiphy.ok;
}

bool CLinkView::RegDomain(std::string& alpha2) {
    const uint64_t now = Generation();
    if (!m_Reg.Fresh(now)) {
        SIfaceState iface;
        const int wiphy = Interface(iface) ? iface.wiphy : -1;
        std::string code;
        // Asked for the radio, the kernel answers with the radio's own domain where it keeps one
        // (a self-managed card), else with the domain in force for everyone.
        const int err = m_Nl.Request(
            NL80211_CMD_GET_REG, 0, false,
            [&](nl_msg* msg) {
                if (wiphy >= 0) nla_put_u32(msg, NL80211_ATTR_WIPHY, static_cast<uint32_t>(wiphy));
            },
            [&](CNl80211::Attrs tb) {
                if (tb[NL80211_ATTR_REG_ALPHA2] && code.empty())
                    code = nla_get_string(tb[NL80211_ATTR_REG_ALPHA2]);
            });
        m_Reg = {now, err == 0 && !code.empty(), code};
    }
    if (m_Reg.ok) alpha2 = m_Reg.value;
    return m_Reg.ok;
}

}  // namespace wavory::kccl
