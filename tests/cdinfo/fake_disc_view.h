#pragma once
// A rip view for the tests: a fixed table of contents, rows of tags, recorded messages and
// prompts. Its message handler answers UM_GET_TRACK_TITLE from the rows' titles and applies
// UM_SET_TRACK_TITLE to them, like the real view's title column.

#include <array>
#include <mutex>
#include <vector>

#include "cdinfo/disc_view.h"

namespace tonalda::testing {

struct Msf {
    int minute, second, frame;
};

// A table of contents in MSF form: the tracks' starts and the lead-out; dataTracks marks data.
inline DiscToc makeToc(const std::vector<Msf>& starts, Msf leadOut,
                       const std::vector<bool>& dataTracks = {}, int firstTrack = 1) {
    DiscToc toc{};
    const std::size_t descriptors = starts.size() + 1;
    const std::size_t length = 2 + descriptors * 8;
    toc.dataLength[0] = static_cast<std::uint8_t>(length >> 8);
    toc.dataLength[1] = static_cast<std::uint8_t>(length & 0xFF);
    toc.firstTrack = static_cast<std::uint8_t>(firstTrack);
    toc.lastTrack = static_cast<std::uint8_t>(firstTrack + static_cast<int>(starts.size()) - 1);
    for (std::size_t i = 0; i < descriptors; ++i) {
        const Msf msf = i < starts.size() ? starts[i] : leadOut;
        auto& d = toc.tracks[i];
        d.adrControl = (i < dataTracks.size() && dataTracks[i]) ? 0x14 : 0x10;
        d.trackNumber = i < starts.size()
                            ? static_cast<std::uint8_t>(firstTrack + static_cast<int>(i))
                            : kLeadOutTrack;
        d.address[1] = static_cast<std::uint8_t>(msf.minute);
        d.address[2] = static_cast<std::uint8_t>(msf.second);
        d.address[3] = static_cast<std::uint8_t>(msf.frame);
    }
    return toc;
}

// The disc of the worked example: tracks at 00:02:00 and 03:10:20, lead-out at 06:00:00.
inline DiscToc exampleToc() {
    return makeToc({{0, 2, 0}, {3, 10, 20}}, {6, 0, 0});
}

class FakeDiscView final : public DiscView {
  public:
    explicit FakeDiscView(std::optional<DiscToc> toc = exampleToc(), int rows = -1)
        : toc_(toc), sink_([this](const SentMessage& message) { return handle(message); }) {
        const int count = rows >= 0 ? rows : (toc ? toc->lastTrack - toc->firstTrack + 1 : 0);
        tags_.resize(static_cast<std::size_t>(count));
    }

    MessageSink& messages() override { return sink_; }
    Prompter& prompter() override { return prompter_; }
    std::optional<DiscToc> lastToc() const override { return toc_; }
    std::optional<DiscIdentity> readDiscIdentity() override {
        if (!toc_ || !identityReadable)
            return std::nullopt;
        return computeDiscIdentityFromToc(*toc_);
    }
    std::uint32_t readPlayerKey() override { return toc_ ? computePlayerKeyFromToc(*toc_) : 0; }
    int rowCount() const override {
        std::lock_guard lock(mutex_);
        return static_cast<int>(tags_.size());
    }
    TagInfo rowTag(int row) const override {
        std::lock_guard lock(mutex_);
        return tags_.at(static_cast<std::size_t>(row));
    }
    void updateRowTag(int row, const std::function<void(TagInfo&)>& change) override {
        std::lock_guard lock(mutex_);
        change(tags_.at(static_cast<std::size_t>(row)));
    }

    // The title column; starts with the default titles "Track 01", "Track 02", ...
    std::vector<std::string> titles() const {
        std::lock_guard lock(mutex_);
        return shownTitles_;
    }
    void setTitle(int row, std::string title) {
        std::lock_guard lock(mutex_);
        shownTitles_.at(static_cast<std::size_t>(row)) = std::move(title);
    }
    void fillDefaultTitles() {
        std::lock_guard lock(mutex_);
        shownTitles_.clear();
        for (std::size_t i = 0; i < tags_.size(); ++i) {
            char title[32];
            std::snprintf(title, sizeof title, "Track %02zu", i + 1);
            shownTitles_.push_back(title);
        }
    }

    RecordingMessageSink& sink() { return sink_; }
    RecordingPrompter& recordedPrompts() { return prompter_; }
    bool identityReadable = true;

  private:
    LParam handle(const SentMessage& message) {
        std::lock_guard lock(mutex_);
        if (shownTitles_.size() < tags_.size())
            shownTitles_.resize(tags_.size());
        const auto row = static_cast<std::size_t>(message.message == UM_GET_TRACK_TITLE
                                                      ? message.wParam
                                                      : static_cast<WParam>(message.lParam));
        if (message.message == UM_SET_TRACK_TITLE && row < shownTitles_.size())
            shownTitles_[row] = reinterpret_cast<const char*>(message.wParam);
        if (message.message == UM_GET_TRACK_TITLE && row < shownTitles_.size())
            *reinterpret_cast<std::string*>(message.lParam) = shownTitles_[row];
        return 0;
    }

    std::optional<DiscToc> toc_;
    mutable std::mutex mutex_;
    std::vector<TagInfo> tags_;
    std::vector<std::string> shownTitles_;
    RecordingMessageSink sink_;
    RecordingPrompter prompter_;
};

}  // namespace tonalda::testing
