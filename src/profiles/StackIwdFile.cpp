// iwd's network files: NAME.open, NAME.psk and NAME.8021x, the SSID in the name (or '=' and its
// bytes in hexadecimal), read into a profile and written from one. iwd chooses WPA2 or WPA3, and
// plain or Enhanced Open, by what the network offers: the file does not say.
#include <algorithm>

#include "driver/Format.h"
#include "kccl_oid.h"
#include "profiles/EapProfile.h"
#include "profiles/Profile.h"
#include "profiles/StackFiles.h"
#include "profiles/StackKeyFile.h"

namespace wavory {

namespace {

constexpr const char* kSec = "Security";
constexpr const char* kSettings = "Settings";

const char* MethodWord(int method) {
    switch (method) {
        case KCOM_EAP_PEAP:
            return "PEAP";
        case KCOM_EAP_TTLS:
            return "TTLS";
        case KCOM_EAP_TLS:
            return "TLS";
        case KCOM_EAP_PWD:
            return "PWD";
        default:
            return nullptr;
    }
}

int MethodOfWord(const std::string& w) {
    for (int m = KCOM_EAP_PEAP; m <= KCOM_EAP_PWD; ++m)
        if (w == MethodWord(m)) return m;
    return 0;
}

// Phase 2 as iwd names it: EAP methods inside PEAP and TTLS, and TTLS's tunnelled ones.
int Phase2OfWord(const std::string& w) {
    if (w == "MSCHAPV2" || w == "Tunneled-MSCHAPv2") return KCOM_PHASE2_MSCHAPV2;
    if (w == "GTC") return KCOM_PHASE2_GTC;
    if (w == "Tunneled-PAP") return KCOM_PHASE2_PAP;
    if (w == "Tunneled-CHAP") return KCOM_PHASE2_CHAP;
    return -1;
}

std::string Phase2Word(int method, int phase2) {
    switch (phase2) {
        case KCOM_PHASE2_MSCHAPV2:
            return method == KCOM_EAP_TTLS ? "Tunneled-MSCHAPv2" : "MSCHAPV2";
        case KCOM_PHASE2_GTC:
            return "GTC";
        case KCOM_PHASE2_PAP:
            return "Tunneled-PAP";
        case KCOM_PHASE2_CHAP:
            return "Tunneled-CHAP";
        default:
            return method == KCOM_EAP_TTLS ? "Tunneled-MSCHAPv2" : "MSCHAPV2";
    }
}

void TakePath(CKeyFile& kf, const std::string& key, std::string& field, SStackNetwork& net) {
    const std::string* v = kf.Take(kSec, key);
    if (!v) return;
    if (v->empty() || v->front() != '/')
        net.notes.push_back(key + " not kept: only an absolute file path is");
    else
        field = *v;
}

void ReadEap(CKeyFile& kf, CProfile& p, SStackNetwork& net) {
    const std::string* method = kf.Take(kSec, "EAP-Method");
    if (!method || (p.EapMethod = MethodOfWord(*method)) == 0) {
        net.refusal = "its EAP-Method is none the utility runs (PEAP, TTLS, TLS, PWD)";
        return;
    }
    const std::string m = "EAP-" + *method + "-";
    const std::string* outer = kf.Take(kSec, "EAP-Identity");
    if (p.EapMethod == KCOM_EAP_PEAP || p.EapMethod == KCOM_EAP_TTLS) {
        // The outer identity is EAP-Identity; the user's own is the inner one.
        const std::string* inner = kf.Take(kSec, m + "Phase2-Identity");
        if (inner) {
            p.EapIdentity = *inner;
            if (outer) p.EapAnonIdentity = *outer;
        } else if (outer) {
            p.EapIdentity = *outer;
        }
        if (const std::string* pw = kf.Take(kSec, m + "Phase2-Password")) p.EapPassword = *pw;
        if (const std::string* ph = kf.Take(kSec, m + "Phase2-Method")) {
            const int inner2 = Phase2OfWord(*ph);
            if (inner2 >= 0 && kccl::EapPhase2Fits(p.EapMethod, inner2))
                p.EapPhase2 = inner2;
            else
                net.notes.push_back(m + "Phase2-Method=" + *ph +
                                    " not kept: the method takes another inner method or none");
        }
    } else if (p.EapMethod == KCOM_EAP_PWD) {
        const std::string* id = kf.Take(kSec, "EAP-PWD-Identity");
        if (id)
            p.EapIdentity = *id;
        else if (outer)
            p.EapIdentity = *outer;
        if (const std::string* pw = kf.Take(kSec, "EAP-PWD-Password")) p.EapPassword = *pw;
    } else if (outer) {
        p.EapIdentity = *outer;
    }
    TakePath(kf, m + "CACert", p.EapCaCert, net);
    if (p.EapMethod == KCOM_EAP_TLS) {
        TakePath(kf, "EAP-TLS-ClientCert", p.EapClientCert, net);
        TakePath(kf, "EAP-TLS-ClientKey", p.EapPrivateKey, net);
        if (const std::string* v = kf.Take(kSec, "EAP-TLS-ClientKeyPassphrase")) p.EapKeyPassword = *v;
    }
    if (const std::string* mask = kf.Take(kSec, m + "ServerDomainMask")) {
        std::string first = mask->substr(0, mask->find(';'));
        if (first.rfind("*.", 0) == 0) first.erase(0, 2);
        p.EapDomain = first;
        if (first != *mask)
            net.notes.push_back(m + "ServerDomainMask=" + *mask + " kept as the domain " + first);
    }
    if (p.EapCaCert.empty() && p.EapDomain.empty()) {
        p.EapNoCaCheck = true;
        net.notes.push_back("the server is not checked (no CA certificate nor domain mask), as in the file");
    }
}

}  // namespace

SStackNetwork ReadIwdFile(std::string_view text, const std::string& fileName) {
    SStackNetwork net;
    net.where = fileName;
    const std::size_t dot = fileName.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : fileName.substr(dot + 1);
    if (ext != "psk" && ext != "open" && ext != "8021x")
        return net.refusal = "it is no iwd network file (NAME.psk, NAME.open or NAME.8021x)", net;
    auto p = NewStackProfile();
    if (!IwdSsidOfStem(std::string_view(fileName).substr(0, dot), p->NetName))
        return net.refusal =
                   "its name is no SSID as iwd writes it (letters, digits, ' ', '_', '-', or '=' and "
                   "hexadecimal)",
               net;
    p->ProfName = p->NetName;
    CKeyFile kf;
    std::string error, bad;
    if (!kf.Parse(text, error)) return net.refusal = error, net;
    net.autoConnect = kf.TakeBool(kSettings, "AutoConnect", true, bad);
    if (kf.TakeBool(kSettings, "Hidden", false, bad))
        net.notes.push_back("Hidden=true not kept: the utility finds a hidden network without it");
    if (!bad.empty()) net.notes.push_back(bad);
    if (ext == "psk") {
        const std::string* pass = kf.Take(kSec, "Passphrase");
        const std::string* psk = kf.Take(kSec, "PreSharedKey");
        // Derived from the passphrase by iwd itself.
        kf.Take(kSec, "SAE-PT-Group19");
        kf.Take(kSec, "SAE-PT-Group20");
        if (pass) {
            p->WpaMode = KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL;
            p->WpaPassphrase = *pass;
        } else if (psk) {
            // The key alone joins WPA2 only: WPA3 needs the passphrase.
            p->WpaMode = KCOM_SECURITY_MODE_WPA2_PERSONAL;
            p->WpaPassphrase = *psk;
        } else {
            p->WpaMode = KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL;
            net.notes.push_back("no passphrase in the file: it is asked for when the network is joined");
        }
    } else if (ext == "8021x") {
        p->WpaMode = KCOM_SECURITY_MODE_WPA2_ENTERPRISE;
        ReadEap(kf, *p, net);
        if (!net.refusal.empty()) return net;
    }
    for (const std::string& rest : kf.Unused())
        net.notes.push_back(rest + " not kept: a profile has no such setting");
    FinishStackNetwork(net, p);
    return net;
}

SStackFile WriteIwdFile(const CProfile& p) {
    SStackFile file;
    const std::string stem = IwdFileStem(p.NetName);
    if (p.Hotspot) return file.refusal = kHotspotNotWritten, file;
    if (!p.NetMode) return file.refusal = "iwd keeps no ad-hoc networks", file;
    const int mode = p.WpaMode;
    const bool legacyWpa = mode == 0 && (p.SecType == 2 || p.SecType == 3);
    if (mode == 0 && p.SecType == 1) return file.refusal = "iwd does not join WEP networks", file;
    // iwd chooses the hardware address for all networks alike (its main.conf), and its own addressing
    // is off where NetworkManager or another program gives the addresses.
    if (p.MacAddress == KCOM_MAC_STABLE || p.MacAddress == KCOM_MAC_RANDOM)
        file.notes.push_back(
            "the hardware address is not written: iwd chooses it for all networks alike "
            "(AddressRandomization in "
            "its main.conf)");
    if (p.Metered || !p.IPv4Address.empty() || !p.IPv6Address.empty() || !p.DnsServers.empty())
        file.notes.push_back("metered, fixed addresses and DNS servers not written");
    // iwd connects to a network, never to one of its access points, and ranks bands itself.
    if (!p.PinnedBssid.empty())
        file.notes.push_back(
            "the access point pin not written: iwd connects to networks, not to access points");
    if (p.PreferHighBand)
        file.notes.push_back(
            "the 5/6 GHz preference not written: iwd ranks the bands itself ([Rank] in its main.conf)");
    std::string& t = file.text;
    const auto line = [&t](const std::string& key, const std::string& value) {
        if (!value.empty()) t += key + "=" + EscapeKeyValue(value) + "\n";
    };
    if (mode == 0 || mode == KCOM_SECURITY_MODE_OWE) {
        file.name = stem + ".open";
        if (mode == KCOM_SECURITY_MODE_OWE)
            file.notes.push_back(
                "Enhanced Open written as an open network: iwd uses Enhanced Open where the network offers "
                "it");
    } else if (IsEnterpriseProfile(p)) {
        file.name = stem + ".8021x";
        NoteUncheckedServer(p, file.notes);
        if (mode == KCOM_SECURITY_MODE_WPA3_ENTERPRISE)
            file.notes.push_back(
                "WPA3-Enterprise written as 802.1X: iwd chooses WPA2 or WPA3 by what the network offers");
        const char* method = MethodWord(p.EapMethod);
        if (!method) return file.refusal = "its 802.1X method is not set", file;
        const std::string m = std::string("EAP-") + method + "-";
        t += "[Security]\n";
        line("EAP-Method", method);
        if (p.EapMethod == KCOM_EAP_PEAP || p.EapMethod == KCOM_EAP_TTLS) {
            line("EAP-Identity", p.EapAnonIdentity.empty() ? p.EapIdentity : p.EapAnonIdentity);
            line(m + "Phase2-Method", Phase2Word(p.EapMethod, p.EapPhase2));
            line(m + "Phase2-Identity", p.EapIdentity);
            line(m + "Phase2-Password", p.EapPassword);
        } else if (p.EapMethod == KCOM_EAP_PWD) {
            line("EAP-PWD-Identity", p.EapIdentity);
            line("EAP-PWD-Password", p.EapPassword);
        } else {
            line("EAP-Identity", p.EapIdentity);
            line("EAP-TLS-ClientCert", p.EapClientCert);
            line("EAP-TLS-ClientKey", p.EapPrivateKey);
            line("EAP-TLS-ClientKeyPassphrase", p.EapKeyPassword);
        }
        line(m + "CACert", p.EapCaCert);
        line(m + "ServerDomainMask", p.EapDomain);
        if (p.EapSystemCa && p.EapCaCert.empty())
            file.notes.push_back(
                "the system's CA store is not written: iwd checks the server against a CA certificate file "
                "it is given");
    } else {
        file.name = stem + ".psk";
        if (mode == KCOM_SECURITY_MODE_WPA2_PERSONAL || mode == KCOM_SECURITY_MODE_WPA3_PERSONAL || legacyWpa)
            file.notes.push_back(
                "written as a .psk network: iwd chooses WPA2 or WPA3 by what the network offers");
        if (!p.WpaPassphrase.empty()) {
            t += "[Security]\n";
            line(p.WpaPassphrase.size() == 64 ? "PreSharedKey" : "Passphrase", p.WpaPassphrase);
        }
    }
    if (!p.AutoSelect || p.Priority < 0) {
        t += (t.empty() ? "" : "\n") + std::string("[Settings]\nAutoConnect=false\n");
    }
    if (p.ProfName != p.NetName)
        file.notes.push_back("the profile's name is not written: iwd names a network by its SSID");
    return file;
}

}  // namespace wavory
