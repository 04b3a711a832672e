#pragma once
// An open C stream that closes itself.

#include <cstdio>
#include <filesystem>
#include <memory>

namespace tonalda {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

inline UniqueFile openFile(const std::filesystem::path& path, const char* mode) {
    return UniqueFile(std::fopen(path.c_str(), mode));
}

}  // namespace tonalda
