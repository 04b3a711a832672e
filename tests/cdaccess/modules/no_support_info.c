/* An ASPI module that lacks GetASPI32SupportInfo. */
#include <stdint.h>

__attribute__((visibility("default"))) uint32_t SendASPI32Command(void* request) {
    (void)request;
    return 0x04;
}
