#include "drive_config.h"

#include <charconv>
#include <cmath>

#include "sector.h"

namespace tonalda::vdrive {

namespace {

// Splits on `separator` outside backslash escapes; escapes are kept for the next split.
std::vector<std::string> splitEscaped(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            parts.back() += text[i];
            parts.back() += text[++i];
        } else if (text[i] == separator) {
            parts.emplace_back();
        } else {
            parts.back() += text[i];
        }
    }
    return parts;
}

std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            ++i;
        }
        out += text[i];
    }
    return out;
}

std::string trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

template <typename T>
bool parseNumber(const std::string& text, T& value, int base = 10) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

bool parseNumber(const std::string& text, double& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

struct ItemError {
    std::string message;
};

template <typename T>
T number(const std::string& key, const std::string& value, T low, T high) {
    T result{};
    if (!parseNumber(value, result) || result < low || result > high) {
        throw ItemError{key + "=" + value + ": expected a number from " + std::to_string(low) +
                        " to " + std::to_string(high)};
    }
    return result;
}

ScsiAddress parseAddress(const std::string& value) {
    const auto parts = splitEscaped(value, ':');
    if (parts.size() != 3) {
        throw ItemError{"addr=" + value + ": expected ADAPTER:TARGET:LUN"};
    }
    return {number<uint8_t>("addr adapter", parts[0], 0, 7),
            number<uint8_t>("addr target", parts[1], 0, 15),
            number<uint8_t>("addr lun", parts[2], 0, 7)};
}

FailRange parseFailRange(const std::string& value) {
    FailRange range;
    std::string span = value;
    if (const size_t x = value.find('x'); x != std::string::npos) {
        range.times = number<int>("fail count", value.substr(x + 1), 1, 1000000);
        span = value.substr(0, x);
    }
    const size_t dash = span.find('-');
    if (dash == std::string::npos) {
        range.first = range.last = number<int32_t>("fail", span, 0, kMaxDiscFrames);
    } else {
        range.first = number<int32_t>("fail", span.substr(0, dash), 0, kMaxDiscFrames);
        range.last = number<int32_t>("fail", span.substr(dash + 1), 0, kMaxDiscFrames);
    }
    if (range.last < range.first) {
        throw ItemError{"fail=" + value + ": the range ends before it starts"};
    }
    return range;
}

void parseOpcodes(const std::string& key, const std::string& value, std::array<bool, 256>& set) {
    for (const auto& code : splitEscaped(value, '+')) {
        unsigned parsed = 0;
        if (!parseNumber(trim(code), parsed, 16) || parsed > 0xFF) {
            throw ItemError{key + "=" + value + ": expected hexadecimal opcodes like BE,28"};
        }
        set[parsed] = true;
    }
}

std::string inquiryText(const std::string& key, const std::string& value, size_t width) {
    if (value.size() > width) {
        throw ItemError{key + "=" + value + ": at most " + std::to_string(width) + " characters"};
    }
    for (unsigned char c : value) {
        if (c < 0x20 || c > 0x7E) {
            throw ItemError{key + "=" + value + ": printable ASCII only"};
        }
    }
    return value;
}

// Items of an opcode list follow their key as extra comma-separated fields ("refuse=BE,28"):
// a field without '=' that is a hex byte continues the list before it.
DriveConfig parseItem(const std::string& item) {
    const auto fields = splitEscaped(item, ',');
    DriveConfig config;
    config.source = unescape(trim(fields[0]));
    if (config.source.empty()) {
        throw ItemError{"no disc source"};
    }
    std::string listKey;
    for (size_t i = 1; i < fields.size(); ++i) {
        const std::string field = trim(fields[i]);
        const size_t equals = field.find('=');
        if (equals == std::string::npos && !listKey.empty() && field.size() <= 2 &&
            !field.empty()) {
            parseOpcodes(listKey, field, listKey == "refuse" ? config.refused : config.silent);
            continue;
        }
        listKey.clear();
        const std::string key = trim(field.substr(0, equals));
        const std::string value =
            equals == std::string::npos ? std::string() : unescape(trim(field.substr(equals + 1)));
        const bool hasValue = equals != std::string::npos;
        if (!hasValue && key != "nodisc" && key != "change" && key != "noaudio") {
            throw ItemError{"\"" + field + "\": expected key=value"};
        }
        if (key == "addr") {
            config.address = parseAddress(value);
        } else if (key == "vendor") {
            config.vendor = inquiryText(key, value, 8);
        } else if (key == "product") {
            config.product = inquiryText(key, value, 16);
        } else if (key == "revision") {
            config.revision = inquiryText(key, value, 4);
        } else if (key == "info") {
            config.vendorSpecific = inquiryText(key, value, 20);
        } else if (key == "jitter") {
            config.jitter = number<int>(key, value, 0, 100000);
        } else if (key == "seed") {
            config.seed = number<uint64_t>(key, value, 0, UINT64_MAX);
        } else if (key == "fail") {
            config.failures.push_back(parseFailRange(value));
        } else if (key == "refuse" || key == "silent") {
            parseOpcodes(key, value, key == "refuse" ? config.refused : config.silent);
            listKey = key;
        } else if (key == "speed") {
            double speed = 0;
            if (!parseNumber(value, speed) || !std::isfinite(speed) || speed <= 0 || speed > 1e6) {
                throw ItemError{"speed=" + value + ": expected a positive factor of real time"};
            }
            config.speed = speed;
        } else if (key == "delay") {
            config.delayMs = number<int>(key, value, 0, 60000);
        } else if (key == "nodisc" && !hasValue) {
            config.noDisc = true;
        } else if (key == "change") {
            config.mediaChangeAt = hasValue ? number<int>(key, value, 1, 1000000) : 1;
        } else if (key == "noaudio" && !hasValue) {
            config.audioOutput = false;
        } else if (key == "type") {
            config.deviceType = number<int>(key, value, 0, 31);
        } else {
            throw ItemError{"unknown key \"" + key + "\""};
        }
    }
    return config;
}

}  // namespace

DriveList parseDriveList(const std::string& text) {
    DriveList list;
    int position = 0;
    for (const auto& raw : splitEscaped(text, ';')) {
        const std::string item = trim(raw);
        if (item.empty()) {
            continue;
        }
        ++position;
        const std::string name = "drive " + std::to_string(position) + " \"" + item + "\"";
        try {
            if (list.drives.size() == kMaxDrives) {
                throw ItemError{"more than " + std::to_string(kMaxDrives) + " drives"};
            }
            DriveConfig config = parseItem(item);
            config.item = item;
            if (config.address) {
                for (const auto& other : list.drives) {
                    if (other.address == config.address) {
                        throw ItemError{"its address is taken by an earlier drive"};
                    }
                }
            }
            list.drives.push_back(std::move(config));
        } catch (const ItemError& error) {
            list.errors.push_back(name + ": " + error.message);
        }
    }
    // Drives without an address take the first free target, eight to an adapter.
    for (auto& drive : list.drives) {
        if (drive.address) {
            continue;
        }
        for (int slot = 0; slot < 64; ++slot) {
            const ScsiAddress candidate{static_cast<uint8_t>(slot / 8),
                                        static_cast<uint8_t>(slot % 8), 0};
            bool taken = false;
            for (const auto& other : list.drives) {
                taken = taken || (other.address && *other.address == candidate);
            }
            if (!taken) {
                drive.address = candidate;
                break;
            }
        }
    }
    return list;
}

}  // namespace tonalda::vdrive
