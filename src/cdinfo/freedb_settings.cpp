#include "cdinfo/freedb_settings.h"

#include <mutex>
#include <utility>

namespace tonalda {
namespace {

std::mutex& settingsMutex() {
    static std::mutex mutex;
    return mutex;
}

FreeDbSettings& sharedSettings() {
    static FreeDbSettings settings;
    return settings;
}

}  // namespace

bool loadFreeDbSettings(Registry& registry, FreeDbSettings& settings) {
    const auto key = registry.openKey(registryKeyPath(kFreeDbGroup), RegistryAccess::Read);
    if (!key)
        return false;
    const std::pair<const char*, std::int32_t*> numbers[] = {{"auth", &settings.auth},
                                                             {"Port", &settings.Port},
                                                             {"pport", &settings.pport},
                                                             {"proxy", &settings.proxy},
                                                             {"Server", &settings.Server}};
    for (const auto& [name, field] : numbers) {
        const auto value = key->readDword(name);
        if (!value)
            return false;
        *field = static_cast<std::int32_t>(*value);
    }
    const std::pair<const char*, std::string*> texts[] = {{"email", &settings.email},
                                                          {"pass", &settings.pass},
                                                          {"proxyserver", &settings.proxyserver},
                                                          {"QueryScript", &settings.QueryScript},
                                                          {"SubmitScript", &settings.SubmitScript},
                                                          {"username", &settings.username}};
    for (const auto& [name, field] : texts) {
        auto value = key->readString(name);
        if (!value)
            return false;
        *field = std::move(*value);
    }
    return true;
}

bool saveFreeDbSettings(Registry& registry, const FreeDbSettings& settings) {
    const auto key = registry.openKey(registryKeyPath(kFreeDbGroup), RegistryAccess::Write);
    if (!key)
        return false;
    const auto dword = [&](const char* name, std::int32_t value) {
        return key->writeDword(name, static_cast<std::uint32_t>(value));
    };
    const auto text = [&](const char* name, const std::string& value) {
        return key->writeString(name, value, /*withTerminator=*/false);
    };
    return dword("Server", settings.Server) && dword("Port", settings.Port) &&
           text("QueryScript", settings.QueryScript) &&
           text("SubmitScript", settings.SubmitScript) && text("email", settings.email) &&
           dword("proxy", settings.proxy) && text("proxyserver", settings.proxyserver) &&
           dword("pport", settings.pport) && dword("auth", settings.auth) &&
           text("username", settings.username) && text("pass", settings.pass);
}

FreeDbSettings freeDbSettings() {
    std::lock_guard lock(settingsMutex());
    return sharedSettings();
}

bool loadFreeDbSettings(Registry& registry) {
    std::lock_guard lock(settingsMutex());
    return loadFreeDbSettings(registry, sharedSettings());
}

bool saveAndReloadFreeDbSettings(const FreeDbSettings& settings, Registry& registry) {
    const bool saved = saveFreeDbSettings(registry, settings);
    loadFreeDbSettings(registry);
    return saved;
}

}  // namespace tonalda
