#include "platform/ini_document.h"

#include "platform/name_case.h"

namespace tonalda::profile {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view trimBlanks(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The name of a "[name]" line.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = trimBlanks(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return trimBlanks(line.substr(1, close - 1));
}

struct Entry {
    std::string_view key;
    std::string_view value;
};

std::optional<Entry> entryOf(std::string_view line) {
    line = trimBlanks(line);
    if (line.empty() || line.front() == ';' || line.front() == '[')
        return std::nullopt;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    return Entry{trimBlanks(line.substr(0, equals)), trimBlanks(line.substr(equals + 1))};
}

bool hasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

IniDocument IniDocument::parse(std::string_view text) {
    IniDocument document;
    if (text.starts_with(kByteOrderMark)) {
        document.byteOrderMark_ = kByteOrderMark;
        text.remove_prefix(kByteOrderMark.size());
    }
    bool endingKnown = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        Line line;
        if (end == std::string_view::npos) {
            // A last line cut short after the CR of a CR LF: the CR ends the line, it is not
            // part of its value.
            if (text.ends_with('\r')) {
                text.remove_suffix(1);
                line.ending = "\r";
            }
            line.text = text;
            text = {};
        } else {
            std::string_view body = text.substr(0, end);
            line.ending = "\n";
            if (!body.empty() && body.back() == '\r') {
                body.remove_suffix(1);
                line.ending = "\r\n";
            }
            line.text = body;
            text.remove_prefix(end + 1);
            if (!endingKnown) {
                document.newline_ = line.ending;
                endingKnown = true;
            }
        }
        document.lines_.push_back(std::move(line));
    }
    return document;
}

std::optional<std::string> IniDocument::find(std::string_view section, std::string_view key) const {
    bool inSection = false;
    for (const Line& line : lines_) {
        if (const auto name = sectionName(line.text)) {
            inSection = equalsIgnoringCase(*name, section);
            continue;
        }
        if (!inSection)
            continue;
        if (const auto entry = entryOf(line.text); entry && equalsIgnoringCase(entry->key, key))
            return std::string(entry->value);
    }
    return std::nullopt;
}

std::size_t IniDocument::sectionEnd(std::size_t header) const {
    std::size_t last = header;  // the last line of the section that is not blank
    for (std::size_t i = header + 1; i < lines_.size(); ++i) {
        if (sectionName(lines_[i].text))
            break;
        if (!trimBlanks(lines_[i].text).empty())
            last = i;
    }
    return last + 1;
}

void IniDocument::insertLine(std::size_t at, std::string text) {
    if (at > 0 && lines_[at - 1].ending.empty())
        lines_[at - 1].ending = newline_;
    else if (at > 0 && lines_[at - 1].ending == "\r")
        lines_[at - 1].ending = "\r\n";
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at),
                  Line{std::move(text), newline_});
}

bool IniDocument::set(std::string_view section, std::string_view key, std::string_view value) {
    // Names that would read back differently, or not at all, are refused.
    if (section.empty() || key.empty() || hasLineBreak(section) || hasLineBreak(key) ||
        section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos ||
        trimBlanks(section) != section || trimBlanks(key) != key || key.front() == ';' ||
        key.front() == '[')
        return false;
    std::string cleanValue(value);
    for (char& c : cleanValue) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }

    std::optional<std::size_t> header;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (const auto name = sectionName(lines_[i].text)) {
            if (!equalsIgnoringCase(*name, section)) {
                if (header)
                    break;
                continue;
            }
            header = header ? header : i;
            continue;
        }
        if (!header)
            continue;
        if (const auto entry = entryOf(lines_[i].text);
            entry && equalsIgnoringCase(entry->key, key)) {
            // The stored spelling of the key stays.
            lines_[i].text = std::string(entry->key) + "=" + cleanValue;
            return true;
        }
    }
    if (header) {
        insertLine(sectionEnd(*header), std::string(key) + "=" + cleanValue);
        return true;
    }
    if (!lines_.empty() && !trimBlanks(lines_.back().text).empty())
        insertLine(lines_.size(), "");
    insertLine(lines_.size(), "[" + std::string(section) + "]");
    insertLine(lines_.size(), std::string(key) + "=" + cleanValue);
    return true;
}

std::string IniDocument::text() const {
    std::string out = byteOrderMark_;
    for (const Line& line : lines_) {
        out += line.text;
        out += line.ending;
    }
    return out;
}

}  // namespace tonalda::profile
