#ifndef TONALDA_CDACCESS_ASPI_ABI_H
#define TONALDA_CDACCESS_ASPI_ABI_H
/* The ASPI request records shared by the engine and ASPI modules (the virtual drive).
 * Field order follows the published ASPI for Win32 request blocks; pointer-sized fields take the
 * platform's size, so the records are larger than on 32-bit Windows. The layout is pinned below. */

#include <stddef.h>
#include <stdint.h>

#include "platform/completion_event.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Command kinds. */
enum {
    SC_HA_INQUIRY = 0x00,
    SC_GET_DEV_TYPE = 0x01,
    SC_EXEC_SCSI_CMD = 0x02,
    SC_ABORT_SRB = 0x03
};

/* Request statuses. */
enum {
    SS_PENDING = 0x00,
    SS_COMP = 0x01,
    SS_ABORTED = 0x02,
    SS_ERR = 0x04,
    SS_INVALID_HA = 0x81,
    SS_NO_DEVICE = 0x82,
    SS_INVALID_SRB = 0xE0,
    SS_NO_ASPI = 0xE3,
    SS_NO_ADAPTERS = 0xE8
};

/* Request flags. */
enum {
    SRB_POSTING = 0x01,
    SRB_ENABLE_RESIDUAL_COUNT = 0x04,
    SRB_DIR_IN = 0x08,
    SRB_DIR_OUT = 0x10,
    SRB_EVENT_NOTIFY = 0x40
};

enum { ASPI_SENSE_LEN = 14 };

/* Kind 0: host-adapter inquiry. */
typedef struct SRB_HAInquiry {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t HA_Count;
    uint8_t HA_SCSI_ID;
    uint8_t HA_ManagerId[16];
    uint8_t HA_Identifier[16];
    uint8_t HA_Unique[16]; /* byte 3: targets (0 = 8); bytes 4..7: max transfer, little-endian */
    uint16_t HA_Rsvd1;
} SRB_HAInquiry;

/* Kind 1: get device type. */
typedef struct SRB_GDEVBlock {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint8_t SRB_DeviceType;
    uint8_t SRB_Rsvd1;
} SRB_GDEVBlock;

/* Kind 2: execute a SCSI command block. */
typedef struct SRB_ExecSCSICmd {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint16_t SRB_Rsvd1;
    uint32_t SRB_BufLen;
    uint8_t* SRB_BufPointer;
    uint8_t SRB_SenseLen;
    uint8_t SRB_CDBLen;
    uint8_t SRB_HaStat;
    uint8_t SRB_TargStat;
    TonaldaCompletionEvent* SRB_PostProc; /* set when a pending request completes */
    uint8_t SRB_Rsvd2[20];
    uint8_t CDBByte[16];
    uint8_t SenseArea[ASPI_SENSE_LEN + 2];
} SRB_ExecSCSICmd;

/* Kind 3: abort a pending request. A request that has not started ends with SS_ABORTED (its
 * event is set); one that is running is waited for. Afterwards the module no longer touches it. */
typedef struct SRB_Abort {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    void* SRB_ToAbort;
} SRB_Abort;

/* Any request starts with this header. */
typedef struct SRB_Header {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
} SRB_Header;

/* Entry points of an ASPI module. */
typedef uint32_t (*GetASPI32SupportInfoFn)(void);
typedef uint32_t (*SendASPI32CommandFn)(void* request);

#define TONALDA_ASPI_SUPPORT_INFO_NAME "GetASPI32SupportInfo"
#define TONALDA_ASPI_SEND_COMMAND_NAME "SendASPI32Command"

#ifdef __cplusplus
}
#endif

/* Layout pins (x86-64 and other LP64 platforms). */
#if defined(__cplusplus)
#define TONALDA_ASPI_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define TONALDA_ASPI_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
TONALDA_ASPI_ASSERT(sizeof(SRB_HAInquiry) == 60, "SRB_HAInquiry layout");
TONALDA_ASPI_ASSERT(offsetof(SRB_HAInquiry, HA_Unique) == 42, "HA_Unique offset");
TONALDA_ASPI_ASSERT(sizeof(SRB_GDEVBlock) == 12, "SRB_GDEVBlock layout");
TONALDA_ASPI_ASSERT(offsetof(SRB_Abort, SRB_ToAbort) == 8, "SRB_Abort layout");
TONALDA_ASPI_ASSERT(offsetof(SRB_ExecSCSICmd, SRB_BufLen) == 12, "SRB_BufLen offset");
TONALDA_ASPI_ASSERT(offsetof(SRB_ExecSCSICmd, SRB_BufPointer) == 16, "SRB_BufPointer offset");
TONALDA_ASPI_ASSERT(offsetof(SRB_ExecSCSICmd, SRB_SenseLen) == sizeof(void*) + 16,
                    "SRB_SenseLen offset");
TONALDA_ASPI_ASSERT(offsetof(SRB_ExecSCSICmd, SRB_PostProc) % sizeof(void*) == 0,
                    "SRB_PostProc alignment");
TONALDA_ASPI_ASSERT(offsetof(SRB_ExecSCSICmd, CDBByte) ==
                        offsetof(SRB_ExecSCSICmd, SRB_PostProc) + sizeof(void*) + 20,
                    "CDBByte offset");
TONALDA_ASPI_ASSERT(offsetof(SRB_ExecSCSICmd, SenseArea) == offsetof(SRB_ExecSCSICmd, CDBByte) + 16,
                    "SenseArea offset");
#undef TONALDA_ASPI_ASSERT

#endif
