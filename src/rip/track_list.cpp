#include "rip/track_list.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cdaccess/cd_engine.h"
#include "cdaccess/cdrom_settings.h"
#include "cdinfo/disc_info.h"
#include "codecs/output_format.h"

namespace tonalda {
namespace {

constexpr int kMaxTracks = 99;

int msfMinute(const TocTrackDescriptor& descriptor) {
    return descriptor.address[1];
}
int msfSecond(const TocTrackDescriptor& descriptor) {
    return descriptor.address[2];
}

// A drive tells of a newly loaded or changed disc once, by failing the next command (UNIT
// ATTENTION); the read after that answers.
int readTocOfLoadedDisc(CdEngine& engine, int handle, DiscToc& toc) {
    return engine.readTOC(handle, toc) == 1 ? 1 : engine.readTOC(handle, toc);
}

std::string trackTitle(int trackNumber) {
    char text[16];
    std::snprintf(text, sizeof text, "Track %02d", trackNumber);
    return text;
}

}  // namespace

std::string durationText(int seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d", seconds / 60, seconds % 60);
    return text;
}

std::vector<TrackRow> rowsFromToc(const DiscToc& lbaToc, const DiscToc& msfToc,
                                  std::int32_t outputFormat,
                                  std::array<std::int32_t, 100>& trackSeconds) {
    trackSeconds.fill(0);
    std::vector<TrackRow> rows;
    const int first = lbaToc.firstTrack;
    // The lead-out descriptor of the last listed track stays inside the reply's 100 descriptors.
    const int count = std::clamp(int{lbaToc.lastTrack} - first + 1, 0, kMaxTracks);
    for (int k = 0; k < count; ++k) {
        const int trackNumber = first + k;
        const TocTrackDescriptor& here = lbaToc.tracks[k];
        const TocTrackDescriptor& next = lbaToc.tracks[k + 1];
        TrackRow row;
        TrackItem& item = row.item;
        item.baseName = trackTitle(trackNumber);
        item.startFrame = here.lba();
        // A table whose next address lies before this one describes no frames, not 4 billion.
        item.frameCount = next.lba() > here.lba() ? next.lba() - here.lba() : 0;

        const int seconds =
            std::max(0, (msfMinute(msfToc.tracks[k + 1]) - msfMinute(msfToc.tracks[k])) * 60 +
                            (msfSecond(msfToc.tracks[k + 1]) - msfSecond(msfToc.tracks[k])));
        if (trackNumber < static_cast<int>(trackSeconds.size()))
            trackSeconds[static_cast<std::size_t>(trackNumber)] = seconds;

        row.text[kColumnTitle] = item.baseName;
        row.text[kColumnTime] = durationText(seconds);
        row.text[kColumnSize] = sizeText(std::uint64_t{item.frameCount} * kFrameBytes);
        row.text[kColumnOutput] = std::string(outputFormatName(outputFormat));

        // Time and Size above keep the full length; only the frames to read lose the gap.
        if (next.isData() && item.frameCount > kSessionGapFrames)
            item.frameCount -= kSessionGapFrames;

        item.tag.reset();
        item.tag.Title1 = item.baseName;
        item.tag.isV1 = 1;
        item.tag.Track1 = std::to_string(trackNumber);
        item.done = false;
        rows.push_back(std::move(row));
    }
    return rows;
}

TrackList::TrackList(CdEngine& engine) : engine_(engine) {}

TrackList::~TrackList() {
    closeSession();
}

void TrackList::closeSession() {
    if (handle_ != 0) {
        engine_.closeCDHandle(handle_);
        handle_ = 0;
    }
}

int TrackList::openAndRead(const CdDriveList& drives, const CdRomSettings& settings) {
    closeSession();
    const int count = std::min<int>(drives.count, static_cast<int>(std::size(drives.drives)));
    if (settings.unit < 0 || settings.unit >= count)
        return -1;
    const CdDriveEntry& drive = drives.drives[settings.unit];
    CdHandleRequest request;
    request.adapter = drive.adapter;
    request.target = drive.target;
    request.lun = drive.lun;
    request.readMethod = 0;
    request.jitterCheckFrames = static_cast<std::uint8_t>(settings.jitterCheck);
    request.overlapFrames = static_cast<std::uint8_t>(settings.overlap);
    handle_ = engine_.getCDHandle(&request);
    if (handle_ == 0)
        return -1;

    int result = 1;
    std::memset(&lbaToc_, 0, sizeof lbaToc_);
    std::memset(&msfToc_, 0, sizeof msfToc_);
    engine_.setCdOption(handle_, kCdOptionMsf, 0);
    if (readTocOfLoadedDisc(engine_, handle_, lbaToc_) != 1)
        result = 0;
    engine_.setCdOption(handle_, kCdOptionMsf, 1);
    if (readTocOfLoadedDisc(engine_, handle_, msfToc_) != 1)
        result = 0;

    engine_.setCdSpeed(handle_, speedKBps(settings.speed));
    applyJitterOptions(engine_, handle_, settings);
    return result;
}

int TrackList::rebuild(const CdDriveList& drives, const CdRomSettings& settings,
                       std::int32_t outputFormat) {
    rows_.clear();
    trackSeconds_.fill(0);
    const int result = openAndRead(drives, settings);
    listState_ = result;
    if (result != 1) {
        enabled_ = false;
        discReady_ = result;
        return result;
    }
    enabled_ = true;
    headerChecked_ = false;
    allChecked_ = false;
    rows_ = rowsFromToc(lbaToc_, msfToc_, outputFormat, trackSeconds_);
    discReady_ = 1;
    return discReady_;
}

int TrackList::refresh(const CdDriveList& drives, const CdRomSettings& settings,
                       std::int32_t outputFormat, SharedDiscInfo& discInfo) {
    const int result = rebuild(drives, settings, outputFormat);
    discInfo.resetAfterRefresh();
    return result;
}

std::string_view TrackList::emptyListText() const {
    if (!rows_.empty())
        return {};
    if (listState_ == 0)
        return kInsertDiscText;
    if (listState_ == -1)
        return kDriveErrorText;
    return {};
}

std::int32_t TrackList::trackSeconds(int trackNumber) const {
    if (trackNumber < 0 || trackNumber >= static_cast<int>(trackSeconds_.size()))
        return 0;
    return trackSeconds_[static_cast<std::size_t>(trackNumber)];
}

const std::string& TrackList::columnText(int row, int column) const {
    return rows_.at(static_cast<std::size_t>(row)).text.at(static_cast<std::size_t>(column));
}

void TrackList::setColumnText(int row, int column, std::string text) {
    rows_.at(static_cast<std::size_t>(row)).text.at(static_cast<std::size_t>(column)) =
        std::move(text);
}

void TrackList::setAllChecked(bool checked) {
    for (TrackRow& row : rows_)
        row.checked = checked;
    headerChecked_ = checked;
}

void TrackList::checkAll() {
    if (discReady_ != 0)
        setAllChecked(true);
}

void TrackList::clear() {
    setAllChecked(false);
}

void TrackList::toggleHeader() {
    if (discReady_ == 0)
        return;
    setAllChecked(!allChecked_);
    allChecked_ = !allChecked_;
}

void TrackList::applyDiscFields(std::string_view artist, std::string_view album,
                                std::int32_t genre) {
    for (TrackRow& row : rows_) {
        row.item.tag.Artist1 = artist;
        row.item.tag.Album1 = album;
        row.item.tag.Genre1 = genre;
    }
}

void TrackList::setOutputFormat(std::int32_t outputFormat) {
    for (TrackRow& row : rows_)
        row.text[kColumnOutput] = std::string(outputFormatName(outputFormat));
}

}  // namespace tonalda
