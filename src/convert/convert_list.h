#pragma once
// The convert view's list of WAV files without its widgets: one row per file with its columns
// and its own tag record, adding with the duplicate check and the size text, removing and
// clearing.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/tag_info.h"

namespace tonalda {

class Prompter;

enum ConvertColumn : int {
    kConvertFilename,
    kConvertPath,
    kConvertSize,
    kConvertType,
    kConvertStatus,
    kConvertProgress,
    kConvertColumnCount
};

// The header texts, in display order. How wide each column is drawn belongs to the widgets.
inline constexpr std::string_view kConvertColumnHeaders[kConvertColumnCount] = {
    "Filename", "Path", "Size", "Type", "Status", "Progress"};

// The type name the list shows for WAV files when the desktop offers none.
inline constexpr std::string_view kWavTypeName = "WAV audio";

struct ConvertItem {
    std::string fileName;  // the file's name without its path and its last four characters
    std::string path;      // as it was added; the row's identity
    std::string size;      // "%d.%02d MB"
    std::string type;
    std::string status;
    // Owned by the row: the ID3 editor changes it in place, the convert jobs read it.
    std::unique_ptr<TagInfo> tag = std::make_unique<TagInfo>();
};

// Thread: the user interface thread only. Jobs work on copies.
class ConvertList {
  public:
    explicit ConvertList(std::string typeName = std::string(kWavTypeName));

    // Adds the files at the end, in the order given. A path already listed (compared byte for
    // byte) is reported as "<path>\nhas already been added." and skipped; a file that cannot be
    // opened to take its size is reported and skipped. Returns how many rows were added.
    int addFiles(const std::vector<std::string>& paths, Prompter& prompter);
    // Removes the selected rows and only those; with none selected it shows
    // "Please select a wav file!\n" and changes nothing. False when nothing was removed.
    bool removeRows(std::vector<int> selected, Prompter& prompter);
    // Removes every row, without asking.
    void clear() { rows_.clear(); }
    // The tag record of the first selected row for the ID3 editor; null after showing
    // "Invalid Selection" when no row is selected.
    TagInfo* tagToEdit(const std::vector<int>& selected, Prompter& prompter);

    int rowCount() const { return static_cast<int>(rows_.size()); }
    // The index of the last row, -1 when the list is empty.
    int lastRow() const { return rowCount() - 1; }
    const ConvertItem& row(int index) const { return rows_.at(static_cast<std::size_t>(index)); }
    ConvertItem& row(int index) { return rows_.at(static_cast<std::size_t>(index)); }
    // The row showing the file, or -1.
    int find(std::string_view path) const;

  private:
    std::string typeName_;
    std::vector<ConvertItem> rows_;
};

}  // namespace tonalda
