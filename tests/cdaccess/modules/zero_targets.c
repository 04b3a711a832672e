/* An ASPI module with one adapter that leaves its target count (unique byte 3) at 0, meaning 8,
 * and CD-ROM drives at targets 7 and 8: only the first lies within the targets to scan. */
#include <stdint.h>
#include <string.h>

#include "cdaccess/aspi_abi.h"

#define EXPORT __attribute__((visibility("default")))

static int isDrive(uint8_t adapter, uint8_t target, uint8_t lun) {
    return adapter == 0 && lun == 0 && (target == 7 || target == 8);
}

EXPORT uint32_t GetASPI32SupportInfo(void) {
    return 0x0101;
}

EXPORT uint32_t SendASPI32Command(void* argument) {
    SRB_Header* header = (SRB_Header*)argument;
    if (header->SRB_Cmd == SC_HA_INQUIRY) {
        SRB_HAInquiry* inquiry = (SRB_HAInquiry*)argument;
        inquiry->HA_Count = 1;
        memset(inquiry->HA_Unique, 0, sizeof inquiry->HA_Unique);
        return inquiry->SRB_Status = header->SRB_HaId == 0 ? SS_COMP : SS_INVALID_HA;
    }
    if (header->SRB_Cmd == SC_GET_DEV_TYPE) {
        SRB_GDEVBlock* block = (SRB_GDEVBlock*)argument;
        if (!isDrive(block->SRB_HaId, block->SRB_Target, block->SRB_Lun)) {
            block->SRB_DeviceType = 0x1F;
            return block->SRB_Status = SS_NO_DEVICE;
        }
        block->SRB_DeviceType = 5;
        return block->SRB_Status = SS_COMP;
    }
    if (header->SRB_Cmd == SC_EXEC_SCSI_CMD) {
        SRB_ExecSCSICmd* request = (SRB_ExecSCSICmd*)argument;
        if (request->CDBByte[0] == 0x12 && request->SRB_BufLen >= 36) {
            memset(request->SRB_BufPointer, ' ', 36);
            memcpy(request->SRB_BufPointer + 8, "BARE", 4);
        }
        return request->SRB_Status = SS_COMP;
    }
    return header->SRB_Status = SS_ERR;
}
