#include "cdinfo/headless_disc_view.h"

#include <cstdio>

#include "cdaccess/cd_engine.h"

namespace tonalda {
namespace {

int tracksOf(const std::optional<DiscToc>& toc) {
    return toc && toc->lastTrack >= toc->firstTrack ? toc->lastTrack - toc->firstTrack + 1 : 0;
}

}  // namespace

HeadlessDiscView::HeadlessDiscView(std::optional<DiscToc> toc, Prompter& prompter,
                                   IdentityReader readIdentity, KeyReader readKey)
    : HeadlessDiscView(toc, tracksOf(toc), prompter, std::move(readIdentity), std::move(readKey)) {}

HeadlessDiscView::HeadlessDiscView(std::optional<DiscToc> toc, int rows, Prompter& prompter,
                                   IdentityReader readIdentity, KeyReader readKey)
    : toc_(toc),
      prompter_(prompter),
      readIdentity_(std::move(readIdentity)),
      readKey_(std::move(readKey)),
      tags_(static_cast<std::size_t>(std::max(rows, 0))),
      titles_(tags_.size()) {}

std::optional<DiscIdentity> HeadlessDiscView::readDiscIdentity() {
    if (readIdentity_)
        return readIdentity_();
    return toc_ ? std::optional(computeDiscIdentityFromToc(*toc_)) : std::nullopt;
}

std::uint32_t HeadlessDiscView::readPlayerKey() {
    if (readKey_)
        return readKey_();
    return toc_ ? computePlayerKeyFromToc(*toc_) : 0;
}

int HeadlessDiscView::rowCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(tags_.size());
}

TagInfo HeadlessDiscView::rowTag(int row) const {
    std::lock_guard lock(mutex_);
    return tags_.at(static_cast<std::size_t>(row));
}

void HeadlessDiscView::updateRowTag(int row, const std::function<void(TagInfo&)>& change) {
    std::lock_guard lock(mutex_);
    change(tags_.at(static_cast<std::size_t>(row)));
}

std::vector<std::string> HeadlessDiscView::titles() const {
    std::lock_guard lock(mutex_);
    return titles_;
}

std::string HeadlessDiscView::trackTitle(int row) const {
    std::lock_guard lock(mutex_);
    return row >= 0 && static_cast<std::size_t>(row) < titles_.size()
               ? titles_[static_cast<std::size_t>(row)]
               : std::string();
}

void HeadlessDiscView::setTrackTitle(int row, std::string title) {
    {
        std::lock_guard lock(mutex_);
        if (row < 0 || static_cast<std::size_t>(row) >= titles_.size())
            return;
        titles_[static_cast<std::size_t>(row)] = std::move(title);
    }
    notices_.send(UM_SET_TRACK_TITLE, 0, row);
}

void HeadlessDiscView::showDiscInfo() {
    notices_.send(UM_SHOW_DISC_INFO);
}

void HeadlessDiscView::fillDefaultTitles() {
    std::lock_guard lock(mutex_);
    for (std::size_t row = 0; row < titles_.size(); ++row) {
        char title[32];
        std::snprintf(title, sizeof title, "Track %02zu", row + 1);
        titles_[row] = title;
    }
}

HeadlessDiscView::IdentityReader driveIdentityReader(CdEngine& engine, int handle) {
    return [&engine, handle]() -> std::optional<DiscIdentity> {
        DiscIdentity identity;
        if (computeDiscIdentity(engine, handle, identity) != 1)
            return std::nullopt;
        return identity;
    };
}

HeadlessDiscView::KeyReader drivePlayerKeyReader(CdEngine& engine, int handle) {
    return [&engine, handle] { return computePlayerKey(engine, handle); };
}

}  // namespace tonalda
