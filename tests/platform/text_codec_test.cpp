#include "platform/text_codec.h"

#include <gtest/gtest.h>

namespace tonalda::text {
namespace {

TEST(TextCodec, Latin1RoundTripsThroughUtf8) {
    std::string all;
    for (int c = 1; c < 256; ++c)
        all += static_cast<char>(c);
    const std::string utf8 = latin1ToUtf8(all);
    EXPECT_TRUE(isValidUtf8(utf8));
    EXPECT_TRUE(fitsLatin1(utf8));
    EXPECT_EQ(utf8ToLatin1(utf8), all);
    EXPECT_EQ(latin1ToUtf8("Caf\xe9"), "Café");
}

TEST(TextCodec, CharactersOutsideLatin1BecomeOneReplacementEach) {
    EXPECT_FALSE(fitsLatin1("T\u00e8\u65e5"));
    EXPECT_EQ(utf8ToLatin1("T\u00e8\u65e5\U0001F3B5!"), "T\xe8?" "?!");
}

TEST(TextCodec, InvalidUtf8IsRejectedAndReplacedPerByte) {
    for (const std::string_view bad : {"\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80",
                                       "a\x80z", "\xe2\x82"}) {
        EXPECT_FALSE(isValidUtf8(bad)) << bad;
        EXPECT_FALSE(fitsLatin1(bad));
    }
    EXPECT_EQ(utf8ToLatin1("a\x80z"), "a?z");
    EXPECT_EQ(utf8ToLatin1("\xc0\xaf"), "??");
}

TEST(TextCodec, ForeignTextIsTakenAsUtf8WhenValidElseLatin1) {
    EXPECT_EQ(utf8OrLatin1ToUtf8("Bj\xc3\xb6rk"), "Björk");
    EXPECT_EQ(utf8OrLatin1ToUtf8("Bj\xf6rk"), "Björk");
    EXPECT_EQ(utf8OrLatin1ToUtf8(""), "");
}

TEST(TextCodec, Utf16CoversSurrogatePairs) {
    const std::string text = "T\u00e8\u65e5\U0001F3B5";
    const std::u16string wide = utf8ToUtf16(text);
    ASSERT_EQ(wide.size(), 5u);
    EXPECT_EQ(wide[3], 0xD83C);
    EXPECT_EQ(utf16ToUtf8(wide), text);
    EXPECT_EQ(utf16ToUtf8(u"\xD800x"), "\uFFFDx");
    EXPECT_EQ(utf8ToUtf16("\xff"), u"\uFFFD");
}

}  // namespace
}  // namespace tonalda::text
