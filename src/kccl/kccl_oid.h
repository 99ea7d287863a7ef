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
    OID_CONN_SETTING_QUERY = 0x460,
    OID_CONN_SETTING_SET = 0x470,
    OID_HW_STATUS = 0x530,
    OID_CONNECT_STATUS = 0x590,
    OID_REG_DOMAIN = 0x891
};

/* Layout of the scan result list (payload of OID_SCAN_LIST): a status byte, then two halves of
 * entries, access points first, ad-hoc networks second; and the fields of one entry. */
enum KCOM_SCAN_LAYOUT {
    KCOM_SCAN_STATUS = 0,           /* u8: 1 while the driver is still scanning */
    KCOM_SCAN_INFRA_COUNT = 1,      /* u8: valid entries of the first half */
    KCOM_SCAN_INFRA_ENTRIES = 4,
    KCOM_SCAN_ADHOC_COUNT = 7684,   /* u8: valid entries of the second half */
    KCOM_SCAN_ADHOC_ENTRIES = 7688,
    KCOM_SCAN_HALF_SLOTS = 20,
    KCOM_SCAN_ENTRY_SIZE = 384,
    KCOM_ENTRY_BSSID = 2,           /* 6 bytes */
    KCOM_ENTRY_SSID_LEN = 53,       /* u8, 0..32 */
    KCOM_ENTRY_SSID = 54,           /* up to 32 bytes, not terminated */
    KCOM_ENTRY_PHY = 88,            /* u32 */
    KCOM_ENTRY_CHANNEL = 96,        /* u8 */
    KCOM_ENTRY_PRIVACY = 99,        /* u8, nonzero when encryption is required */
    KCOM_ENTRY_SIGNAL = 104         /* i32, dBm */
};
