#include "codecs/module_library.h"

#include <dlfcn.h>

#include <utility>

#include "platform/registry.h"

namespace tonalda {

ModuleLibrary::ModuleLibrary(ModuleLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

ModuleLibrary& ModuleLibrary::operator=(ModuleLibrary&& other) noexcept {
    if (this != &other) {
        if (handle_)
            dlclose(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

ModuleLibrary::~ModuleLibrary() {
    if (handle_)
        dlclose(handle_);
}

ModuleLibrary ModuleLibrary::load(const std::filesystem::path& file) {
    ModuleLibrary library;
    library.handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library.handle_) {
        const char* reason = dlerror();
        library.error_ = reason ? reason : "cannot load " + file.string();
    }
    return library;
}

void* ModuleLibrary::symbol(std::string_view name) const {
    if (!handle_)
        return nullptr;
    return dlsym(handle_, std::string(name).c_str());
}

std::filesystem::path installFolder(Registry& registry) {
    const auto key = registry.openKey(registryKeyPath("Setup"), RegistryAccess::Read);
    if (!key || !key->stringSize("path"))
        return {};
    return key->readString("path").value_or(std::string());
}

}  // namespace tonalda
