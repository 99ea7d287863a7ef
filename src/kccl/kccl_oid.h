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
    OID_REG_DOMAIN = 0x891
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
    KCOM_SCAN_PAGE = 2         /* u16 page number of OID_SCAN_LIST_MORE */
};

/* The kind of security a scanned network asks for (scan entry byte KCOM_ENTRY_SECURITY). */
enum KCOM_SECURITY_KIND {
    KCOM_SECURITY_UNKNOWN = 0,
    KCOM_SECURITY_OPEN = 1,
    KCOM_SECURITY_WEP = 2,
    KCOM_SECURITY_WPA = 3,
    KCOM_SECURITY_WPA2 = 4,
    KCOM_SECURITY_WPA3 = 5
};

/* Values of the security mode (OID_SECURITY_QUERY/SET) beyond none (0), WEP (1) and TKIP (2). */
enum KCOM_SECURITY_MODE_EXT { KCOM_SECURITY_MODE_WPA2_PERSONAL = 3, KCOM_SECURITY_MODE_WPA3_PERSONAL = 4 };
