#include "rip/segment_range.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "codecs/output_format.h"
#include "platform/size_text.h"

namespace fs = std::filesystem;

namespace tonalda {

namespace {

bool endsWithIgnoringCase(std::string_view text, std::string_view ending) {
    return text.size() >= ending.size() &&
           std::equal(ending.begin(), ending.end(), text.end() - ending.size(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

}  // namespace

SegmentDisc SegmentDisc::fromToc(const DiscToc& lbaToc, int tracks) {
    SegmentDisc disc;
    disc.firstTrack = lbaToc.firstTrack;
    const int listed = std::clamp<int>(tracks, 0, static_cast<int>(lbaToc.descriptorCount()) - 1);
    for (int k = 0; k < listed; ++k)
        disc.trackStarts.push_back(lbaToc.tracks[k].lba());
    disc.length = listed > 0 ? lbaToc.tracks[listed].lba() : 0;
    return disc;
}

std::string minuteSecondText(std::uint32_t frames) {
    const std::uint32_t seconds = frames / kFramesPerSecond;
    char text[32];
    std::snprintf(text, sizeof text, "%u:%u", seconds / 60, seconds % 60);
    return text;
}

std::optional<TrackPlace> trackPlace(const SegmentDisc& disc, std::uint32_t frame) {
    if (disc.trackStarts.empty())
        return std::nullopt;
    // The last track whose start is not after the frame; a frame before the first track (a
    // disc whose first track starts late) counts to the first.
    const auto after = std::upper_bound(disc.trackStarts.begin(), disc.trackStarts.end(), frame);
    const std::size_t index = after == disc.trackStarts.begin()
                                  ? 0
                                  : static_cast<std::size_t>(after - disc.trackStarts.begin()) - 1;
    const std::uint32_t start = disc.trackStarts[index];
    return TrackPlace{disc.firstTrack + static_cast<int>(index),
                      minuteSecondText(frame > start ? frame - start : 0)};
}

SegmentTotals segmentTotals(std::uint32_t frames) {
    return {std::to_string(frames), minuteSecondText(frames),
            sizeText(std::uint64_t{frames} * kFrameBytes)};
}

SegmentSelection::SegmentSelection(std::uint32_t length) : length_(length), end_(length) {}

std::uint32_t SegmentSelection::frameAt(int position) const {
    position = std::clamp(position, 0, kSegmentSliderRange);
    return static_cast<std::uint32_t>(std::uint64_t{static_cast<std::uint32_t>(position)} *
                                      length_ / kSegmentSliderRange);
}

int SegmentSelection::sliderPositionOf(std::uint32_t frame) const {
    if (length_ == 0)
        return 0;
    return static_cast<int>(std::uint64_t{std::min(frame, length_)} * kSegmentSliderRange /
                            length_);
}

void SegmentSelection::moveStartSlider(int position) {
    startSlider_ = std::clamp(position, 0, endSlider_);
    start_ = std::min(frameAt(startSlider_), end_);
}

void SegmentSelection::moveEndSlider(int position) {
    endSlider_ = std::clamp(position, startSlider_, kSegmentSliderRange);
    // A typed start off the slider's grid may lie just after the position's frame.
    end_ = std::max(frameAt(endSlider_), start_);
}

bool SegmentSelection::typeStart(std::uint64_t frame) {
    const bool exceeded = frame > length_;
    start_ = exceeded ? end_ : static_cast<std::uint32_t>(std::min<std::uint64_t>(frame, end_));
    startSlider_ = sliderPositionOf(start_);
    return exceeded;
}

bool SegmentSelection::typeEnd(std::uint64_t frame) {
    const bool exceeded = frame > length_;
    end_ = exceeded ? length_ : static_cast<std::uint32_t>(frame);
    end_ = std::max(end_, start_);
    endSlider_ = sliderPositionOf(end_);
    return exceeded;
}

MsfAddress msfOfBlock(std::uint32_t block) {
    const std::uint32_t address = block + kLeadInFrames;
    const std::uint32_t seconds = address / kFramesPerSecond;
    return {static_cast<std::uint8_t>(std::min<std::uint32_t>(seconds / 60, 255)),
            static_cast<std::uint8_t>(seconds % 60),
            static_cast<std::uint8_t>(address % kFramesPerSecond)};
}

std::optional<fs::path> segmentOutputName(std::string_view typed, const fs::path& ripFolder,
                                          std::int32_t format) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!typed.empty() && blank(typed.front()))
        typed.remove_prefix(1);
    while (!typed.empty() && blank(typed.back()))
        typed.remove_suffix(1);
    if (typed.empty() || typed.back() == '/')
        return std::nullopt;
    std::string name(typed);
    const std::string_view extension = outputFormatExtension(format);
    if (endsWithIgnoringCase(name, extension))
        name.replace(name.size() - extension.size(), extension.size(), extension);
    else
        name += extension;
    const fs::path path(name);
    return path.is_absolute() ? path : ripFolder / path;
}

}  // namespace tonalda
