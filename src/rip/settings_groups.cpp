#include "rip/settings_groups.h"

#include "cdaccess/cdrom_settings.h"
#include "cdinfo/freedb_settings.h"
#include "cdinfo/misc_settings.h"
#include "codecs/mp3_settings.h"
#include "codecs/ogg_settings.h"
#include "codecs/output_settings.h"
#include "codecs/wma_settings.h"
#include "platform/registry.h"

namespace tonalda {

std::array<bool, kSettingsGroupCount> loadSettingsGroups() {
    Registry& registry = Registry::instance();
    // Braced initialisation runs the loads in the order written.
    return {mp3Settings().load(registry),    loadFreeDbSettings(),
            outputSettings().load(registry), wmaSettings().load(registry),
            oggSettings().load(registry),    cdRomSettings().load(registry),
            miscSettings().load(registry)};
}

}  // namespace tonalda
