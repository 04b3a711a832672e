#include "codecs/output_name.h"

namespace tonalda {

std::string replaceLastFourCharacters(std::string_view name, std::string_view extension) {
    std::size_t end = name.size();
    for (int removed = 0; removed < 4 && end > 0; ++removed) {
        --end;
        // Step back over UTF-8 continuation bytes to the start of the character.
        while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
            --end;
    }
    std::string result(name.substr(0, end));
    result += extension;
    return result;
}

}  // namespace tonalda
