#include "codecs/stdio_file.h"

#include <sys/stat.h>

namespace tonalda {

long long openFileSize(std::FILE* file) {
    struct stat status {};
    if (!file || fstat(fileno(file), &status) != 0)
        return -1;
    return static_cast<long long>(status.st_size);
}

}  // namespace tonalda
