/* Diagnostics of the driver-access library: what its real-interface side asked of the kernel. For
 * benchmarks and for finding out why a refresh is slow; the utility itself never calls this. */
#pragma once

#include <stdint.h>

#include "kccl.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct KCCL_NETLINK_STATS {
    uint64_t requests;   /* netlink requests sent, family look-ups included */
    uint64_t dumps;      /* of which dumps */
    uint64_t scan_dumps; /* of which dumps of the scan results */
    uint64_t messages;   /* netlink messages received: replies, acknowledgements, events */
    uint64_t bytes;      /* their bytes */
    uint64_t sockets;    /* netlink sockets opened */
    uint64_t busy_us;    /* time spent in kcom_connect and kcom_exec_oid on real interfaces */
} KCCL_NETLINK_STATS;

/* The totals since the process started. Returns 0. */
KCCL_API int kccl_netlink_stats(KCCL_NETLINK_STATS* out);

#ifdef __cplusplus
}
#endif
