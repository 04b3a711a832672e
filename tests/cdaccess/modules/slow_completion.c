/* An ASPI module with one CD-ROM drive at 0:0:0 whose commands stay pending for longer than the
 * engine waits: each completes 4500 ms later on a thread of its own, writing 0x55 over the
 * request's data buffer, as a drive that answers too late would. */
#include <pthread.h>
#include <stdint.h>
#include <string.h>
#include <time.h>

#include "cdaccess/aspi_abi.h"

#define EXPORT __attribute__((visibility("default")))

static int completed;

/* How many requests this module has completed so far (tests wait for the late ones). */
EXPORT int SlowCompletionsDone(void) {
    return __atomic_load_n(&completed, __ATOMIC_ACQUIRE);
}

static void* completeLater(void* argument) {
    SRB_ExecSCSICmd* request = (SRB_ExecSCSICmd*)argument;
    struct timespec delay = {4, 500000000};
    nanosleep(&delay, NULL);
    if (request->SRB_BufPointer != NULL) {
        memset(request->SRB_BufPointer, 0x55, request->SRB_BufLen);
    }
    request->SRB_Status = SS_COMP;
    if (request->SRB_PostProc != NULL) {
        request->SRB_PostProc->set(request->SRB_PostProc);
    }
    __atomic_add_fetch(&completed, 1, __ATOMIC_RELEASE);
    return NULL;
}

EXPORT uint32_t GetASPI32SupportInfo(void) {
    return 0x0101;
}

EXPORT uint32_t SendASPI32Command(void* argument) {
    SRB_Header* header = (SRB_Header*)argument;
    if (header->SRB_Cmd == SC_HA_INQUIRY) {
        SRB_HAInquiry* inquiry = (SRB_HAInquiry*)argument;
        inquiry->HA_Count = 1;
        return inquiry->SRB_Status = header->SRB_HaId == 0 ? SS_COMP : SS_INVALID_HA;
    }
    if (header->SRB_Cmd == SC_GET_DEV_TYPE) {
        SRB_GDEVBlock* block = (SRB_GDEVBlock*)argument;
        if (block->SRB_HaId != 0 || block->SRB_Target != 0 || block->SRB_Lun != 0) {
            return block->SRB_Status = SS_NO_DEVICE;
        }
        block->SRB_DeviceType = 5;
        return block->SRB_Status = SS_COMP;
    }
    if (header->SRB_Cmd == SC_EXEC_SCSI_CMD) {
        pthread_t thread;
        header->SRB_Status = SS_PENDING;
        if (pthread_create(&thread, NULL, completeLater, argument) != 0) {
            return header->SRB_Status = SS_ERR;
        }
        pthread_detach(thread);
        return SS_PENDING;
    }
    return header->SRB_Status = SS_ERR;
}
