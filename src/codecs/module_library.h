#pragma once
// A run-time module (a shared library loaded with dlopen) and the entry points it offers.

#include <filesystem>
#include <string>
#include <string_view>

namespace tonalda {

// Thread: any; one object is used by one thread at a time.
class ModuleLibrary {
  public:
    ModuleLibrary() = default;
    ModuleLibrary(const ModuleLibrary&) = delete;
    ModuleLibrary& operator=(const ModuleLibrary&) = delete;
    ModuleLibrary(ModuleLibrary&& other) noexcept;
    ModuleLibrary& operator=(ModuleLibrary&& other) noexcept;
    ~ModuleLibrary();

    // Loads the module now (every symbol resolved at once, none made global). Loading a module
    // that is already loaded counts one more load. On failure the result is empty and error()
    // says why.
    static ModuleLibrary load(const std::filesystem::path& file);

    bool loaded() const { return handle_ != nullptr; }
    const std::string& error() const { return error_; }

    // The entry point's address, or nullptr when the module does not offer it.
    template <typename Function>
    Function entryPoint(std::string_view name) const {
        return reinterpret_cast<Function>(symbol(name));
    }

  private:
    void* symbol(std::string_view name) const;

    void* handle_ = nullptr;
    std::string error_;
};

// The install folder: the Setup key's "path" value, read as the size first and then the text.
// Empty when the key or the value cannot be read.
class Registry;
std::filesystem::path installFolder(Registry& registry);

}  // namespace tonalda
