#pragma once
// A disc view without a drive session or windows, for the tests: it keeps the disc
// information and the track rows' tags and title column in memory, and asks through a Prompter.
// What a window would have been told is recorded as the view's messages (UM_SHOW_DISC_INFO, and
// UM_SET_TRACK_TITLE with the row in lParam), values only.

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cdinfo/disc_view.h"
#include "platform/messages.h"

namespace tonalda {

// Thread: any.
class HeadlessDiscView : public DiscView {
  public:
    using IdentityReader = std::function<std::optional<DiscIdentity>()>;
    using KeyReader = std::function<std::uint32_t()>;

    // One row per track of toc. The readers default to the identity and the player key of toc
    // itself; the command-line front end passes readers that ask the drive.
    HeadlessDiscView(std::optional<DiscToc> toc, Prompter& prompter,
                     IdentityReader readIdentity = {}, KeyReader readKey = {});
    // The same with a given number of rows.
    HeadlessDiscView(std::optional<DiscToc> toc, int rows, Prompter& prompter,
                     IdentityReader readIdentity = {}, KeyReader readKey = {});

    Prompter& prompter() override { return prompter_; }
    SharedDiscInfo& discInfo() override { return discInfo_; }
    std::optional<DiscToc> lastToc() const override { return toc_; }
    std::optional<DiscIdentity> readDiscIdentity() override;
    std::uint32_t readPlayerKey() override;
    int rowCount() const override;
    TagInfo rowTag(int row) const override;
    void updateRowTag(int row, const std::function<void(TagInfo&)>& change) override;
    std::string trackTitle(int row) const override;
    void setTrackTitle(int row, std::string title) override;
    void showDiscInfo() override;

    // The title column: empty until titles are set.
    std::vector<std::string> titles() const;
    // "Track 01", "Track 02", ... as a fresh track list shows them.
    void fillDefaultTitles();

    // What a window would have been told, in order.
    RecordingMessageSink& notices() { return notices_; }

  private:
    std::optional<DiscToc> toc_;
    Prompter& prompter_;
    IdentityReader readIdentity_;
    KeyReader readKey_;
    mutable std::mutex mutex_;
    std::vector<TagInfo> tags_;
    std::vector<std::string> titles_;
    SharedDiscInfo discInfo_;
    RecordingMessageSink notices_;
};

class CdEngine;

// Readers for a HeadlessDiscView that ask an open drive session of the engine.
HeadlessDiscView::IdentityReader driveIdentityReader(CdEngine& engine, int handle);
HeadlessDiscView::KeyReader drivePlayerKeyReader(CdEngine& engine, int handle);

}  // namespace tonalda
