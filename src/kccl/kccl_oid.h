/* Request codes of the driver-access library: a query code reads a value, a set code changes it;
 * where a value has one code for both, it is listed once. Payload layouts go with each code. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
enum KCOM_OID : uint32_t {
#else
enum KCOM_OID {
#endif
    OID_DEVICE_INFO = 0x10,
    OID_MAC_QUERY = 0x30,
    OID_MAC_SET = 0x40,
    OID_BSSID = 0x50,
    /* The access point the next join goes to (set only; layout KCOM_JOIN_BSSID_LAYOUT): one of the
     * network's access points chosen rather than whichever the adapter prefers. All zero = any of
     * them, as without this request. An SSID set clears it, so it is set after the SSID; an ad-hoc
     * join ignores it. A group address is refused. */
    OID_JOIN_BSSID_SET = 0x60,
    OID_SSID_QUERY = 0x70,
    OID_SSID_SET = 0x80,
    OID_PHY_QUERY = 0x90,
    OID_PHY_SET = 0x100,
    OID_POWER_SAVE_QUERY = 0x120,
    OID_POWER_SAVE_SET = 0x130,
    OID_SNR = 0x161,
    OID_SCAN_LIST = 0x190,
    /* The entries beyond the scan result list's twenty per half, twenty per half a page: the caller
     * writes the page number (1 = the 21st to 40th entry of each half) as u16 at +2; the answer has
     * the layout of OID_SCAN_LIST. A page whose two counts are below twenty is the last. */
    OID_SCAN_LIST_MORE = 0x191,
    OID_START_SCAN = 0x200,
    OID_NET_MODE_QUERY = 0x210,
    OID_NET_MODE_SET = 0x220,
    OID_CHANNEL_QUERY = 0x350,
    OID_CHANNEL_SET = 0x360,
    OID_STATISTICS = 0x370,
    OID_RESET_STATISTICS = 0x380,
    OID_WEP_KEY = 0x400,
    OID_SECURITY_QUERY = 0x420,
    OID_SECURITY_SET = 0x430,
    /* WPA passphrase: +0 u8 length (8..63 characters, or 64 hexadecimal digits); +1 the characters.
     * A query answers the length only, never the passphrase. */
    OID_PASSPHRASE_QUERY = 0x440,
    OID_PASSPHRASE_SET = 0x450,
    OID_CONN_SETTING_QUERY = 0x460,
    OID_CONN_SETTING_SET = 0x470,
    OID_HW_STATUS = 0x530,
    OID_CONNECT_STATUS = 0x590,
    /* Leaves the network or ad-hoc cell the adapter is on (no payload). The adapter then has no
     * network to join until the next SSID set. */
    OID_DISCONNECT = 0x5A0,
    /* The connection's radio details (query only; layout KCOM_LINK_INFO_LAYOUT). Frequency 0 = no link. */
    OID_LINK_INFO = 0x5B0,
    /* The last join attempt (query only; layout KCOM_JOIN_LAYOUT). The set that completes a
     * connection's settings (the security mode when it needs no key, else the WEP key or the
     * passphrase) starts an attempt and answers at once: status 2 when it started, and this request
     * says "joining" until the attempt has ended; another status when it could not start, and this
     * request says "failed" with the cause. A failed attempt returns the adapter to the network it
     * was on before, where it was on one. */
    OID_JOIN_STATE = 0x5C0,
    /* The last connection that ended (query only; layout KCOM_DISCONNECT_LAYOUT): who ended it, the
     * 802.11 reason code, the network and the access point, and when. Count 0 = none yet. A join
     * that moves the adapter from one network to another ends no connection here. */
    OID_LAST_DISCONNECT = 0x5C1,
    /* The last move to another access point of the same network (query only; layout
     * KCOM_ROAM_LAYOUT): why, from where and to where, and when. Count 0 = none yet. Not supported
     * where the adapter cannot tell why it moved. */
    OID_LAST_ROAM = 0x5C2,
    /* The channels the adapter supports in its current regulatory domain (query only; layout
     * KCOM_CHANNEL_LIST_LAYOUT), in order of frequency. */
    OID_CHANNEL_LIST = 0x5D0,
    /* 802.1X settings of an enterprise network (layout KCOM_EAP_LAYOUT), set before the security
     * mode: the set of KCOM_SECURITY_MODE_WPA2_ENTERPRISE or _WPA3_ENTERPRISE then starts the
     * attempt with them. Without them (never set, or set with method KCOM_EAP_NONE) an enterprise
     * attempt fails with KCOM_CAUSE_NEEDS_8021X; without a CA certificate (file or system store) and
     * without a server name it fails with KCOM_CAUSE_CERT_UNTRUSTED unless KCOM_EAP_FLAG_NO_CA_CHECK
     * says so. A query answers the same record with both passwords left empty (their flags tell
     * whether one was given): a secret is never read back. A set whose strings overrun the payload
     * or exceed KCOM_EAP_FIELD_MAX is refused. */
    OID_EAP_SETTINGS_QUERY = 0x5E0,
    OID_EAP_SETTINGS_SET = 0x5F0,
    /* The network's own settings of the next join (layout KCOM_NET_LAYOUT): the hardware address it
     * joins with, whether it is metered, fixed addresses and name servers, and which of the
     * network's access points it takes (a band preference, a pinned BSSID). An SSID set clears
     * them, so they are set after the SSID; never set = the adapter's own address, automatic
     * addresses and any access point. A set whose mode is unknown, whose strings overrun the
     * payload, whose addresses are not addresses, whose pin is a group or all-zero address or whose
     * band floor is out of range is refused. A query answers the record of the next join. */
    OID_NET_SETTINGS_QUERY = 0x600,
    OID_NET_SETTINGS_SET = 0x610,
    /* The hardware address in use and the adapter's own (query only; layout KCOM_ADDRESS_LAYOUT). */
    OID_ADDRESS_INFO = 0x620,
    /* Starts an access point of the adapter's own (set only; layout KCOM_HOTSPOT_LAYOUT in): the
     * request waits until it runs or has failed. The answer's payload holds a sentence from +0
     * (UTF-8, zero-terminated, at most KCOM_HOTSPOT_TEXT_SIZE bytes): why it could not start, or
     * what the user should know of the one that runs (clients get no addresses from this system).
     * Where the radio cannot run an access point and a station at once, the network the adapter is
     * on is left while the hotspot runs. A record whose name, passphrase, band or channel is not
     * usable is refused (kStatusInvalidData); one the radio or the way of control cannot run is
     * refused with the reason. */
    OID_HOTSPOT_START = 0x700,
    /* Stops the adapter's access point and goes back to the network it was on before the start
     * (no payload in; the answer's sentence as for the start). Nothing of the hotspot is left
     * behind in whoever runs the interface. */
    OID_HOTSPOT_STOP = 0x710,
    /* The hotspot and what the radio can do for one (query only; layout KCOM_HOTSPOT_STATE_LAYOUT). */
    OID_HOTSPOT_QUERY = 0x720,
    OID_REG_DOMAIN = 0x891
};

/* Payload of OID_JOIN_BSSID_SET. */
enum KCOM_JOIN_BSSID_LAYOUT {
    KCOM_JOIN_BSSID = 0,     /* 6 bytes */
    KCOM_JOIN_BSSID_FREQ = 8 /* u32 MHz of the access point's channel; 0 = not told */
};

/* PHY types (OID_PHY_QUERY/SET, scan entry KCOM_ENTRY_PHY): the generation of the link or network. */
enum KCOM_PHY_TYPE {
    KCOM_PHY_A = 0,
    KCOM_PHY_B = 1,
    KCOM_PHY_G = 2,
    KCOM_PHY_N = 3,  /* Wi-Fi 4 */
    KCOM_PHY_AC = 4, /* Wi-Fi 5 */
    KCOM_PHY_AX = 5, /* Wi-Fi 6; Wi-Fi 6E on 6 GHz */
    KCOM_PHY_BE = 6  /* Wi-Fi 7 */
};

/* Channel record (OID_CHANNEL_QUERY/SET) beyond the channel byte at +8 and the flag at +12. A query
 * fills both; a set with a record size (+0) of at least 20 takes the frequency from +16, a smaller
 * record takes the channel as a 2.4/5 GHz channel number. */
enum KCOM_CHANNEL_LAYOUT {
    KCOM_CHANNEL_RECORD_SIZE = 0, /* u32 */
    KCOM_CHANNEL_NUMBER = 8,      /* u8 */
    KCOM_CHANNEL_FLAG = 12,       /* u32 */
    KCOM_CHANNEL_FREQ = 16,       /* u32 MHz; 0 = not told */
    KCOM_CHANNEL_WIDTH = 20,      /* u32 MHz; 0 = not told */
    KCOM_CHANNEL_RECORD_FREQ = 24 /* record size of a set that carries the frequency */
};

/* Payload of OID_CHANNEL_LIST: a count, then that many entries of a frequency and its flags. */
enum KCOM_CHANNEL_LIST_LAYOUT {
    KCOM_CHLIST_COUNT = 0,      /* u32 */
    KCOM_CHLIST_ENTRIES = 4,    /* entries of KCOM_CHLIST_ENTRY_SIZE bytes */
    KCOM_CHLIST_ENTRY_SIZE = 8, /* +0 u32 frequency in MHz, +4 u32 KCOM_CHLIST_FLAG bits */
    KCOM_CHLIST_MAX = 512       /* more entries than this are never answered */
};
enum KCOM_CHLIST_FLAG {
    KCOM_CHLIST_DISABLED = 1, /* not allowed in this domain */
    KCOM_CHLIST_NO_IR = 2,    /* no own ad-hoc cell or beaconing: joining a network heard there only */
    KCOM_CHLIST_RADAR = 4     /* radar detection required */
};

/* How a rate was sent (KCOM_LINK_*_KIND). */
enum KCOM_RATE_KIND {
    KCOM_RATE_LEGACY = 0,
    KCOM_RATE_HT = 1,
    KCOM_RATE_VHT = 2,
    KCOM_RATE_HE = 3,
    KCOM_RATE_EHT = 4
};

/* Payload of OID_LINK_INFO. Rates are in units of 100 kbit/s, 0 = not known. A rate's description
 * is four bytes: kind (KCOM_RATE_KIND), MCS index (0xFF = none), spatial streams (0 = not told) and
 * guard interval (0 = 0.8 us, 1 = 0.4 us, 2 = 1.6 us, 3 = 3.2 us). */
enum KCOM_LINK_INFO_LAYOUT {
    KCOM_LINK_FREQ = 0,       /* u32 MHz */
    KCOM_LINK_WIDTH = 4,      /* u32 MHz */
    KCOM_LINK_PHY = 8,        /* u32 KCOM_PHY_TYPE */
    KCOM_LINK_TX_RATE = 12,   /* u32 */
    KCOM_LINK_RX_RATE = 16,   /* u32 */
    KCOM_LINK_MAX_RATE = 20,  /* u32, the fastest rate the connection allows */
    KCOM_LINK_TX_KIND = 24,   /* 4 bytes: kind, MCS, streams, guard interval */
    KCOM_LINK_RX_KIND = 28,   /* 4 bytes, as for sending */
    KCOM_LINK_SECURITY = 32,  /* u32 KCOM_SECURITY_KIND of the connection */
    KCOM_LINK_SIGNAL = 36,    /* i32 dBm; INT32_MIN = not known */
    KCOM_LINK_NOISE = 40,     /* i32 dBm; INT32_MIN = not known (a real interface tells it only
                                 where its refresh has read it already, for OID_SNR) */
    KCOM_LINK_EAP_METHOD = 44 /* u8 KCOM_EAP_METHOD, 0 without 802.1X */
};

/* 802.1X methods (KCOM_LINK_EAP_METHOD). */
enum KCOM_EAP_METHOD {
    KCOM_EAP_NONE = 0,
    KCOM_EAP_PEAP = 1,
    KCOM_EAP_TTLS = 2,
    KCOM_EAP_TLS = 3,
    KCOM_EAP_PWD = 4
};

/* Inner (phase 2) methods of PEAP and TTLS. PEAP takes MSCHAPv2 and GTC; TTLS also PAP and CHAP. */
enum KCOM_EAP_PHASE2 {
    KCOM_PHASE2_NONE = 0, /* TLS and PWD; PEAP and TTLS then use MSCHAPv2 */
    KCOM_PHASE2_MSCHAPV2 = 1,
    KCOM_PHASE2_PAP = 2,
    KCOM_PHASE2_GTC = 3,
    KCOM_PHASE2_CHAP = 4
};

/* Payload of OID_EAP_SETTINGS_QUERY/SET: three bytes and a flags byte, then the strings in the
 * order of KCOM_EAP_STRING, each a u16 length (little-endian) and that many bytes (UTF-8, not
 * terminated). Paths name files the adapter's side reads; their contents never travel here. */
enum KCOM_EAP_LAYOUT {
    KCOM_EAP_METHOD_FIELD = 0, /* u8 KCOM_EAP_METHOD */
    KCOM_EAP_PHASE2_FIELD = 1, /* u8 KCOM_EAP_PHASE2 */
    KCOM_EAP_FLAGS = 2,        /* u16 KCOM_EAP_FLAG bits */
    KCOM_EAP_STRINGS = 4,
    KCOM_EAP_FIELD_MAX = 1024 /* most bytes of one string */
};
enum KCOM_EAP_STRING {
    KCOM_EAP_IDENTITY = 0,
    KCOM_EAP_ANONYMOUS_IDENTITY = 1, /* outer identity of PEAP and TTLS; empty = the identity */
    KCOM_EAP_CA_CERT = 2,            /* path of the CA certificate (PEM or DER) */
    KCOM_EAP_DOMAIN = 3,             /* the server name to match: the certificate's name ends in it */
    KCOM_EAP_CLIENT_CERT = 4,        /* path, TLS */
    KCOM_EAP_PRIVATE_KEY = 5,        /* path, TLS */
    KCOM_EAP_KEY_PASSWORD = 6,       /* secret: the private key's password */
    KCOM_EAP_PASSWORD = 7,           /* secret */
    KCOM_EAP_STRING_COUNT = 8
};
enum KCOM_EAP_FLAG {
    KCOM_EAP_FLAG_SYSTEM_CA = 1,        /* check the server against the system's CA store */
    KCOM_EAP_FLAG_NO_CA_CHECK = 2,      /* the user chose to join without a CA certificate or server
                                           name; a CA or name that is given is still checked */
    KCOM_EAP_FLAG_HAS_PASSWORD = 0x100, /* query only: a password was given */
    KCOM_EAP_FLAG_HAS_KEY_PASSWORD = 0x200
};

/* Payload of OID_NET_SETTINGS_QUERY/SET: the address mode, a flags byte, the signal floor of the
 * band preference, a spare byte, the pinned access point, two spare bytes, then the strings in the
 * order of KCOM_NET_STRING, each a u16 length (little-endian) and that many bytes. */
enum KCOM_NET_LAYOUT {
    KCOM_NET_MAC_MODE = 0, /* u8 KCOM_MAC_MODE */
    KCOM_NET_FLAGS = 1,    /* u8 KCOM_NET_FLAG bits */
    /* s8 dBm: with KCOM_NET_PREFER_HIGH_BAND, a 5 or 6 GHz access point heard at least this strong
     * is taken before any 2.4 GHz one; a weaker one is not preferred. KCOM_BAND_FLOOR_MIN..MAX. */
    KCOM_NET_BAND_FLOOR = 2,
    /* 6 bytes: the one access point of the network the join takes (all zero = none pinned). Not
     * heard: the attempt fails with KCOM_CAUSE_NOT_FOUND, never joins another of the network. */
    KCOM_NET_PIN = 4,
    KCOM_NET_STRINGS = 12,
    KCOM_NET_FIELD_MAX = 512 /* most bytes of one string */
};
enum KCOM_BAND_FLOOR { KCOM_BAND_FLOOR_MIN = -95, KCOM_BAND_FLOOR_MAX = -30, KCOM_BAND_FLOOR_DEFAULT = -70 };
/* The hardware address a join uses. */
enum KCOM_MAC_MODE {
    KCOM_MAC_NOT_TOLD = 0, /* left to whoever runs the interface; a record without a mode */
    KCOM_MAC_DEVICE = 1,   /* the adapter's own */
    KCOM_MAC_STABLE = 2,   /* random, the same each time for this network, another for another network */
    KCOM_MAC_RANDOM = 3    /* a new random address at each join */
};
enum KCOM_NET_FLAG {
    KCOM_NET_METERED = 1,         /* the network is metered (charged by volume) */
    KCOM_NET_PREFER_HIGH_BAND = 2 /* prefer 5/6 GHz access points above the band floor */
};
enum KCOM_NET_STRING {
    KCOM_NET_IPV4 = 0,     /* "192.0.2.10/24"; empty = automatic */
    KCOM_NET_GATEWAY4 = 1, /* "192.0.2.1"; only with a fixed address */
    KCOM_NET_IPV6 = 2,     /* "2001:db8::10/64"; empty = automatic */
    KCOM_NET_GATEWAY6 = 3,
    KCOM_NET_DNS = 4, /* name servers, IPv4 or IPv6, separated by spaces */
    KCOM_NET_STRING_COUNT = 5
};

/* Payload of OID_ADDRESS_INFO. */
enum KCOM_ADDRESS_LAYOUT {
    KCOM_ADDRESS_IN_USE = 0,  /* 6 bytes */
    KCOM_ADDRESS_OWN = 8,     /* 6 bytes: the adapter's permanent address; all zero = not known */
    KCOM_ADDRESS_MODE = 16,   /* u8 KCOM_MAC_MODE the last join asked for */
    KCOM_ADDRESS_RANDOM = 17, /* u8 1: the address in use is not the adapter's own */
    KCOM_ADDRESS_SIZE = 20
};

/* Payload of OID_HOTSPOT_START. */
enum KCOM_HOTSPOT_LAYOUT {
    KCOM_HOTSPOT_SECURITY = 0,  /* u8 KCOM_HOTSPOT_SECURITY_VALUE */
    KCOM_HOTSPOT_BAND = 1,      /* u8 KCOM_HOTSPOT_BAND_VALUE */
    KCOM_HOTSPOT_CHANNEL = 2,   /* u16 channel number in the band; 0 = any */
    KCOM_HOTSPOT_SSID_LEN = 4,  /* u8, 1..32 */
    KCOM_HOTSPOT_SSID = 5,      /* 32 bytes */
    KCOM_HOTSPOT_PASS_LEN = 37, /* u8, 8..63; 0 for an open hotspot */
    KCOM_HOTSPOT_PASS = 38,     /* 63 printable ASCII characters */
    KCOM_HOTSPOT_RECORD_SIZE = 104,
    KCOM_HOTSPOT_TEXT_SIZE = 256 /* the answer's sentence, with its terminating zero */
};
enum KCOM_HOTSPOT_SECURITY_VALUE {
    KCOM_HOTSPOT_OPEN = 0,
    KCOM_HOTSPOT_WPA2 = 1,
    KCOM_HOTSPOT_WPA3 = 2,
    KCOM_HOTSPOT_WPA2_WPA3 = 3 /* both: WPA3 clients use SAE, older ones WPA2 */
};
enum KCOM_HOTSPOT_BAND_VALUE {
    KCOM_HOTSPOT_BAND_BEST = 0, /* the best band the radio may start an access point on */
    KCOM_HOTSPOT_BAND_2G4 = 1,
    KCOM_HOTSPOT_BAND_5G = 2,
    KCOM_HOTSPOT_BAND_6G = 3
};

/* Payload of OID_HOTSPOT_QUERY: the radio's abilities, the hotspot, then its clients. */
enum KCOM_HOTSPOT_STATE_LAYOUT {
    KCOM_HS_RUNNING = 0,       /* u8 1: the adapter runs an access point */
    KCOM_HS_CONTROL = 1,       /* u8 KCCL_MANAGED_BY_* of the interface (kccl_adapters.h);
                                  KCOM_HS_CONTROL_SIM for the simulated adapter */
    KCOM_HS_SECURITY = 2,      /* u8 KCOM_HOTSPOT_SECURITY_VALUE; 0xFF = not known */
    KCOM_HS_ABILITY = 3,       /* u8 KCOM_HS_CAN bits */
    KCOM_HS_BANDS = 4,         /* u8 bit (1 << KCOM_HOTSPOT_BAND_*) per band an access point may start on */
    KCOM_HS_OURS = 5,          /* u8 1: this utility started it (0: someone else's access point) */
    KCOM_HS_FREQ = 8,          /* u32 MHz of the running access point */
    KCOM_HS_SSID_LEN = 12,     /* u8 */
    KCOM_HS_SSID = 13,         /* 32 bytes */
    KCOM_HS_CLIENT_COUNT = 48, /* u32 entries that follow */
    KCOM_HS_NOTE = 52,         /* UTF-8, zero-terminated: why a hotspot cannot run here, or what
                                  the user should know of the one that runs */
    KCOM_HS_CLIENTS = 308,     /* entries of KCOM_HS_CLIENT_SIZE bytes */
    KCOM_HS_CLIENT_SIZE = 24,  /* +0 6 bytes address, +8 i32 dBm (INT32_MIN = not known),
                                  +16 u64 milliseconds since 1970 (UTC) it joined; 0 = not known */
    KCOM_HS_CLIENT_MAX = 128
};
enum { KCOM_HS_CONTROL_SIM = 0xFF };
enum KCOM_HS_CAN {
    KCOM_HS_CAN_AP = 1,             /* the radio has the access point interface type */
    KCOM_HS_CAN_AP_AND_STATION = 2, /* it runs an access point and a station at once */
    KCOM_HS_CAN_CONTROL = 4,        /* the way of control starts one (else the note says why not) */
    KCOM_HS_CAN_SAE = 8             /* WPA3 (SAE) is offered */
};

/* Payload of OID_JOIN_STATE. */
enum KCOM_JOIN_LAYOUT {
    KCOM_JOIN_STATE_FIELD = 0, /* u32 KCOM_JOIN_STATE_VALUE */
    KCOM_JOIN_CAUSE = 4,       /* u32 KCOM_JOIN_CAUSE_VALUE of a failed attempt */
    KCOM_JOIN_ATTEMPT = 8,     /* u32, one more for every attempt started; 0 = none yet */
    KCOM_JOIN_FLAGS = 12,      /* u32 KCOM_JOIN_FLAG bits */
    KCOM_JOIN_SSID_LEN = 16,   /* u8 */
    KCOM_JOIN_SSID = 17,       /* 32 bytes: the network of the attempt */
    KCOM_JOIN_DETAIL = 52,     /* UTF-8 text, zero-terminated: what the cause alone does not say */
    KCOM_JOIN_DETAIL_SIZE = 256
};
enum KCOM_JOIN_STATE_VALUE {
    KCOM_JOIN_IDLE = 0,
    KCOM_JOIN_JOINING = 1,
    KCOM_JOIN_JOINED = 2,
    KCOM_JOIN_FAILED = 3
};
enum KCOM_JOIN_CAUSE_VALUE {
    KCOM_CAUSE_NONE = 0,
    KCOM_CAUSE_WRONG_KEY = 1,   /* WEP key, passphrase or password not accepted */
    KCOM_CAUSE_NOT_FOUND = 2,   /* the network is not in range */
    KCOM_CAUSE_REFUSED = 3,     /* the network refused the association or authentication */
    KCOM_CAUSE_UNSUPPORTED = 4, /* this way of control cannot join it; the detail names what can */
    KCOM_CAUSE_NEEDS_8021X = 5, /* an enterprise network, and no 802.1X credentials were given */
    KCOM_CAUSE_TIMEOUT = 6,
    KCOM_CAUSE_ADAPTER_GONE = 7,
    KCOM_CAUSE_NOT_PERMITTED = 8,   /* a right is missing; the detail names it */
    KCOM_CAUSE_CERT_UNTRUSTED = 9,  /* the server's certificate; the detail gives subject and fingerprint */
    KCOM_CAUSE_SERVER_NAME = 10,    /* the server's name does not match */
    KCOM_CAUSE_METHOD_REFUSED = 11, /* the server refused the 802.1X method */
    KCOM_CAUSE_CANCELLED = 12,      /* a newer attempt or a disconnect ended it */
    KCOM_CAUSE_BUSY = 13,           /* another program's attempt held the adapter for the whole wait */
    KCOM_CAUSE_HOTSPOT = 14         /* the radio runs a hotspot and cannot join a network beside it */
};
enum KCOM_JOIN_FLAG {
    KCOM_JOIN_FLAG_RESTORED = 1 /* the previous connection was restored after the failure */
};

/* Payload of OID_LAST_DISCONNECT. */
enum KCOM_DISCONNECT_LAYOUT {
    KCOM_DISC_COUNT = 0,     /* u32, one more for every connection that ended; 0 = none yet */
    KCOM_DISC_REASON = 4,    /* u32 802.11 reason code; 0 = none told (signal lost, adapter gone) */
    KCOM_DISC_BY = 8,        /* u32 KCOM_DISCONNECT_BY */
    KCOM_DISC_BSSID = 12,    /* 6 bytes: the access point it was on */
    KCOM_DISC_SSID_LEN = 18, /* u8 */
    KCOM_DISC_SSID = 19,     /* 32 bytes: the network it was on */
    KCOM_DISC_TIME = 56,     /* u64 milliseconds since 1970 (UTC) when it ended */
    KCOM_DISC_SIZE = 64
};
/* Who ended a connection (KCOM_DISC_BY). */
enum KCOM_DISCONNECT_BY {
    KCOM_DISCONNECT_BY_UNKNOWN = 0,
    KCOM_DISCONNECT_BY_AP = 1,           /* the access point sent deauthentication or disassociation */
    KCOM_DISCONNECT_BY_THIS_MACHINE = 2, /* this machine: its driver, supplicant, or the adapter went away */
    KCOM_DISCONNECT_BY_USER = 3,         /* a disconnect asked through this library */
    KCOM_DISCONNECT_BY_SIGNAL_LOST = 4   /* the access point was no longer heard (beacon loss) */
};

/* Payload of OID_LAST_ROAM. */
enum KCOM_ROAM_LAYOUT {
    KCOM_ROAM_COUNT = 0,        /* u32, one more for every move; 0 = none yet */
    KCOM_ROAM_BY = 4,           /* u32 KCOM_ROAM_TRIGGER */
    KCOM_ROAM_FROM_BSSID = 8,   /* 6 bytes: the access point it left */
    KCOM_ROAM_TO_BSSID = 14,    /* 6 bytes: the access point it is on now */
    KCOM_ROAM_FROM_SIGNAL = 20, /* i32 dBm of the one it left when it moved; 0 = not known */
    KCOM_ROAM_TIME = 24,        /* u64 milliseconds since 1970 (UTC) */
    KCOM_ROAM_SIZE = 32
};
/* Why the adapter moved (KCOM_ROAM_BY). */
enum KCOM_ROAM_TRIGGER {
    KCOM_ROAM_BY_UNKNOWN = 0,
    KCOM_ROAM_BY_AP_REQUEST = 1, /* the access point asked it to move (802.11v BSS transition request) */
    KCOM_ROAM_BY_SIGNAL = 2,     /* another access point of the network was heard better */
    KCOM_ROAM_BY_AP_GONE = 3     /* the access point it was on went away */
};

/* Layout of the scan result list (payload of OID_SCAN_LIST): a status byte, then two halves of
 * entries, access points first, ad-hoc networks second; and the fields of one entry. */
enum KCOM_SCAN_LAYOUT {
    KCOM_SCAN_STATUS = 0,      /* u8: 1 while the driver is still scanning */
    KCOM_SCAN_INFRA_COUNT = 1, /* u8: valid entries of the first half */
    KCOM_SCAN_INFRA_ENTRIES = 4,
    KCOM_SCAN_ADHOC_COUNT = 7684, /* u8: valid entries of the second half */
    KCOM_SCAN_ADHOC_ENTRIES = 7688,
    KCOM_SCAN_HALF_SLOTS = 20,
    KCOM_SCAN_ENTRY_SIZE = 384,
    KCOM_ENTRY_BSSID = 2,      /* 6 bytes */
    KCOM_ENTRY_SSID_LEN = 53,  /* u8, 0..32 */
    KCOM_ENTRY_SSID = 54,      /* up to 32 bytes, not terminated */
    KCOM_ENTRY_PHY = 88,       /* u32 */
    KCOM_ENTRY_CHANNEL = 96,   /* u8 */
    KCOM_ENTRY_PRIVACY = 99,   /* u8, nonzero when encryption is required */
    KCOM_ENTRY_SIGNAL = 104,   /* i32, dBm */
    KCOM_ENTRY_SECURITY = 100, /* u8, KCOM_SECURITY_KIND; 0 = not told (the privacy byte says) */
    KCOM_ENTRY_FREQ = 108,     /* u32 MHz; 0 = not told (the channel byte is a 2.4/5 GHz channel) */
    KCOM_ENTRY_MAX_RATE =
        112, /* u32, units of 100 kbit/s, from the rates and capabilities the network offers; 0 = not told */
    KCOM_ENTRY_WIDTH = 116, /* u16 MHz; 0 = not told */
    KCOM_ENTRY_AKM = 120,   /* u32 KCOM_AKM bits of the RSN and WPA elements */
    KCOM_SCAN_PAGE = 2      /* u16 page number of OID_SCAN_LIST_MORE */
};

/* The kind of security a scanned network asks for (scan entry byte KCOM_ENTRY_SECURITY). */
enum KCOM_SECURITY_KIND {
    KCOM_SECURITY_UNKNOWN = 0,
    KCOM_SECURITY_OPEN = 1,
    KCOM_SECURITY_WEP = 2,
    KCOM_SECURITY_WPA = 3,
    KCOM_SECURITY_WPA2 = 4,      /* WPA2-Personal */
    KCOM_SECURITY_WPA3 = 5,      /* WPA3-Personal (SAE) */
    KCOM_SECURITY_OWE = 6,       /* Enhanced Open */
    KCOM_SECURITY_WPA2_WPA3 = 7, /* WPA2/WPA3-Personal transition */
    KCOM_SECURITY_WPA2_ENTERPRISE = 8,
    KCOM_SECURITY_WPA3_ENTERPRISE = 9, /* also Suite-B */
    KCOM_SECURITY_WPA_ENTERPRISE = 10  /* WPA (the first version) with 802.1X */
};

/* Key management suites a network offers (scan entry KCOM_ENTRY_AKM). */
enum KCOM_AKM {
    KCOM_AKM_8021X = 1 << 0,
    KCOM_AKM_PSK = 1 << 1,
    KCOM_AKM_FT_8021X = 1 << 2,
    KCOM_AKM_FT_PSK = 1 << 3,
    KCOM_AKM_8021X_SHA256 = 1 << 4,
    KCOM_AKM_PSK_SHA256 = 1 << 5,
    KCOM_AKM_SAE = 1 << 6,
    KCOM_AKM_FT_SAE = 1 << 7,
    KCOM_AKM_SUITE_B = 1 << 8,
    KCOM_AKM_SUITE_B_192 = 1 << 9,
    KCOM_AKM_FT_8021X_SHA384 = 1 << 10,
    KCOM_AKM_OWE = 1 << 11,
    KCOM_AKM_SAE_EXT_KEY = 1 << 12,
    KCOM_AKM_FT_SAE_EXT_KEY = 1 << 13,
    KCOM_AKM_8021X_SHA384 = 1 << 14,
    KCOM_AKM_WPA1 = 1 << 15 /* the suites came from the WPA element, not the RSN element */
};

/* Values of the security mode (OID_SECURITY_QUERY/SET) beyond none (0), WEP (1) and TKIP (2). */
enum KCOM_SECURITY_MODE_EXT {
    KCOM_SECURITY_MODE_WPA2_PERSONAL = 3,
    KCOM_SECURITY_MODE_WPA3_PERSONAL = 4,
    KCOM_SECURITY_MODE_OWE = 5,
    KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL = 6, /* joins as WPA3 where the adapter can, else as WPA2 */
    KCOM_SECURITY_MODE_WPA2_ENTERPRISE = 7,
    KCOM_SECURITY_MODE_WPA3_ENTERPRISE = 8
};
