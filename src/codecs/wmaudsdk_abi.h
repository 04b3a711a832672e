#ifndef TONALDA_CODECS_WMAUDSDK_ABI_H
#define TONALDA_CODECS_WMAUDSDK_ABI_H
/* The audio-writer module's interface (libWmAudSDK.so), shared by the WMA encoder and the module:
 * WMAudioCreateWriter makes a writer for one output file; the writer is an object with a table
 * of operations, each returning a 32-bit result that is negative on failure. Text is UTF-16.
 * WriteSamples takes 16-bit PCM in the format given to SetInputFormat; when that differs from the
 * output format, the writer resamples and remixes it to the output's rate and channels. */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t WMRESULT;
typedef uint16_t WMCHAR; /* a UTF-16 code unit */

#define WM_SUCCEEDED(result) ((result) >= 0)
#define WM_FAILED(result) ((result) < 0)

/* Results. */
#define WM_S_OK ((WMRESULT)0)
#define WM_E_NOTIMPL ((WMRESULT)0x80004001u)
#define WM_E_POINTER ((WMRESULT)0x80004003u)
#define WM_E_FAIL ((WMRESULT)0x80004005u)
#define WM_E_UNEXPECTED ((WMRESULT)0x8000FFFFu)
#define WM_E_OUTOFMEMORY ((WMRESULT)0x8007000Eu)
#define WM_E_INVALIDARG ((WMRESULT)0x80070057u)
#define WM_E_WRITE_FAULT ((WMRESULT)0x8007001Du)
#define WM_E_NO_SUCH_FORMAT ((WMRESULT)0xC00D0BC1u) /* output format not offered */
/* A failure of the file system (a full disk, a file size limit): the errno in the low 16 bits. */
#define WM_E_SYSTEM_FACILITY 0x80FE0000u
#define WM_E_FROM_ERRNO(error) ((WMRESULT)(WM_E_SYSTEM_FACILITY | ((uint32_t)(error)&0xFFFFu)))
#define WM_ERRNO_OF(result)                                       \
    ((((uint32_t)(result)) & 0xFFFF0000u) == WM_E_SYSTEM_FACILITY \
         ? (int)(((uint32_t)(result)) & 0xFFFFu)                  \
         : 0)

/* Attribute data types. */
enum { WMT_TYPE_DWORD = 0, WMT_TYPE_STRING = 1, WMT_TYPE_BINARY = 2, WMT_TYPE_BOOL = 3 };

enum { WAVE_FORMAT_PCM = 1 };

#pragma pack(push, 1)
typedef struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
} WAVEFORMATEX;
#pragma pack(pop)

typedef struct IWMAudioWriter IWMAudioWriter;

/* The operations in table order. */
typedef struct IWMAudioWriterVtbl {
    WMRESULT (*QueryInterface)(IWMAudioWriter* self, const void* interfaceId, void** object);
    uint32_t (*AddRef)(IWMAudioWriter* self);
    uint32_t (*Release)(IWMAudioWriter* self);
    WMRESULT(*SetAttribute)
    (IWMAudioWriter* self, const WMCHAR* name, int32_t type, const uint8_t* value, uint16_t length);
    WMRESULT (*SetInputFormat)(IWMAudioWriter* self, const WAVEFORMATEX* format);
    WMRESULT(*SetOutputFormat)
    (IWMAudioWriter* self, uint32_t bitrate, uint32_t sampleRate, uint32_t channels,
     uint32_t flags);
    WMRESULT (*Reserved)(IWMAudioWriter* self); /* not used by the program */
    WMRESULT (*WriteSamples)(IWMAudioWriter* self, const uint8_t* bytes, uint32_t length);
    WMRESULT (*Flush)(IWMAudioWriter* self);
} IWMAudioWriterVtbl;

struct IWMAudioWriter {
    const IWMAudioWriterVtbl* lpVtbl;
};

typedef WMRESULT (*WMAUDIOCREATEWRITER)(const WMCHAR* path, IWMAudioWriter** writer);

#ifdef __cplusplus
}

static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(offsetof(WAVEFORMATEX, nSamplesPerSec) == 4);
static_assert(offsetof(WAVEFORMATEX, nAvgBytesPerSec) == 8);
static_assert(offsetof(WAVEFORMATEX, nBlockAlign) == 12);
static_assert(offsetof(WAVEFORMATEX, cbSize) == 16);
#endif

#endif
