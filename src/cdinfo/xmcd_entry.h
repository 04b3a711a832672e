#pragma once
// xmcd disc entries as a CDDB read returns them: a comment header with the track frame offsets,
// the disc length and the revision, then KEY=value lines. Text is UTF-8.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tonalda::cddb {

inline constexpr int kXmcdOptionStrictCheck = 100;
inline constexpr int kXmcdOptionYearGenre = 101;
inline constexpr std::size_t kXmcdMaxTracks = 100;
inline constexpr std::size_t kXmcdMaxDiscIds = 10;
inline constexpr std::size_t kXmcdMaxLineCharacters = 256;

struct XmcdTrack {
    int frameOffset = 0;
    std::string title;
    std::string extendedData;
};

// Thread: one thread at a time per entry.
class XmcdEntry {
  public:
    explicit XmcdEntry(std::string text = {}) : text_(std::move(text)) {}

    // Code 100 switches the consistency checks at the end of parsing, 101 whether DYEAR and
    // DGENRE lines are accepted; other codes do nothing.
    void setOption(int code, bool value);
    // True when the whole text follows the xmcd rules. A failed parse leaves what was read so far.
    bool parse();

    // Artist and album made from DTITLE (split at the first " / ").
    const std::string& artist() const { return artist_; }
    const std::string& title() const { return title_; }
    // The title of track index (0 to 99), nullopt outside the range or when it has none.
    std::optional<std::string> trackTitle(int index) const;
    int trackCount() const { return trackCount_; }
    int revision() const { return revision_; }
    int discLength() const { return discLength_; }
    const std::vector<std::uint32_t>& discIds() const { return discIds_; }
    const std::string& dtitle() const { return dtitle_; }
    const std::string& dyear() const { return dyear_; }
    const std::string& dgenre() const { return dgenre_; }
    const std::string& extendedData() const { return extd_; }
    const std::vector<XmcdTrack>& tracks() const { return tracks_; }

  private:
    enum HeaderStage { kFindOffsets, kReadOffsets, kFindLength, kFindRevision, kHeaderDone };
    enum LineKind { kNone, kDiscId, kDTitle, kDYear, kDGenre, kTTitle, kExtD, kExtT, kPlayOrder };

    bool commentLine(std::string_view line);
    bool dataLine(std::string_view line);
    bool trackTitleLine(std::string_view line);
    bool trackExtendedLine(std::string_view line);
    bool finish();

    std::string text_;
    bool strictCheck_ = true;
    bool yearGenreAllowed_ = true;
    int state_ = kFindOffsets;
    int index_ = -1;
    bool inHeader_ = true;
    std::string dtitle_, dyear_, dgenre_, extd_;
    std::string artist_, title_;
    int revision_ = 0;
    int trackCount_ = 0;
    int discLength_ = 0;
    std::vector<std::uint32_t> discIds_;
    std::vector<XmcdTrack> tracks_;
};

}  // namespace tonalda::cddb
