#pragma once
// Tables of contents and a rip view for the tests.

#include <vector>

#include "cdinfo/headless_disc_view.h"

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

// The headless view with recorded prompts and a disc whose identity can be made unreadable.
class FakeDiscView final : public HeadlessDiscView {
  public:
    explicit FakeDiscView(std::optional<DiscToc> toc = exampleToc(), int rows = -1)
        : HeadlessDiscView(toc, rows >= 0 ? rows : trackCount(toc), prompts_,
                           [this, toc]() -> std::optional<DiscIdentity> {
                               if (!toc || !identityReadable)
                                   return std::nullopt;
                               return computeDiscIdentityFromToc(*toc);
                           }) {}

    RecordingMessageSink& sink() { return notices(); }
    RecordingPrompter& recordedPrompts() { return prompts_; }
    bool identityReadable = true;

  private:
    static int trackCount(const std::optional<DiscToc>& toc) {
        return toc ? toc->lastTrack - toc->firstTrack + 1 : 0;
    }
    RecordingPrompter prompts_;
};

}  // namespace tonalda::testing
