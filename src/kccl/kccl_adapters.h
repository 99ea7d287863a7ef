/* Which adapter the driver-access library serves, and what it can tell about the adapters it can
 * serve. The library stands for two kinds of adapter: the simulated one ("sim") and the machine's
 * wireless interfaces. kcom_connect("SEARCH") takes the adapter named by the environment variable
 * WAVORY_ADAPTER ("sim" or an interface name such as "wlan0"), else the first wireless interface,
 * else the simulated adapter.
 *
 * Every call returns 0 or a count on success and a negative value on failure. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "kccl.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { KCCL_ADAPTER_NAME_MAX = 32, KCCL_ADAPTER_TEXT_MAX = 64 };

/* Who runs the interface: the library changes it through them. */
enum KCCL_MANAGER {
    KCCL_MANAGED_BY_NOBODY = 0,          /* the library changes it itself (needs CAP_NET_ADMIN) */
    KCCL_MANAGED_BY_WPA_SUPPLICANT = 1,  /* through the supplicant's control socket */
    KCCL_MANAGED_BY_NETWORK_MANAGER = 2, /* through NetworkManager's D-Bus API */
    KCCL_MANAGED_BY_IWD = 3,             /* through iwd's D-Bus API */
    KCCL_MANAGED_BY_CONNMAN = 4          /* ConnMan: the library only reads the interface */
};

typedef struct KCCL_ADAPTER {
    char name[KCCL_ADAPTER_NAME_MAX];   /* interface name, or "sim" */
    char driver[KCCL_ADAPTER_TEXT_MAX]; /* kernel driver, or "simulation" */
    char mac[24];                       /* "00-11-22-33-44-55"; empty when unknown */
    int in_use;                         /* the link is open on it (or, with no link, it would be chosen) */
    int managed_by;                     /* KCCL_MANAGER */
} KCCL_ADAPTER;

/* Fills up to `max` entries: the wireless interfaces found, then the simulated adapter. Returns the
 * number of adapters there are (which may exceed max). */
KCCL_API int kccl_list_adapters(KCCL_ADAPTER* out, int max);

/* Name of the adapter the open link serves (empty without a link); returns its length. */
KCCL_API int kccl_adapter_in_use(char* buf, size_t size);

/* For a status the library wrote that needs the user's attention (a missing right, an interface
 * run by NetworkManager), one line saying what is missing and how to get it; returns its length,
 * 0 (and an empty text) for any other status. */
KCCL_API int kccl_status_message(uint32_t status, char* buf, size_t size);

/* How long this thread's requests wait for an adapter that another program holds, in milliseconds
 * (negative: the library's default, a few seconds). A thread that must stay responsive, such as a
 * window's, sets a short wait: once a wait has run out, its requests fail at once as busy
 * (KCOM_RESULT_BUSY) until the adapter is free again. Returns the previous value. */
KCCL_API int kccl_set_busy_wait(int ms);

/* Statuses of that kind. */
enum {
    KCCL_STATUS_NEEDS_NET_ADMIN = 0xC0000022u,  /* a change through nl80211 needs CAP_NET_ADMIN */
    KCCL_STATUS_NEEDS_SUPPLICANT = 0xC0000023u, /* the supplicant's control socket refused us */
    KCCL_STATUS_READ_ONLY = 0xC0000024u,        /* NetworkManager runs the interface, and is not on the bus */
    KCCL_STATUS_WPA_NEEDS_SUPPLICANT = 0xC0000025u, /* WPA needs a supplicant, and none runs the interface */
    KCCL_STATUS_NM_REFUSED = 0xC0000026u,           /* NetworkManager's authorisation refused the change */
    KCCL_STATUS_RUN_BY_IWD = 0xC0000027u,           /* iwd runs the interface, and is not on the bus */
    KCCL_STATUS_RUN_BY_CONNMAN = 0xC0000028u,       /* ConnMan runs the interface: read only */
    KCCL_STATUS_NOT_OURS = 0xC0000029u, /* a disconnect would end a NetworkManager connection of the user's */
    KCCL_STATUS_OTHER_MODE = 0xC000002Au, /* an access point, monitor or P2P interface, whose kind stays */
    KCCL_STATUS_IWD_REFUSED = 0xC000002Bu /* iwd's D-Bus policy refused this user */
};

#ifdef __cplusplus
}
#endif
