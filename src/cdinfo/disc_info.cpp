#include "cdinfo/disc_info.h"

namespace tonalda {

SharedDiscInfo& discInfo() {
    static SharedDiscInfo shared;
    return shared;
}

}  // namespace tonalda
