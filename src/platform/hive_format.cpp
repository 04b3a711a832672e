#include "platform/hive_format.h"

#include <charconv>
#include <cstdio>

#include "platform/name_case.h"
#include "platform/text_codec.h"

namespace tonalda::hive {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Characters that a hive line cannot carry as they are; a tab is fine.
bool isControl(unsigned char c) {
    return (c < 0x20 && c != '\t') || c == 0x7F;
}

// Splits the text into lines without their "\n" or "\r\n".
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = asciiLower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

class Parser {
  public:
    explicit Parser(std::string_view text) : lines_(splitLines(text)) {}

    ParseResult run() {
        std::size_t i = 0;
        while (i < lines_.size() && trimBlanks(lines_[i]).empty())
            ++i;
        if (i == lines_.size())
            return {Document{}, {}};
        if (trimBlanks(lines_[i]) != kHeader)
            return failAt(i, "the file does not start with \"REGEDIT4\"");
        Document document;
        Key* current = nullptr;
        for (++i; i < lines_.size(); ++i) {
            const std::string_view line = trimBlanks(lines_[i]);
            if (line.empty() || line.front() == ';')
                continue;
            if (line.front() == '[') {
                if (line.back() != ']')
                    return failAt(i, "a key line must end with \"]\"");
                const std::string_view path = line.substr(1, line.size() - 2);
                if (path.empty() || path.front() == '-')
                    return failAt(
                        i, path.empty() ? "empty key name" : "key deletion is not supported");
                current = &document.obtain(path);
                continue;
            }
            if (!current)
                return failAt(i, "a value outside any key");
            if (!parseValue(i, *current))
                return {std::nullopt, error_};
        }
        return {std::move(document), {}};
    }

  private:
    ParseResult failAt(std::size_t index, std::string message) {
        error_ = {index + 1, std::move(message)};
        return {std::nullopt, error_};
    }
    bool fail(std::size_t index, std::string message) {
        failAt(index, std::move(message));
        return false;
    }

    // Reads a quoted text starting at pos (on the opening quote); leaves pos after the closing one.
    std::optional<std::string> quoted(std::string_view line, std::size_t& pos) {
        std::string out;
        for (++pos; pos < line.size(); ++pos) {
            const char c = line[pos];
            if (c == '"') {
                ++pos;
                return out;
            }
            if (c == '\\') {
                if (++pos == line.size() || (line[pos] != '\\' && line[pos] != '"'))
                    return std::nullopt;
            }
            out.push_back(line[pos]);
        }
        return std::nullopt;
    }

    // A list of comma-separated hex bytes, continued on the next line after a trailing backslash.
    bool hexBytes(std::size_t& index, std::string_view rest, std::string& out) {
        for (;;) {
            rest = trimBlanks(rest);
            bool continued = false;
            if (!rest.empty() && rest.back() == '\\') {
                continued = true;
                rest = trimBlanks(rest.substr(0, rest.size() - 1));
            }
            while (!rest.empty()) {
                const std::size_t comma = rest.find(',');
                const std::string_view item = trimBlanks(rest.substr(0, comma));
                if (item.size() != 2 || hexDigit(item[0]) < 0 || hexDigit(item[1]) < 0)
                    return fail(index, "a hex byte must be two hex digits");
                out.push_back(static_cast<char>(hexDigit(item[0]) * 16 + hexDigit(item[1])));
                if (comma == std::string_view::npos)
                    break;
                rest.remove_prefix(comma + 1);
                // A comma may end the line before a continuation.
                if (trimBlanks(rest).empty() && continued)
                    break;
                if (trimBlanks(rest).empty())
                    return fail(index, "a hex list must not end with a comma");
            }
            if (!continued)
                return true;
            if (++index == lines_.size())
                return fail(index - 1, "the hex list continues past the end of the file");
            rest = lines_[index];
        }
    }

    bool parseValue(std::size_t& index, Key& key) {
        const std::string_view line = trimBlanks(lines_[index]);
        std::size_t pos = 0;
        std::string name;
        if (line.front() == '@') {
            pos = 1;
        } else if (line.front() == '"') {
            auto parsed = quoted(line, pos);
            if (!parsed)
                return fail(index, "unterminated or badly escaped value name");
            name = std::move(*parsed);
        } else {
            return fail(index, "expected a key in brackets or a quoted value name");
        }
        while (pos < line.size() && isBlank(line[pos]))
            ++pos;
        if (pos == line.size() || line[pos] != '=')
            return fail(index, "expected \"=\" after the value name");
        std::string_view data = trimBlanks(line.substr(pos + 1));

        if (!data.empty() && data.front() == '"') {
            std::size_t at = 0;
            auto text = quoted(data, at);
            if (!text)
                return fail(index, "unterminated or badly escaped string");
            if (!trimBlanks(data.substr(at)).empty())
                return fail(index, "text after the closing quote");
            text->push_back('\0');
            key.set(name, kTypeString, std::move(*text));
            return true;
        }
        if (startsWithIgnoringCase(data, "dword:")) {
            const std::string_view digits = data.substr(6);
            std::uint32_t value = 0;
            const auto [end, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
            if (digits.empty() || digits.size() > 8 || ec != std::errc() ||
                end != digits.data() + digits.size())
                return fail(index, "a dword needs one to eight hex digits");
            key.set(name, kTypeDword, dwordBytes(value));
            return true;
        }
        std::uint32_t type = kTypeBinary;
        if (startsWithIgnoringCase(data, "hex:")) {
            data.remove_prefix(4);
        } else if (startsWithIgnoringCase(data, "hex(")) {
            const std::size_t close = data.find(')');
            const std::string_view digits = data.substr(4, close - 4);
            const auto [end, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), type, 16);
            if (close == std::string_view::npos || digits.empty() || digits.size() > 8 ||
                ec != std::errc() || end != digits.data() + digits.size() ||
                close + 1 >= data.size() || data[close + 1] != ':')
                return fail(index, "a typed hex value is written hex(type):bytes");
            data.remove_prefix(close + 2);
        } else if (data == "-") {
            return fail(index, "value deletion is not supported");
        } else {
            return fail(index, "unknown value format");
        }
        std::string bytes;
        if (!hexBytes(index, data, bytes))
            return false;
        key.set(name, type, std::move(bytes));
        return true;
    }

    std::vector<std::string_view> lines_;
    ParseError error_;
};

void appendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (const char c : text) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
}

// A string value can be written quoted when it holds exactly one NUL at its end and nothing
// that a quoted line cannot carry.
bool quotable(std::string_view data) {
    if (data.empty() || data.back() != '\0')
        return false;
    data.remove_suffix(1);
    for (const char c : data) {
        if (c == '\0' || isControl(static_cast<unsigned char>(c)))
            return false;
    }
    return text::isValidUtf8(data);
}

void appendHex(std::string& out, std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            out.push_back(',');
        const auto b = static_cast<unsigned char>(bytes[i]);
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0x0F]);
    }
}

void appendValue(std::string& out, const Value& value) {
    if (value.name.empty()) {
        out.push_back('@');
    } else {
        appendQuoted(out, value.name);
    }
    out.push_back('=');
    if (value.type == kTypeString && quotable(value.data)) {
        appendQuoted(out, std::string_view(value.data).substr(0, value.data.size() - 1));
    } else if (const auto number = value.type == kTypeDword ? dwordOf(value.data) : std::nullopt) {
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08x", *number);
        out += "dword:";
        out += digits;
    } else {
        if (value.type == kTypeBinary) {
            out += "hex:";
        } else {
            char prefix[20];
            std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
            out += prefix;
        }
        appendHex(out, value.data);
    }
    out.push_back('\n');
}

}  // namespace

const Value* Key::find(std::string_view name) const {
    for (const Value& value : values) {
        if (equalsIgnoringCase(value.name, name))
            return &value;
    }
    return nullptr;
}

void Key::set(std::string_view name, std::uint32_t type, std::string data) {
    for (Value& value : values) {
        if (equalsIgnoringCase(value.name, name)) {
            value.type = type;
            value.data = std::move(data);
            return;  // the stored spelling of the name stays
        }
    }
    values.push_back({std::string(name), type, std::move(data)});
}

const Key* Document::find(std::string_view path) const {
    for (const Key& key : keys) {
        if (equalsIgnoringCase(key.path, path))
            return &key;
    }
    return nullptr;
}

Key* Document::find(std::string_view path) {
    return const_cast<Key*>(static_cast<const Document*>(this)->find(path));
}

bool Document::exists(std::string_view path) const {
    for (const Key& key : keys) {
        const std::string_view candidate = key.path;
        if (equalsIgnoringCase(candidate, path) ||
            (candidate.size() > path.size() && candidate[path.size()] == '\\' &&
             startsWithIgnoringCase(candidate, path)))
            return true;
    }
    return false;
}

Key& Document::obtain(std::string_view path) {
    if (Key* key = find(path))
        return *key;
    keys.push_back({std::string(path), {}});
    return keys.back();
}

ParseResult parse(std::string_view text) {
    if (text.starts_with(kByteOrderMark))
        text.remove_prefix(kByteOrderMark.size());
    return Parser(text).run();
}

std::string serialize(const Document& document) {
    std::string out(kHeader);
    out += "\n\n";
    for (const Key& key : document.keys) {
        out.push_back('[');
        out += key.path;
        out += "]\n";
        for (const Value& value : key.values)
            appendValue(out, value);
        out.push_back('\n');
    }
    return out;
}

bool isStorableName(std::string_view name) {
    for (const char c : name) {
        if (isControl(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

std::string dwordBytes(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (std::size_t i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>(value >> (8 * i) & 0xFF);
    return bytes;
}

std::optional<std::uint32_t> dwordOf(std::string_view data) {
    if (data.size() != 4)
        return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(data[i]);
    return value;
}

}  // namespace tonalda::hive
