#pragma once
// The rip view's track list without its widgets: one row per track of the disc in the chosen
// drive, built from the drive session's table of contents, with every column's text, the check
// boxes and the header toggle. The widget shows what this model holds.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cdaccess/cd_types.h"
#include "codecs/tag_info.h"
#include "platform/size_text.h"

namespace tonalda {

class CdEngine;
class SharedDiscInfo;
struct CdRomSettings;

struct TrackItem {
    std::string baseName;          // output base name without extension
    std::uint32_t startFrame = 0;  // LBA of the track's first frame
    std::uint32_t frameCount = 0;  // frames to extract
    std::int32_t row = 0;          // list position, written when a rip starts
    TagInfo tag;
    bool done = false;  // the track's output file is complete
    bool operator==(const TrackItem&) const = default;
};

enum TrackColumn : int {
    kColumnCheck,
    kColumnTitle,
    kColumnTime,
    kColumnSize,
    kColumnOutput,
    kColumnStatus,
    kColumnProgress,
    kTrackColumnCount
};

// The header texts, in display order; every column is centred. How wide each column is drawn
// belongs to the widgets.
inline constexpr std::array<std::string_view, kTrackColumnCount> kTrackColumnHeaders = {
    " ", "Title", "Time", "Size", "Output", "Status", "Progress"};

// What the empty list shows for each list state.
inline constexpr std::string_view kInsertDiscText = "Please   Insert   An   Audio CD!";
inline constexpr std::string_view kDriveErrorText = "Initialize CD-ROM error!";

// The frames between an Enhanced CD's audio session and its data session: taken off the last
// audio track so that the rip does not read into the gap.
constexpr std::uint32_t kSessionGapFrames = 11250;

// "%02d:%02d" of whole seconds.
std::string durationText(int seconds);

struct TrackRow {
    TrackItem item;
    bool checked = false;
    std::array<std::string, kTrackColumnCount> text;
};

// The rows of a disc from its two table-of-contents copies (addresses as LBA and as MSF). Track t
// is described by descriptor t - first, so discs whose first track number is above 1 list from
// their first track; row r holds track first + r. Fills trackSeconds by track number.
// Thread: any.
std::vector<TrackRow> rowsFromToc(const DiscToc& lbaToc, const DiscToc& msfToc,
                                  std::int32_t outputFormat,
                                  std::array<std::int32_t, 100>& trackSeconds);

// Thread: the user interface thread only. Jobs work on copies of the items.
class TrackList {
  public:
    explicit TrackList(CdEngine& engine);
    // Closes the drive session.
    ~TrackList();
    TrackList(const TrackList&) = delete;
    TrackList& operator=(const TrackList&) = delete;

    // Closes the open session, opens one on the drive at the settings' unit position in drives,
    // reads both table-of-contents copies, sets the speed and jitter options and builds the rows,
    // all unchecked. Returns and keeps discReady: 1 built, 0 the table could not be read, -1 no
    // session could be opened.
    int rebuild(const CdDriveList& drives, const CdRomSettings& settings,
                std::int32_t outputFormat);
    // A rebuild that also forgets the disc information: artist and album " ", no genre.
    int refresh(const CdDriveList& drives, const CdRomSettings& settings, std::int32_t outputFormat,
                SharedDiscInfo& discInfo);
    // Closes the drive session (also done by the destructor).
    void closeSession();

    int discReady() const { return discReady_; }
    // The state the empty list draws: starts at 1, then follows discReady.
    int listState() const { return listState_; }
    // What the list draws while it has no rows; empty when it draws nothing.
    std::string_view emptyListText() const;
    bool enabled() const { return enabled_; }
    bool allChecked() const { return allChecked_; }
    // Which image the header of the check column shows.
    bool headerChecked() const { return headerChecked_; }

    int sessionHandle() const { return handle_; }
    const DiscToc& lbaToc() const { return lbaToc_; }
    const DiscToc& msfToc() const { return msfToc_; }
    int firstTrack() const { return lbaToc_.firstTrack; }
    // Whole-second duration by track number (0 for numbers the disc does not have).
    std::int32_t trackSeconds(int trackNumber) const;

    int rowCount() const { return static_cast<int>(rows_.size()); }
    int trackNumberOfRow(int row) const { return firstTrack() + row; }
    const TrackItem& item(int row) const { return rows_.at(static_cast<std::size_t>(row)).item; }
    TrackItem& item(int row) { return rows_.at(static_cast<std::size_t>(row)).item; }
    bool isChecked(int row) const { return rows_.at(static_cast<std::size_t>(row)).checked; }
    void setChecked(int row, bool checked) {
        rows_.at(static_cast<std::size_t>(row)).checked = checked;
    }
    const std::string& columnText(int row, int column) const;
    void setColumnText(int row, int column, std::string text);

    // "Check All Tracks": only with a disc; leaves allChecked as it was.
    void checkAll();
    // "Clear": leaves allChecked as it was.
    void clear();
    // A click on the check column's header: only with a disc.
    void toggleHeader();
    // The disc artist, album title and genre go into the version 1 fields of every row's tag.
    void applyDiscFields(std::string_view artist, std::string_view album, std::int32_t genre);
    // The Output column of every row shows the format's name.
    void setOutputFormat(std::int32_t outputFormat);

  private:
    int openAndRead(const CdDriveList& drives, const CdRomSettings& settings);
    void setAllChecked(bool checked);

    CdEngine& engine_;
    int handle_ = 0;
    int discReady_ = 0;
    int listState_ = 1;
    bool enabled_ = true;
    bool allChecked_ = false;
    bool headerChecked_ = false;
    DiscToc lbaToc_{};
    DiscToc msfToc_{};
    std::array<std::int32_t, 100> trackSeconds_{};
    std::vector<TrackRow> rows_;
};

}  // namespace tonalda
