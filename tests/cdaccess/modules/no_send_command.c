/* An ASPI module that lacks SendASPI32Command. */
#include <stdint.h>

__attribute__((visibility("default"))) uint32_t GetASPI32SupportInfo(void) {
    return 0x0101;
}
