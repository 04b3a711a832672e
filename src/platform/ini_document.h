#pragma once
// An INI file held as its lines, so that a change rewrites one line and keeps every other one
// byte for byte: comments, blank lines, line endings and lines it does not understand.
//
// "[name]" starts a section; "key=value" is an entry (blanks around key and value are ignored);
// lines starting with ";" are comments. Section and key names compare without regard to case.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tonalda::profile {

class IniDocument {
  public:
    static IniDocument parse(std::string_view text);

    // The value of the first entry named key in a section named section.
    std::optional<std::string> find(std::string_view section, std::string_view key) const;
    // Replaces the entry's line, or adds the entry at the end of the section, or adds the
    // section at the end of the file. Line breaks in the value become blanks, so a value can
    // never add lines of its own. False (and no change) for a section or key name that the
    // file could not carry.
    bool set(std::string_view section, std::string_view key, std::string_view value);

    std::string text() const;

  private:
    struct Line {
        std::string text;
        std::string ending;  // "\n", "\r\n", or empty for a last line without one
    };
    // Where a new entry of the section starting at header goes: after its last non-blank line.
    std::size_t sectionEnd(std::size_t header) const;
    void insertLine(std::size_t at, std::string text);

    std::string byteOrderMark_;
    std::vector<Line> lines_;
    std::string newline_ = "\n";
};

}  // namespace tonalda::profile
