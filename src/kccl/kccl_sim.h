/* Control of the simulated adapter that stands behind the driver-access library when no vendor
 * library is installed. Tests and the `wavory-sim` tool use these calls to change the radio
 * environment, inject faults and unplug the adapter; the utility itself never calls them.
 *
 * The adapter is one per user: its state lives in a POSIX shared-memory object named by the
 * environment variable WAVORY_SIM (default "/wavory-sim-<uid>"), so every process of the user sees
 * the same adapter. WAVORY_SCENARIO names a scenario file (JSON) used when the adapter is first
 * created; without it the built-in scenario is used.
 *
 * Every call returns 0 on success and a negative value on failure unless said otherwise. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "kccl.h"

#ifdef __cplusplus
extern "C" {
#endif

enum KCCL_SIM_FAULT {
    KCCL_SIM_FAULT_NONE = 0,
    KCCL_SIM_FAULT_RESULT = 1, /* kcom_exec_oid returns `value` (nonzero) */
    KCCL_SIM_FAULT_STATUS =
        2, /* the block is not carried out (state unchanged); its status is `value` (not 2) */
    KCCL_SIM_FAULT_THROW = 3 /* kcom_exec_oid throws a C++ exception */
};

/* Replaces the whole adapter state with a scenario (JSON text; NULL = the built-in default). */
KCCL_API int kccl_sim_reset(const char* scenario_json);
/* Unplugs (0) or plugs in (1) the adapter. Unplugged, kcom_connect fails and open links fail; links
 * opened before an unplug stay dead after the replug until kcom_connect is called again. A replugged
 * adapter starts from its power-on settings (environment, faults and log are kept). */
KCCL_API int kccl_sim_set_present(int present);
/* Injects a fault for one request code (kind NONE clears it). */
KCCL_API int kccl_sim_set_fault(uint32_t code, int kind, int value);
KCCL_API int kccl_sim_clear_faults(void);
/* Adds a network (JSON object in the scenario's network form) or replaces the one of that BSSID. */
KCCL_API int kccl_sim_put_network(const char* network_json);
/* Removes the network with this BSSID ("00-11-22-33-44-55"). */
KCCL_API int kccl_sim_remove_network(const char* bssid);
/* Changes the signal of the network with this BSSID (dBm); at -100 or below it is out of range. */
KCCL_API int kccl_sim_set_signal(const char* bssid, int dbm);
/* The access point the adapter is on sends deauthentication with this 802.11 reason code (0..65535):
 * the link ends, OID_LAST_DISCONNECT tells it, and the adapter does not rejoin until the next
 * attempt. Fails when the adapter is on no access point. */
KCCL_API int kccl_sim_deauth(int reason);
/* The access point the adapter is on asks it to move to the access point `bssid` of the same network
 * (802.11v BSS transition request): it moves at once, and OID_LAST_ROAM tells why. Fails when the
 * adapter is on no access point, or that one is not of its network, in range and of its security. */
KCCL_API int kccl_sim_steer(const char* bssid);
/* Sets how long a scan runs, in milliseconds. */
KCCL_API int kccl_sim_set_scan_duration(int ms);
/* Sets how long a join takes, in milliseconds, for networks that do not give their own time. */
KCCL_API int kccl_sim_set_join_delay(int ms);
/* Moves the simulation's clock forward, so tests need not sleep for scans and traffic. */
KCCL_API int kccl_sim_advance(int ms);
/* Writes the adapter state as JSON into buf (always terminated); returns the full length. */
KCCL_API int kccl_sim_state_json(char* buf, size_t size);

/* The last requests the adapter received, oldest first. */
typedef struct KCCL_SIM_LOG_ENTRY {
    uint32_t code;
    uint32_t status;
    int32_t result;
    uint8_t head[64]; /* first payload bytes as received (set input) */
} KCCL_SIM_LOG_ENTRY;

/* Copies the newest `max` (or fewer) logged requests, oldest first; returns how many were copied. */
KCCL_API int kccl_sim_get_log(KCCL_SIM_LOG_ENTRY* out, int max);
KCCL_API int kccl_sim_clear_log(void);

/* Takes the adapter's lock, calls while_held(arg) and leaves the lock: a program stalled in the middle
 * of a request, for tests (while_held may stop the process; the lock stays held until it goes on). */
KCCL_API int kccl_sim_hold_lock(void (*while_held)(void* arg), void* arg);

/* How many requests of this process waited for the adapter's lock until the wait ran out (those
 * that failed as busy at once do not count). */
KCCL_API int kccl_sim_busy_waits(void);

/* Removes this user's shared adapter object; the next call creates a fresh adapter. */
KCCL_API int kccl_sim_unlink(void);

#ifdef __cplusplus
}
#endif
