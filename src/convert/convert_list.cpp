#include "convert/convert_list.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "codecs/output_name.h"
#include "platform/prompter.h"
#include "platform/size_text.h"

namespace fs = std::filesystem;

namespace tonalda {

ConvertList::ConvertList(std::string typeName) : typeName_(std::move(typeName)) {}

int ConvertList::find(std::string_view path) const {
    for (int index = 0; index < rowCount(); ++index)
        if (rows_[static_cast<std::size_t>(index)].path == path)
            return index;
    return -1;
}

int ConvertList::addFiles(const std::vector<std::string>& paths, Prompter& prompter) {
    int added = 0;
    for (const std::string& path : paths) {
        if (find(path) >= 0) {
            prompter.tell(path + "\nhas already been added.");
            continue;
        }
        std::error_code error;
        const std::uintmax_t bytes =
            fs::is_regular_file(path, error) ? fs::file_size(path, error) : std::uintmax_t{0};
        if (error || !fs::is_regular_file(path)) {
            prompter.tell(path + "\ncannot be opened.", PromptIcon::Error);
            continue;
        }
        ConvertItem item;
        item.fileName = replaceLastFourCharacters(fs::path(path).filename().string(), "");
        item.path = path;
        item.size = sizeText(bytes);
        item.type = typeName_;
        rows_.push_back(std::move(item));
        ++added;
    }
    return added;
}

bool ConvertList::removeRows(std::vector<int> selected, Prompter& prompter) {
    std::erase_if(selected, [this](int index) { return index < 0 || index >= rowCount(); });
    if (selected.empty()) {
        prompter.tell("Please select a wav file!\n");
        return false;
    }
    // From the highest index down, so the indices still to go do not shift.
    std::sort(selected.begin(), selected.end(), std::greater<>());
    selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
    for (const int index : selected)
        rows_.erase(rows_.begin() + index);
    return true;
}

TagInfo* ConvertList::tagToEdit(const std::vector<int>& selected, Prompter& prompter) {
    int first = -1;
    for (const int index : selected)
        if (index >= 0 && index < rowCount() && (first < 0 || index < first))
            first = index;
    if (first < 0) {
        prompter.tell("Invalid Selection");
        return nullptr;
    }
    return row(first).tag.get();
}

}  // namespace tonalda
