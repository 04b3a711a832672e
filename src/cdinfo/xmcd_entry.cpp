#include "cdinfo/xmcd_entry.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "cdinfo/cddb_text.h"

namespace tonalda::cddb {
namespace {

bool isBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::size_t skipBlanks(std::string_view text, std::size_t pos) {
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    return pos;
}

// A decimal number after optional blanks, with an optional sign; values beyond int are clamped.
std::optional<int> scanDecimal(std::string_view text) {
    std::size_t pos = skipBlanks(text, 0);
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    const std::size_t digitsStart = pos;
    long long value = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        value = std::min<long long>(value * 10 + (text[pos] - '0'), 1LL + INT_MAX);
        ++pos;
    }
    if (pos == digitsStart)
        return std::nullopt;
    value = negative ? -value : value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// A hexadecimal number after optional blanks and an optional "0x".
std::optional<std::uint32_t> scanHex(std::string_view text) {
    std::size_t pos = skipBlanks(text, 0);
    if (pos + 1 < text.size() && text[pos] == '0' &&
        (text[pos + 1] == 'x' || text[pos + 1] == 'X') && pos + 2 < text.size() &&
        std::isxdigit(static_cast<unsigned char>(text[pos + 2])))
        pos += 2;
    const std::size_t digitsStart = pos;
    std::uint64_t value = 0;
    while (pos < text.size() && std::isxdigit(static_cast<unsigned char>(text[pos]))) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[pos])));
        value = std::min<std::uint64_t>(
            (value << 4) | static_cast<std::uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10),
            UINT32_MAX);
        ++pos;
    }
    if (pos == digitsStart)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

// "Label: number": true when the label is followed by a number (stored) or by nothing at all.
bool readLabelledNumber(std::string_view line, std::size_t labelEnd, int& target) {
    const std::string_view rest = line.substr(labelEnd);
    if (skipBlanks(rest, 0) == rest.size())
        return true;
    const auto number = scanDecimal(rest);
    if (!number)
        return false;
    target = *number;
    return true;
}

std::optional<std::string_view> valueAfterEquals(std::string_view line) {
    const auto equals = line.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    return line.substr(equals + 1);
}

// A line ends at CR LF, LF CR, a lone CR or a lone LF, or at the end of the text.
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        lines.push_back(text.substr(start, end - start));
        if (end < text.size()) {
            const char first = text[end++];
            if (end < text.size() && (text[end] == '\r' || text[end] == '\n') && text[end] != first)
                ++end;
        }
        start = end;
    }
    return lines;
}

}  // namespace

void XmcdEntry::setOption(int code, bool value) {
    if (code == kXmcdOptionStrictCheck)
        strictCheck_ = value;
    else if (code == kXmcdOptionYearGenre)
        yearGenreAllowed_ = value;
}

std::optional<std::string> XmcdEntry::trackTitle(int index) const {
    if (index < 0 || index >= static_cast<int>(tracks_.size()) || tracks_[index].title.empty())
        return std::nullopt;
    return tracks_[index].title;
}

bool XmcdEntry::parse() {
    if (text_.empty())
        return false;
    index_ = -1;
    state_ = kFindOffsets;
    inHeader_ = true;
    for (const std::string_view line : splitLines(text_)) {
        // An overlong line ends the reading as if the text ended before it.
        if (characterCount(line) > kXmcdMaxLineCharacters)
            break;
        if (line.empty())
            return false;
        if (!(line.front() == '#' ? commentLine(line) : dataLine(line)))
            return false;
    }
    return finish();
}

bool XmcdEntry::commentLine(std::string_view line) {
    if (!inHeader_)
        return false;
    if (state_ == kFindOffsets) {
        if (line.find("Track frame offsets:") != std::string_view::npos) {
            index_ = -1;
            state_ = kReadOffsets;
        }
        return true;
    }
    if (state_ == kReadOffsets) {
        if (const auto offset = scanDecimal(line.substr(1))) {
            if (++index_ >= static_cast<int>(kXmcdMaxTracks))
                return false;
            if (index_ >= static_cast<int>(tracks_.size()))
                tracks_.resize(static_cast<std::size_t>(index_) + 1);
            tracks_[static_cast<std::size_t>(index_)].frameOffset = *offset;
            return true;
        }
        trackCount_ = index_ + 1;
        state_ = kFindLength;
        // The line that ended the list is looked at again for the disc length.
    }
    if (state_ == kFindLength) {
        static constexpr std::string_view kLabel = "Disc length:";
        const auto found = line.find(kLabel);
        if (found == std::string_view::npos)
            return true;
        state_ = kFindRevision;
        return readLabelledNumber(line, found + kLabel.size(), discLength_);
    }
    if (state_ == kFindRevision) {
        static constexpr std::string_view kLabel = "Revision:";
        const auto found = line.find(kLabel);
        if (found == std::string_view::npos)
            return true;
        state_ = kHeaderDone;
        return readLabelledNumber(line, found + kLabel.size(), revision_);
    }
    return true;
}

bool XmcdEntry::dataLine(std::string_view line) {
    if (inHeader_) {
        if (state_ != kHeaderDone)
            return false;
        index_ = -1;
        state_ = kNone;
        inHeader_ = false;
    }
    const int previous = state_;
    if (line.starts_with("DISCID=")) {
        std::size_t pos = 7;
        for (;;) {
            if (const auto id = scanHex(line.substr(pos)); id && discIds_.size() < kXmcdMaxDiscIds)
                discIds_.push_back(*id);
            pos = line.find(',', pos);
            if (pos == std::string_view::npos)
                break;
            ++pos;
        }
        state_ = kDiscId;
        return !discIds_.empty() && discIds_.front() != 0;
    }
    if (line.starts_with("DTITLE=")) {
        if (!dtitle_.empty() && previous != kDTitle)
            return false;
        dtitle_ += line.substr(7);
        state_ = kDTitle;
        return true;
    }
    if (line.starts_with("DYEAR=")) {
        if (!yearGenreAllowed_ || previous != kDTitle)
            return false;
        dyear_ += line.substr(6);
        state_ = kDYear;
        return true;
    }
    if (line.starts_with("DGENRE=")) {
        if (!yearGenreAllowed_ || previous != kDYear)
            return false;
        dgenre_ += line.substr(7);
        state_ = kDGenre;
        return true;
    }
    if (line.starts_with("TTITLE"))
        return trackTitleLine(line);
    if (line.starts_with("EXTD=")) {
        if (previous != kTTitle && previous != kExtD)
            return false;
        extd_ += line.substr(5);
        state_ = kExtD;
        return true;
    }
    if (line.starts_with("EXTT"))
        return trackExtendedLine(line);
    if (line.starts_with("PLAYORDER=")) {
        state_ = kPlayOrder;
        return true;
    }
    return false;
}

bool XmcdEntry::trackTitleLine(std::string_view line) {
    const auto number = scanDecimal(line.substr(6));
    if (!number || *number < 0 || *number > 99)
        return false;
    if (state_ == kDTitle && index_ != -1)
        return false;
    if (state_ == kTTitle && *number != index_ && *number != index_ + 1)
        return false;
    const auto value = valueAfterEquals(line);
    if (*number >= static_cast<int>(tracks_.size()) || !value || value->empty())
        return false;
    tracks_[static_cast<std::size_t>(*number)].title += *value;
    index_ = *number;
    state_ = kTTitle;
    return true;
}

bool XmcdEntry::trackExtendedLine(std::string_view line) {
    const auto number = scanDecimal(line.substr(4));
    if (!number || *number < 0 || *number > 99)
        return false;
    if (state_ == kExtT ? *number != index_ && *number != index_ + 1 : state_ != kExtD)
        return false;
    const auto value = valueAfterEquals(line);
    if (*number >= static_cast<int>(tracks_.size()) || !value)
        return false;
    tracks_[static_cast<std::size_t>(*number)].extendedData += *value;
    index_ = *number;
    state_ = kExtT;
    return true;
}

bool XmcdEntry::finish() {
    if (strictCheck_) {
        for (int track = 0; track < trackCount_; ++track)
            if (tracks_[static_cast<std::size_t>(track)].title.empty())
                return false;
        if (trackCount_ > 0 &&
            static_cast<long long>(
                tracks_[static_cast<std::size_t>(trackCount_ - 1)].frameOffset) >=
                static_cast<long long>(discLength_) * 75)
            return false;
    }
    const auto separator = dtitle_.find(" / ");
    if (separator != std::string::npos) {
        artist_ = dtitle_.substr(0, separator);
        title_ = dtitle_.substr(separator + 3);
    } else {
        artist_ = title_ = dtitle_;
    }
    return true;
}

}  // namespace tonalda::cddb
