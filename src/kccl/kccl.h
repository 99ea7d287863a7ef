/* Driver-access library: the three calls through which every read and change of adapter state
 * passes, and the fixed request block they exchange. C ABI, so that the vendor's library can
 * take this one's place unchanged. */
#pragma once

#include <stdint.h>

#if defined(_WIN32)
#define KCCL_API __declspec(dllexport)
#else
#define KCCL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
    KCOM_BLOCK_SIZE = 15376,   /* whole request block */
    KCOM_PAYLOAD_SIZE = 15368, /* request-specific part */
    KCOM_STATUS_SUCCESS = 2    /* status written by the library when the request succeeded */
};

/* Results other than 0 that this library gives. Another library may give other nonzero values;
 * each of them means that the call was not carried out. */
enum {
    KCOM_RESULT_BAD_ARGUMENT = -1, /* a null block, or connect not asked to "SEARCH" */
    KCOM_RESULT_NO_LINK = -2,      /* no open link, or the adapter was unplugged */
    KCOM_RESULT_NO_ADAPTER = -3,   /* no adapter could be opened */
    KCOM_RESULT_BUSY = -4,         /* another program held the adapter for longer than the library waits */
    KCOM_RESULT_REFUSED = -5       /* the adapter found belongs to another user or is open to other users */
};

/* One request: the caller writes the code (and a set's input), the library fills status and payload. */
typedef struct KCOM_REQUEST {
    uint32_t code;
    uint32_t status;
    uint8_t payload[KCOM_PAYLOAD_SIZE];
} KCOM_REQUEST;

/* Opens the link to the adapter; `how` is "SEARCH" (use the adapter found). 0 = open. */
KCCL_API int kcom_connect(const char* how);
/* Carries out one request in place. 0 = the block was processed (see its status). */
KCCL_API int kcom_exec_oid(KCOM_REQUEST* request);
/* Closes the link. */
KCCL_API int kcom_disconnect(void);

#ifdef __cplusplus
}
#endif
