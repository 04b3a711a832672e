#pragma once
// A disc view without windows, for the command-line front end: it keeps the track rows' tags and
// title column in memory, applies the title messages to them and asks through a Prompter.
// `tonalda-cli lookup` runs runCddbLookup() on one of these and prints discInfo() and titles();
// `tonalda-cli library` runs the local library operations on one.

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cdinfo/disc_view.h"

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

    MessageSink& messages() override { return sink_; }
    Prompter& prompter() override { return prompter_; }
    std::optional<DiscToc> lastToc() const override { return toc_; }
    std::optional<DiscIdentity> readDiscIdentity() override;
    std::uint32_t readPlayerKey() override;
    int rowCount() const override;
    TagInfo rowTag(int row) const override;
    void updateRowTag(int row, const std::function<void(TagInfo&)>& change) override;

    // The title column: empty until titles arrive by message or are set.
    std::vector<std::string> titles() const;
    void setTitle(int row, std::string title);
    // "Track 01", "Track 02", ... as a fresh track list shows them.
    void fillDefaultTitles();

    // Every message the view received, in order.
    std::vector<SentMessage> receivedMessages() const { return sink_.messages(); }

  private:
    LParam handle(const SentMessage& message);

    std::optional<DiscToc> toc_;
    Prompter& prompter_;
    IdentityReader readIdentity_;
    KeyReader readKey_;
    mutable std::mutex mutex_;
    std::vector<TagInfo> tags_;
    std::vector<std::string> titles_;
    RecordingMessageSink sink_;
};

class CdEngine;

// Readers for a HeadlessDiscView that ask an open drive session of the engine.
HeadlessDiscView::IdentityReader driveIdentityReader(CdEngine& engine, int handle);
HeadlessDiscView::KeyReader drivePlayerKeyReader(CdEngine& engine, int handle);

}  // namespace tonalda
