// The convert list model: adding with the duplicate check and the size text, removing, clearing
// and the row picked for the tag editor.

#include "convert/convert_list.h"

#include <gtest/gtest.h>

#include "platform/prompter.h"
#include "support/temp_dir.h"

namespace tonalda {
namespace {

class ConvertListTest : public ::testing::Test {
  protected:
    std::string file(const std::string& name, std::uintmax_t bytes = 100) {
        const auto path = dir_ / name;
        std::filesystem::create_directories(path.parent_path());
        test::writeFile(path, "");
        std::filesystem::resize_file(path, bytes);
        return path.string();
    }
    std::vector<std::string> names(const ConvertList& list) const {
        std::vector<std::string> result;
        for (int row = 0; row < list.rowCount(); ++row)
            result.push_back(list.row(row).fileName);
        return result;
    }

    test::TempDir dir_;
    RecordingPrompter prompter_;
};

TEST_F(ConvertListTest, AddedRowsShowNameSizeAndTypeAndRepeatsAreRefused) {
    ConvertList list("Wave sound");
    EXPECT_EQ(list.lastRow(), -1);
    const std::string a = file("A/x.wav", 1572864);
    const std::string lower = file("a/x.wav", 1048575);
    const std::string wave = file("a/y.wave");
    EXPECT_EQ(list.addFiles({a, lower}, prompter_), 2);
    // One selection with a listed file in it: the others are still added.
    EXPECT_EQ(list.addFiles({wave, a}, prompter_), 1);
    EXPECT_EQ(prompter_.texts(), std::vector<std::string>{a + "\nhas already been added."});

    ASSERT_EQ(list.rowCount(), 3);
    EXPECT_EQ(list.lastRow(), 2);
    EXPECT_EQ(names(list), (std::vector<std::string>{"x", "x", "y."}));
    EXPECT_EQ(list.row(0).path, a);
    EXPECT_EQ(list.row(0).size, "1.50 MB");
    EXPECT_EQ(list.row(1).size, "0.99 MB");
    EXPECT_EQ(list.row(2).type, "Wave sound");
    EXPECT_EQ(list.row(2).status, "");
    EXPECT_EQ(*list.row(2).tag, TagInfo{});
    EXPECT_EQ(list.find(lower), 1);
}

TEST_F(ConvertListTest, AFileThatCannotBeOpenedIsReportedAndNotListed) {
    ConvertList list;
    const std::string missing = (dir_ / "gone.wav").string();
    EXPECT_EQ(list.addFiles({missing, file("here.wav")}, prompter_), 1);
    ASSERT_EQ(prompter_.texts().size(), 1u);
    EXPECT_TRUE(prompter_.texts()[0].starts_with(missing + "\n"));
    EXPECT_EQ(names(list), std::vector<std::string>{"here"});
}

TEST_F(ConvertListTest, RemoveTakesTheSelectedRowsOnlyAndClearEmptiesTheList) {
    ConvertList list;
    for (const char* name : {"0.wav", "1.wav", "2.wav", "3.wav", "4.wav"})
        list.addFiles({file(name)}, prompter_);

    EXPECT_FALSE(list.removeRows({}, prompter_));
    EXPECT_EQ(prompter_.texts(), std::vector<std::string>{"Please select a wav file!\n"});
    EXPECT_EQ(list.rowCount(), 5);

    EXPECT_TRUE(list.removeRows({2, 3}, prompter_));
    EXPECT_EQ(names(list), (std::vector<std::string>{"0", "1", "4"}));
    EXPECT_TRUE(list.removeRows({0, 2}, prompter_));  // any order
    EXPECT_EQ(names(list), std::vector<std::string>{"1"});

    list.clear();
    EXPECT_EQ(list.lastRow(), -1);
    list.clear();
    EXPECT_EQ(list.lastRow(), -1);
}

TEST_F(ConvertListTest, TagEditorGetsTheFirstSelectedRowsOwnRecord) {
    ConvertList list;
    list.addFiles({file("0.wav"), file("1.wav"), file("2.wav")}, prompter_);
    EXPECT_EQ(list.tagToEdit({}, prompter_), nullptr);
    EXPECT_EQ(prompter_.texts(), std::vector<std::string>{"Invalid Selection"});
    TagInfo* tag = list.tagToEdit({2, 1}, prompter_);
    ASSERT_EQ(tag, list.row(1).tag.get());
    tag->Title1 = "Edited";
    EXPECT_EQ(list.row(1).tag->Title1, "Edited");
    list.removeRows({0}, prompter_);
    EXPECT_EQ(list.row(0).tag->Title1, "Edited") << "the record moves with its row";
}

}  // namespace
}  // namespace tonalda
