#pragma once
// The settings hive: keys and values under HKEY_LOCAL_MACHINE kept in one UTF-8 text file in the
// REGEDIT4 format. Key and value names compare without regard to case and keep their case.
// Opening a key never creates it; only the installer creates keys. Every write reaches the disk
// atomically under an advisory file lock, re-reading the file first, so writers in two processes
// keep each other's values.

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tonalda {

// The program's keys, relative to HKEY_LOCAL_MACHINE.
inline constexpr std::string_view kRegistryRoot = "SOFTWARE\\Quarrowind\\Tonalda";
std::string registryKeyPath(std::string_view group);  // kRegistryRoot + "\\" + group

enum class RegistryAccess { Read, Write };

class RegistryKey;

// Thread: any; each call re-reads or rewrites the file under its lock.
class Registry {
  public:
    // The hive named by $TONALDA_HIVE, else $XDG_CONFIG_HOME/tonalda/registry.reg
    // (~/.config/tonalda/registry.reg).
    static std::filesystem::path defaultHivePath();

    explicit Registry(std::filesystem::path hiveFile);
    // The process-wide hive at defaultHivePath(), read when first asked for.
    static Registry& instance();

    const std::filesystem::path& file() const { return file_; }

    // Opens an existing key (path relative to HKEY_LOCAL_MACHINE, "\" separated). A missing key,
    // or a hive that cannot be read or parsed (reported on stderr with file and line), gives
    // nullptr.
    std::unique_ptr<RegistryKey> openKey(std::string_view path, RegistryAccess access);
    // Creates the key and its parents when missing, then opens it for writing. For the installer.
    std::unique_ptr<RegistryKey> createKey(std::string_view path);

  private:
    std::filesystem::path file_;
};

// An open key. Reads see the hive as it was when the key was opened plus this key's own writes.
// A value of the wrong type reads like a missing one.
class RegistryKey {
  public:
    virtual ~RegistryKey() = default;

    // Whether a value of that name exists, whatever its type.
    virtual bool hasValue(std::string_view name) const = 0;
    virtual std::optional<std::uint32_t> readDword(std::string_view name) const = 0;
    // Size in bytes of a string value as stored, terminating NUL included when it was written
    // with one. nullopt when missing or not a string.
    virtual std::optional<std::size_t> stringSize(std::string_view name) const = 0;
    // The string without any terminating NUL.
    virtual std::optional<std::string> readString(std::string_view name) const = 0;

    // Writes fail (false) on a key opened for reading or when the hive cannot be written.
    virtual bool writeDword(std::string_view name, std::uint32_t value) = 0;
    virtual bool writeString(std::string_view name, std::string_view value,
                             bool withTerminator = true) = 0;
};

// One value of a settings load: its name and the field it goes into.
struct DwordField {
    std::string_view name;
    std::int32_t* target;
};
// Reads the DWORDs in the order given, as the settings loads do: the first value that is missing
// or not a DWORD ends the load with false; fields before it keep their new contents, the rest
// are left as they were.
bool readDwordsInOrder(const RegistryKey& key, std::initializer_list<DwordField> fields);

}  // namespace tonalda
