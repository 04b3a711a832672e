#ifndef TONALDA_CODECS_LAME_ENC_ABI_H
#define TONALDA_CODECS_LAME_ENC_ABI_H
/* The MP3 encoder module's interface, shared by the encoder and the module (lame_enc.so): the
 * be* entry points over LAME with its byte-packed, little-endian configuration record (LAME header
 * version 1, 331 bytes) and version record (265 bytes). The layouts are pinned below. */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Configuration kinds. */
enum { BE_CONFIG_MP3 = 0, BE_CONFIG_LAME = 256 };

/* Results. */
enum {
    BE_ERR_SUCCESSFUL = 0x00000000,
    BE_ERR_INVALID_FORMAT = 0x00000001,
    BE_ERR_INVALID_FORMAT_PARAMETERS = 0x00000002,
    BE_ERR_NO_MORE_HANDLES = 0x00000003,
    BE_ERR_INVALID_HANDLE = 0x00000004,
    BE_ERR_BUFFER_TOO_SMALL = 0x00000005
};

/* Channel modes. */
enum {
    BE_MP3_MODE_STEREO = 0,
    BE_MP3_MODE_JSTEREO = 1,
    BE_MP3_MODE_DUALCHANNEL = 2,
    BE_MP3_MODE_MONO = 3
};

/* VBR methods. */
enum {
    VBR_METHOD_NONE = -1,
    VBR_METHOD_DEFAULT = 0,
    VBR_METHOD_OLD = 1,
    VBR_METHOD_NEW = 2,
    VBR_METHOD_MTRH = 3,
    VBR_METHOD_ABR = 4
};

/* Quality presets. */
enum {
    LQP_NOPRESET = -1,
    LQP_NORMAL_QUALITY = 0,
    LQP_LOW_QUALITY = 1,
    LQP_HIGH_QUALITY = 2,
    LQP_VOICE_QUALITY = 3,
    LQP_R3MIX = 4,
    LQP_VERYHIGH_QUALITY = 5,
    LQP_STANDARD = 6,
    LQP_FAST_STANDARD = 7,
    LQP_EXTREME = 8,
    LQP_FAST_EXTREME = 9,
    LQP_INSANE = 10,
    LQP_ABR = 11,
    LQP_CBR = 12,
    LQP_PHONE = 1000,
    LQP_SW = 2000,
    LQP_AM = 3000,
    LQP_FM = 4000,
    LQP_VOICE = 5000,
    LQP_RADIO = 6000,
    LQP_TAPE = 7000,
    LQP_HIFI = 8000,
    LQP_CD = 9000,
    LQP_STUDIO = 10000
};

enum { BE_CONFIG_SIZE = 331, BE_VERSION_SIZE = 265, BE_MAX_HOMEPAGE = 128 };

typedef uint32_t BE_ERR;
/* A stream handle: an index into the module's table of open streams, never a pointer. */
typedef uint32_t HBE_STREAM;

#pragma pack(push, 1)

typedef struct BE_CONFIG {
    uint32_t dwConfig; /* BE_CONFIG_LAME */
    uint32_t dwStructVersion;
    uint32_t dwStructSize;
    uint32_t dwSampleRate;   /* input rate, Hz */
    uint32_t dwReSampleRate; /* output rate, Hz; 0 lets the encoder decide */
    int32_t nMode;           /* BE_MP3_MODE_* */
    uint32_t dwBitrate;      /* CBR bitrate, VBR minimum bitrate, kbit/s */
    uint32_t dwMaxBitrate;   /* VBR maximum bitrate, kbit/s */
    int32_t nPreset;         /* LQP_* */
    uint32_t dwMpegVersion;
    uint32_t dwPsyModel;
    uint32_t dwEmphasis;
    int32_t bPrivate;
    int32_t bCRC;
    int32_t bCopyright;
    int32_t bOriginal;
    int32_t bWriteVBRHeader;
    int32_t bEnableVBR;
    int32_t nVBRQuality; /* 0 (best) to 9 */
    uint32_t dwVbrAbr_bps;
    int32_t nVbrMethod; /* VBR_METHOD_* */
    int32_t bNoRes;     /* disable the bit reservoir */
    int32_t bStrictIso;
    uint16_t nQuality; /* low byte the quality, high byte its complement; else ignored */
    uint8_t btReserved[237];
} BE_CONFIG;

typedef struct BE_VERSION {
    uint8_t byDLLMajorVersion;
    uint8_t byDLLMinorVersion;
    uint8_t byMajorVersion; /* LAME's version */
    uint8_t byMinorVersion;
    uint8_t byDay; /* module build date */
    uint8_t byMonth;
    uint16_t wYear;
    char zHomepage[BE_MAX_HOMEPAGE + 1];
    uint8_t byAlphaLevel;
    uint8_t byBetaLevel;
    uint8_t byMMXEnabled;
    uint8_t btReserved[125];
} BE_VERSION;

#pragma pack(pop)

typedef BE_ERR (*BEINITSTREAM)(BE_CONFIG* config, uint32_t* samplesPerChunk,
                               uint32_t* outputBufferSize, HBE_STREAM* stream);
typedef BE_ERR (*BEENCODECHUNK)(HBE_STREAM stream, uint32_t sampleCount, const int16_t* samples,
                                uint8_t* output, uint32_t* outputBytes);
typedef BE_ERR (*BEDEINITSTREAM)(HBE_STREAM stream, uint8_t* output, uint32_t* outputBytes);
typedef BE_ERR (*BECLOSESTREAM)(HBE_STREAM stream);
typedef void (*BEVERSION)(BE_VERSION* version);
typedef BE_ERR (*BEWRITEVBRHEADER)(const char* fileName);
typedef BE_ERR (*BEWRITEINFOTAG)(HBE_STREAM stream, const char* fileName);

#ifdef __cplusplus
}

static_assert(sizeof(BE_CONFIG) == BE_CONFIG_SIZE);
static_assert(offsetof(BE_CONFIG, dwStructVersion) == 4);
static_assert(offsetof(BE_CONFIG, dwSampleRate) == 12);
static_assert(offsetof(BE_CONFIG, dwReSampleRate) == 16);
static_assert(offsetof(BE_CONFIG, nMode) == 20);
static_assert(offsetof(BE_CONFIG, dwBitrate) == 24);
static_assert(offsetof(BE_CONFIG, dwMaxBitrate) == 28);
static_assert(offsetof(BE_CONFIG, nPreset) == 32);
static_assert(offsetof(BE_CONFIG, dwMpegVersion) == 36);
static_assert(offsetof(BE_CONFIG, bPrivate) == 48);
static_assert(offsetof(BE_CONFIG, bCRC) == 52);
static_assert(offsetof(BE_CONFIG, bCopyright) == 56);
static_assert(offsetof(BE_CONFIG, bOriginal) == 60);
static_assert(offsetof(BE_CONFIG, bWriteVBRHeader) == 64);
static_assert(offsetof(BE_CONFIG, bEnableVBR) == 68);
static_assert(offsetof(BE_CONFIG, nVBRQuality) == 72);
static_assert(offsetof(BE_CONFIG, dwVbrAbr_bps) == 76);
static_assert(offsetof(BE_CONFIG, nVbrMethod) == 80);
static_assert(offsetof(BE_CONFIG, bNoRes) == 84);
static_assert(offsetof(BE_CONFIG, bStrictIso) == 88);
static_assert(offsetof(BE_CONFIG, nQuality) == 92);
static_assert(offsetof(BE_CONFIG, btReserved) == 94);
static_assert(sizeof(BE_VERSION) == BE_VERSION_SIZE);
static_assert(offsetof(BE_VERSION, zHomepage) == 8);
static_assert(offsetof(BE_VERSION, byAlphaLevel) == 137);
static_assert(offsetof(BE_VERSION, btReserved) == 140);
#endif

#endif
