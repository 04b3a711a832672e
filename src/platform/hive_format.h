#pragma once
// The hive's file format: REGEDIT4 text in UTF-8.
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Quarrowind\Tonalda\MP3]
//   "Copyright"=dword:00000000
//   "Temppath"="/home/me/.cache/tonalda"
//   "email"=hex(1):6d,65
//
// A quoted string is a REG_SZ stored with its terminating NUL; "\\" and "\"" are its only escapes.
// A string stored without its NUL, or holding characters a quoted line cannot carry, is written
// as hex(1): raw bytes. Other types are kept as hex(n): bytes so that they survive a rewrite.
// Hex lists may continue on the next line after a trailing backslash.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tonalda::hive {

inline constexpr std::uint32_t kTypeString = 1;  // REG_SZ
inline constexpr std::uint32_t kTypeBinary = 3;  // REG_BINARY
inline constexpr std::uint32_t kTypeDword = 4;   // REG_DWORD, 4 bytes little-endian

struct Value {
    std::string name;
    std::uint32_t type = kTypeString;
    std::string data;  // the stored bytes
    bool operator==(const Value&) const = default;
};

struct Key {
    std::string path;  // full path, root included: "HKEY_LOCAL_MACHINE\SOFTWARE\..."
    std::vector<Value> values;
    bool operator==(const Key&) const = default;

    const Value* find(std::string_view name) const;
    void set(std::string_view name, std::uint32_t type, std::string data);
};

// The keys in file order. A key exists when it has a section of its own or a section below it.
struct Document {
    std::vector<Key> keys;
    bool operator==(const Document&) const = default;

    const Key* find(std::string_view path) const;
    Key* find(std::string_view path);
    bool exists(std::string_view path) const;
    // The key's section, added at the end when missing.
    Key& obtain(std::string_view path);
};

struct ParseError {
    std::size_t line = 0;  // 1-based
    std::string message;
};

struct ParseResult {
    std::optional<Document> document;
    ParseError error;  // when document is empty
};

// A file that is empty or holds only blank lines is an empty hive.
ParseResult parse(std::string_view text);
std::string serialize(const Document& document);

// Whether a key path or value name can be written to the file and read back unchanged.
bool isStorableName(std::string_view name);

std::string dwordBytes(std::uint32_t value);
// The number of a REG_DWORD's data; nullopt unless it is exactly four bytes.
std::optional<std::uint32_t> dwordOf(std::string_view data);

}  // namespace tonalda::hive
