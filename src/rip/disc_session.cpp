#include "rip/disc_session.h"

#include <cstddef>
#include <cstring>

#include "cdaccess/cd_engine.h"
#include "cdaccess/cdrom_settings.h"
#include "cdinfo/disc_identity.h"
#include "cdinfo/freedb_settings.h"
#include "cdinfo/local_library.h"
#include "cdinfo/misc_settings.h"
#include "codecs/mp3_settings.h"
#include "codecs/ogg_settings.h"
#include "codecs/output_settings.h"
#include "codecs/wma_settings.h"
#include "platform/registry.h"
#include "rip/rip_job.h"

namespace tonalda {

DiscSession::DiscSession(CdEngine& engine, Registry& registry, Prompter& prompter,
                         JobEventQueue& events)
    : engine_(engine),
      registry_(registry),
      prompter_(prompter),
      events_(events),
      eventId_(nextJobId()),
      list_(engine),
      lookup_(*this, events),
      submit_(*this, events) {}

DiscSession::~DiscSession() = default;

int DiscSession::loadSettingsGroups(Registry& registry,
                                    const std::function<void(std::string_view group)>& failed) {
    // In kSettingsGroupOrder; a failed group does not stop the later ones.
    const std::array<std::function<bool()>, kSettingsGroupOrder.size()> loads = {
        [&] { return mp3Settings().load(registry); },
        [&] { return loadFreeDbSettings(registry); },
        [&] { return outputSettings().load(registry); },
        [&] { return wmaSettings().load(registry); },
        [&] { return oggSettings().load(registry); },
        [&] { return cdRomSettings().load(registry); },
        [&] { return miscSettings().load(registry); },
    };
    int failures = 0;
    for (std::size_t group = 0; group < loads.size(); ++group) {
        if (!loads[group]()) {
            ++failures;
            if (failed)
                failed(kSettingsGroupOrder[group]);
        }
    }
    return failures;
}

DriveSearch DiscSession::startEngine() {
    if (!engine_.initCdEngine())
        return DriveSearch::NoSharedMemory;
    std::memset(&drives_, 0, sizeof drives_);
    drives_.capacity = 8;
    engine_.enumCdDrives(drives_);
    if (drives_.count == 0)
        return engine_.getLastCdError() == kCdErrNoAdapter ? DriveSearch::NoAdapter
                                                           : DriveSearch::NoDrive;
    return DriveSearch::Found;
}

DriveSearch DiscSession::ensureEngine() {
    if (!search_)
        search_ = startEngine();
    return *search_;
}

std::string DiscSession::selectedDriveDescription() {
    ensureEngine();
    return driveDescription(drives_, cdRomSettings().unit);
}

int DiscSession::rebuild() {
    std::lock_guard lock(mutex_);
    return list_.rebuild(drives_, cdRomSettings(), outputSettings().format);
}

int DiscSession::refresh() {
    std::lock_guard lock(mutex_);
    return list_.refresh(drives_, cdRomSettings(), outputSettings().format, discInfo_);
}

std::filesystem::path DiscSession::libraryFolder() const {
    return miscSettings().cddbPath;
}

bool DiscSession::readLibrary(bool createMissing) {
    if (discReady() != 1)
        return false;
    if (!createMissing &&
        !std::filesystem::exists(libraryFilePath(libraryFolder(), readPlayerKey())))
        return false;
    return readLocalLibrary(*this, libraryFolder());
}

bool DiscSession::saveLibrary() {
    if (discReady() != 1)
        return false;
    // A read of a missing entry creates its file and changes nothing else.
    if (!std::filesystem::exists(libraryFilePath(libraryFolder(), readPlayerKey())))
        readLocalLibrary(*this, libraryFolder());
    return saveLocalLibrary(*this, libraryFolder());
}

bool DiscSession::discUnchanged() {
    DiscToc kept;
    int handle = 0;
    {
        std::lock_guard lock(mutex_);
        if (list_.discReady() != 1)
            return true;
        kept = list_.msfToc();
        handle = list_.sessionHandle();
    }
    // The kept table was read into a zeroed record: compare what the drive sends, header and
    // descriptors.
    const auto sameDisc = [&](const DiscToc& now) {
        const std::size_t bytes =
            offsetof(DiscToc, tracks) + kept.descriptorCount() * sizeof(TocTrackDescriptor);
        return now.descriptorCount() == kept.descriptorCount() &&
               std::memcmp(&now, &kept, bytes) == 0;
    };
    // A drive reports a change of medium once (UNIT ATTENTION): the second read answers.
    for (int attempt = 0; attempt < 2; ++attempt) {
        DiscToc now{};
        if (engine_.readTOCIn(handle, true, now) == 1)
            return sameDisc(now);
    }
    return false;
}

int DiscSession::openRipView() {
    // Without a drive the rebuild finds no session, and the list says so.
    ensureEngine();
    if (miscSettings().toc == 0)
        return discReady();
    const int ready = rebuild();
    if (ready == 1 && miscSettings().autoRead != 0)
        readLibrary(true);
    return ready;
}

int DiscSession::handle() const {
    std::lock_guard lock(mutex_);
    return list_.sessionHandle();
}

int DiscSession::discReady() const {
    std::lock_guard lock(mutex_);
    return list_.discReady();
}

DiscToc DiscSession::lbaToc() const {
    std::lock_guard lock(mutex_);
    return list_.lbaToc();
}

DiscToc DiscSession::msfToc() const {
    std::lock_guard lock(mutex_);
    return list_.msfToc();
}

int DiscSession::firstTrack() const {
    std::lock_guard lock(mutex_);
    return list_.firstTrack();
}

std::int32_t DiscSession::trackSeconds(int trackNumber) const {
    std::lock_guard lock(mutex_);
    return list_.trackSeconds(trackNumber);
}

std::uint32_t DiscSession::leadOutFrame() const {
    std::lock_guard lock(mutex_);
    // The lead-out's descriptor follows the last track's.
    const auto leadOut = static_cast<std::size_t>(list_.rowCount());
    const DiscToc& lba = list_.lbaToc();
    return list_.discReady() == 1 && leadOut < lba.descriptorCount() ? lba.tracks[leadOut].lba()
                                                                     : 0;
}

TrackRow DiscSession::rowLocked(int row) const {
    TrackRow copy;
    if (!validRow(row))
        return copy;
    copy.item = list_.item(row);
    copy.checked = list_.isChecked(row);
    for (int column = 0; column < kTrackColumnCount; ++column)
        copy.text[static_cast<std::size_t>(column)] = list_.columnText(row, column);
    return copy;
}

std::vector<TrackRow> DiscSession::rows() const {
    std::lock_guard lock(mutex_);
    std::vector<TrackRow> rows;
    for (int row = 0; row < list_.rowCount(); ++row)
        rows.push_back(rowLocked(row));
    return rows;
}

TrackRow DiscSession::row(int row) const {
    std::lock_guard lock(mutex_);
    return rowLocked(row);
}

bool DiscSession::validRow(int row) const {
    return row >= 0 && row < list_.rowCount();
}

TrackItem DiscSession::item(int row) const {
    std::lock_guard lock(mutex_);
    return validRow(row) ? list_.item(row) : TrackItem{};
}

bool DiscSession::isChecked(int row) const {
    std::lock_guard lock(mutex_);
    return validRow(row) && list_.isChecked(row);
}

void DiscSession::setChecked(int row, bool checked) {
    std::lock_guard lock(mutex_);
    if (validRow(row))
        list_.setChecked(row, checked);
}

std::string DiscSession::columnText(int row, int column) const {
    std::lock_guard lock(mutex_);
    return validRow(row) ? list_.columnText(row, column) : std::string();
}

std::string_view DiscSession::emptyListText() const {
    std::lock_guard lock(mutex_);
    return list_.emptyListText();
}

bool DiscSession::listEnabled() const {
    std::lock_guard lock(mutex_);
    return list_.enabled();
}

void DiscSession::checkAll() {
    std::lock_guard lock(mutex_);
    list_.checkAll();
}

void DiscSession::clear() {
    std::lock_guard lock(mutex_);
    list_.clear();
}

void DiscSession::toggleHeader() {
    std::lock_guard lock(mutex_);
    list_.toggleHeader();
}

bool DiscSession::headerChecked() const {
    std::lock_guard lock(mutex_);
    return list_.headerChecked();
}

void DiscSession::applyDiscFields(std::string_view artist, std::string_view album,
                                  std::int32_t genre) {
    std::lock_guard lock(mutex_);
    list_.applyDiscFields(artist, album, genre);
}

void DiscSession::setOutputFormat(std::int32_t outputFormat) {
    std::lock_guard lock(mutex_);
    list_.setOutputFormat(outputFormat);
}

std::vector<TrackItem> DiscSession::takeRipQueue(std::int32_t fileNameRule) {
    std::lock_guard lock(mutex_);
    return tonalda::takeRipQueue(list_, fileNameRule);
}

void DiscSession::apply(const JobNotice& notice) {
    std::lock_guard lock(mutex_);
    if (const auto* status = std::get_if<RowStatusChanged>(&notice.event)) {
        if (validRow(status->row))
            list_.setColumnText(status->row, kColumnStatus,
                                std::string(statusText(status->status)));
    } else if (const auto* finished = std::get_if<EntryFinished>(&notice.event)) {
        if (validRow(finished->row))
            list_.item(finished->row).done = finished->complete;
    }
}

std::optional<DiscToc> DiscSession::lastToc() const {
    std::lock_guard lock(mutex_);
    if (list_.discReady() != 1)
        return std::nullopt;
    return list_.msfToc();
}

std::optional<DiscIdentity> DiscSession::readDiscIdentity() {
    // The engine takes the drive session's own lock; a refresh meanwhile makes the read fail.
    DiscIdentity identity;
    if (computeDiscIdentity(engine_, handle(), identity) != 1)
        return std::nullopt;
    return identity;
}

std::uint32_t DiscSession::readPlayerKey() {
    return computePlayerKey(engine_, handle());
}

int DiscSession::rowCount() const {
    std::lock_guard lock(mutex_);
    return list_.rowCount();
}

TagInfo DiscSession::rowTag(int row) const {
    std::lock_guard lock(mutex_);
    return validRow(row) ? list_.item(row).tag : TagInfo{};
}

void DiscSession::updateRowTag(int row, const std::function<void(TagInfo&)>& change) {
    std::lock_guard lock(mutex_);
    if (validRow(row))
        change(list_.item(row).tag);
}

std::string DiscSession::trackTitle(int row) const {
    return columnText(row, kColumnTitle);
}

void DiscSession::setTrackTitle(int row, std::string title) {
    {
        std::lock_guard lock(mutex_);
        if (!validRow(row))
            return;
        list_.setColumnText(row, kColumnTitle, title);
    }
    // Posted outside the lock: a receiver woken by it may read the rows at once.
    events_.post(eventId_, RowTitleChanged{row, std::move(title)});
}

void DiscSession::showDiscInfo() {
    const DiscInfo info = discInfo_.snapshot();
    events_.post(eventId_, DiscInfoChanged{info.artist, info.album, info.genreIndex});
}

}  // namespace tonalda
