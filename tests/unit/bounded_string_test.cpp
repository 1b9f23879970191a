#include "comm/api/bounded_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using tola::bStr_cat;
using tola::bStr_cpy;

TEST(BoundedCopy, NameFieldTakesAtMostTwentyFourCharacters) {
    char field[26];
    std::memset(field, 'x', sizeof field);
    field[25] = 0;
    const std::string before(field);

    EXPECT_EQ(0, bStr_cpy(field, std::string(25, 'a').c_str(), tola::kNameCopySize));
    EXPECT_EQ(before, field);

    EXPECT_EQ(1, bStr_cpy(field, std::string(24, 'b').c_str(), tola::kNameCopySize));
    EXPECT_EQ(std::string(24, 'b'), field);
}

TEST(BoundedCopy, SizeZeroWritesNothingAndSameAddressSucceeds) {
    char text[8] = "abc";
    EXPECT_EQ(0, bStr_cpy(text, "z", 0));
    EXPECT_STREQ("abc", text);
    EXPECT_EQ(1, bStr_cpy(text, text, 0));
    EXPECT_STREQ("abc", text);
    EXPECT_EQ(1, bStr_cpy(text, "", 1));
    EXPECT_STREQ("", text);
}

TEST(BoundedCopy, NullPointersAreRefused) {
    char text[4] = "ab";
    EXPECT_EQ(0, bStr_cpy(nullptr, "a", 4));
    EXPECT_EQ(0, bStr_cpy(text, nullptr, 4));
    EXPECT_STREQ("ab", text);
}

TEST(BoundedAppend, ResultWithoutRoomForTheNulIsRefused) {
    char text[8] = "abcd";
    EXPECT_EQ(0, bStr_cat(text, "efgh", 8));  // 8 characters, no room for the NUL
    EXPECT_STREQ("abcd", text);
    EXPECT_EQ(1, bStr_cat(text, "efg", 8));
    EXPECT_STREQ("abcdefg", text);
}

TEST(BoundedAppend, SizeZeroAndSameAddress) {
    char text[8] = "ab";
    EXPECT_EQ(0, bStr_cat(text, "c", 0));
    EXPECT_EQ(1, bStr_cat(text, text, 8));
    EXPECT_STREQ("ab", text);
}

TEST(BoundedAppend, DestinationWithoutNulInsideSizeIsRefused) {
    char text[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(0, bStr_cat(text, "", 4));
    EXPECT_EQ(0, std::memcmp(text, "abcd", 4));
}

}  // namespace
