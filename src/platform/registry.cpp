#include "platform/registry.h"

#include <cstdlib>
#include <iostream>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/hive_format.h"
#include "platform/user_dirs.h"

namespace tonalda {
namespace {

constexpr std::string_view kMachineRoot = "HKEY_LOCAL_MACHINE";

// "SOFTWARE\A\B" becomes "HKEY_LOCAL_MACHINE\SOFTWARE\A\B"; nullopt for a path that could not be
// stored (empty parts, characters a key line cannot carry).
std::optional<std::string> machinePath(std::string_view path) {
    if (path.empty() || path.front() == '-' || !hive::isStorableName(path))
        return std::nullopt;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find('\\', start);
        if (end == start || start == path.size())
            return std::nullopt;  // an empty part
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return std::string(kMachineRoot) + "\\" + std::string(path);
}

void report(const std::filesystem::path& file, std::string_view message) {
    std::cerr << "tonalda: settings hive " << file.string() << ": " << message << std::endl;
}

// Reads and parses the hive. A missing file is an empty hive; a file that cannot be read or
// parsed is reported on stderr and gives nullopt.
std::optional<hive::Document> loadHive(const std::filesystem::path& file) {
    FileContents contents = readWholeFile(file);
    if (contents.status == FileContents::Status::Missing)
        return hive::Document{};
    if (contents.status == FileContents::Status::Failed) {
        report(file, contents.error);
        return std::nullopt;
    }
    hive::ParseResult parsed = hive::parse(contents.bytes);
    if (!parsed.document) {
        std::cerr << "tonalda: cannot parse the settings hive " << file.string() << ", line "
                  << parsed.error.line << ": " << parsed.error.message
                  << " (the file is left as it is; repair or remove it)" << std::endl;
    }
    return std::move(parsed.document);
}

std::filesystem::path lockFileOf(const std::filesystem::path& file) {
    std::filesystem::path lock = file;
    lock += ".lock";
    return lock;
}

// Applies a change to the hive as it is on the disk now: under the lock, the file is read again,
// changed and replaced atomically. Nothing is written when the file cannot be parsed or the
// change declines (returns false).
template <typename Change>
bool changeHive(const std::filesystem::path& hiveFile, Change&& change) {
    const std::filesystem::path file = replacementTarget(hiveFile);
    std::string error;
    const std::optional<FileLock> lock = FileLock::acquire(lockFileOf(file), error);
    if (!lock) {
        report(file, error);
        return false;
    }
    removeStaleTemporaries(file);
    std::optional<hive::Document> document = loadHive(file);
    if (!document || !change(*document))
        return false;
    // The hive holds the proxy password: new files are readable by their owner only.
    if (!replaceFileAtomically(file, hive::serialize(*document), 0600, false, error)) {
        report(file, error);
        return false;
    }
    return true;
}

class HiveKey final : public RegistryKey {
  public:
    HiveKey(std::filesystem::path file, std::string path, RegistryAccess access, hive::Key snapshot)
        : file_(std::move(file)),
          path_(std::move(path)),
          access_(access),
          snapshot_(std::move(snapshot)) {}

    bool hasValue(std::string_view name) const override { return snapshot_.find(name) != nullptr; }

    std::optional<std::uint32_t> readDword(std::string_view name) const override {
        const hive::Value* value = snapshot_.find(name);
        if (!value || value->type != hive::kTypeDword)
            return std::nullopt;
        return hive::dwordOf(value->data);
    }

    std::optional<std::size_t> stringSize(std::string_view name) const override {
        const hive::Value* value = stringValue(name);
        if (!value)
            return std::nullopt;
        return value->data.size();
    }

    std::optional<std::string> readString(std::string_view name) const override {
        const hive::Value* value = stringValue(name);
        if (!value)
            return std::nullopt;
        const std::string& data = value->data;
        return data.substr(0, data.find('\0'));
    }

    bool writeDword(std::string_view name, std::uint32_t value) override {
        return write(name, hive::kTypeDword, hive::dwordBytes(value));
    }

    bool writeString(std::string_view name, std::string_view value, bool withTerminator) override {
        std::string data(value);
        if (withTerminator)
            data.push_back('\0');
        return write(name, hive::kTypeString, std::move(data));
    }

  private:
    const hive::Value* stringValue(std::string_view name) const {
        const hive::Value* value = snapshot_.find(name);
        return value && value->type == hive::kTypeString ? value : nullptr;
    }

    bool write(std::string_view name, std::uint32_t type, std::string data) {
        if (access_ != RegistryAccess::Write || !hive::isStorableName(name))
            return false;
        const bool written = changeHive(file_, [&](hive::Document& document) {
            if (!document.exists(path_))
                return false;  // the key went away since it was opened
            document.obtain(path_).set(name, type, data);
            return true;
        });
        if (written)
            snapshot_.set(name, type, std::move(data));
        return written;
    }

    std::filesystem::path file_;
    std::string path_;
    RegistryAccess access_;
    hive::Key snapshot_;
};

}  // namespace

std::string registryKeyPath(std::string_view group) {
    return std::string(kRegistryRoot) + "\\" + std::string(group);
}

std::filesystem::path Registry::defaultHivePath() {
    if (const char* hive = std::getenv("TONALDA_HIVE"); hive && hive[0] != '\0')
        return hive;
    return xdgConfigHome() / "tonalda" / "registry.reg";
}

Registry::Registry(std::filesystem::path hiveFile) : file_(std::move(hiveFile)) {}

Registry& Registry::instance() {
    static Registry registry(defaultHivePath());
    return registry;
}

std::unique_ptr<RegistryKey> Registry::openKey(std::string_view path, RegistryAccess access) {
    const std::optional<std::string> full = machinePath(path);
    if (!full)
        return nullptr;
    const std::optional<hive::Document> document = loadHive(file_);
    if (!document || !document->exists(*full))
        return nullptr;
    const hive::Key* key = document->find(*full);
    return std::make_unique<HiveKey>(file_, *full, access, key ? *key : hive::Key{*full, {}});
}

std::unique_ptr<RegistryKey> Registry::createKey(std::string_view path) {
    const std::optional<std::string> full = machinePath(path);
    if (!full)
        return nullptr;
    if (file_.has_parent_path()) {
        std::error_code error;
        std::filesystem::create_directories(file_.parent_path(), error);
        if (error) {
            report(file_, "cannot create its folder: " + error.message());
            return nullptr;
        }
    }
    if (const std::optional<hive::Document> current = loadHive(file_); !current) {
        return nullptr;
    } else if (const hive::Key* existing = current->find(*full)) {
        return std::make_unique<HiveKey>(file_, *full, RegistryAccess::Write, *existing);
    }
    hive::Key snapshot;
    const bool ready = changeHive(file_, [&](hive::Document& document) {
        snapshot = document.obtain(*full);
        return true;
    });
    if (!ready)
        return nullptr;
    return std::make_unique<HiveKey>(file_, *full, RegistryAccess::Write, std::move(snapshot));
}

bool readDwordsInOrder(const RegistryKey& key, std::initializer_list<DwordField> fields) {
    for (const DwordField& field : fields) {
        const std::optional<std::uint32_t> value = key.readDword(field.name);
        if (!value)
            return false;
        *field.target = static_cast<std::int32_t>(*value);
    }
    return true;
}

}  // namespace tonalda
