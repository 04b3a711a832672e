// The INI reader and writer on arbitrary files and names: never a crash, unchanged text comes
// back byte for byte, a write reads back as written and leaves other entries as they were.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/ini_document.h"
#include "platform/name_case.h"

namespace {

std::string expectedValue(std::string value) {
    for (char& c : value) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!value.empty() && blank(value.back()))
        value.pop_back();
    std::size_t start = 0;
    while (start < value.size() && blank(value[start]))
        ++start;
    return value.substr(start);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using tonalda::equalsIgnoringCase;
    using tonalda::profile::IniDocument;
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(16);
    const std::string key = input.ConsumeRandomLengthString(16);
    const std::string value = input.ConsumeRandomLengthString(32);
    const std::string otherSection = input.ConsumeRandomLengthString(16);
    const std::string otherKey = input.ConsumeRandomLengthString(16);
    const std::string text = input.ConsumeRemainingBytesAsString();

    IniDocument document = IniDocument::parse(text);
    if (document.text() != text)
        __builtin_trap();
    const auto otherBefore = document.find(otherSection, otherKey);
    if (!document.set(section, key, value))
        return 0;
    const IniDocument reread = IniDocument::parse(document.text());
    if (reread.find(section, key) != expectedValue(value))
        __builtin_trap();
    const bool same = equalsIgnoringCase(section, otherSection) && equalsIgnoringCase(key, otherKey);
    if (!same && reread.find(otherSection, otherKey) != otherBefore)
        __builtin_trap();
    return 0;
}
