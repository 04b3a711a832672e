#pragma once
// The Ogg Vorbis encoder: libvorbisenc set up from the Ogg settings, Vorbis comments from the
// file's tag record, 16-bit stereo PCM read in 4096-byte blocks straight into the analysis buffer.

#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include <cstdio>
#include <memory>

#include "codecs/cd_audio_resampler.h"

namespace tonalda {

class CancelToken;
class ProgressSink;
struct OggSettings;
struct TagInfo;

// Bytes read per block: 1024 stereo frames.
inline constexpr std::size_t kOggBlockBytes = 4096;

// One object serves every job, one file at a time. Per file: beginStream, then (only when it
// succeeded) encodeStream, then endStream. The caller owns both files; it deletes the output
// when its job was cancelled.
// Thread: a job's worker thread.
class OggEncoder {
  public:
    // The settings are read when each stream begins.
    explicit OggEncoder(const OggSettings& settings);
    OggEncoder(const OggEncoder&) = delete;
    OggEncoder& operator=(const OggEncoder&) = delete;
    ~OggEncoder();

    // Sets the encoder up and writes the three header packets as complete pages. False when
    // libvorbisenc refused the settings (or, at a rate other than the CD's, the resampler could
    // not be made); nothing has been written then.
    bool beginStream(std::FILE* output, const TagInfo* tags);
    // Encodes the input from its current position to its end (CD audio: interleaved 16-bit
    // little-endian stereo at 44100 Hz), resampled on the way when the stream has another rate.
    // True when the stream was finished, false when the cancel token (checked before each
    // block) or a failed write stopped it. Progress goes to `progress` (may be null) once per
    // block.
    bool encodeStream(std::FILE* input, std::FILE* output, ProgressSink* progress,
                      const CancelToken& cancel);
    // Releases the libraries' state; safe to call at any time.
    void endStream();

    // The errno of the first page that could not be written since the stream began, else 0.
    // Nothing more is written after it.
    int writeError() const { return writeError_; }
    // The result of the last libvorbisenc set-up call (0 on success).
    int lastSetupResult() const { return setupResult_; }
    int channels() const { return info_.channels; }
    long rate() const { return info_.rate; }
    const vorbis_info& info() const { return info_; }

  private:
    void writePage(std::FILE* output);
    void analyseResampled(const unsigned char* block, int frames);
    void drainResampler();

    const OggSettings& settings_;
    ogg_stream_state stream_{};
    ogg_page page_{};
    ogg_packet packet_{};
    vorbis_info info_{};
    vorbis_comment comment_{};
    vorbis_dsp_state dsp_{};
    vorbis_block block_{};
    // Only while the stream's rate is not the CD's; dropped once drained at the end.
    std::unique_ptr<CdAudioResampler> resampler_;
    bool endOfStream_ = false;
    bool begun_ = false;
    int setupResult_ = 0;
    int writeError_ = 0;
};

}  // namespace tonalda
