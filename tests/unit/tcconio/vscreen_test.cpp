// The virtual screen that the player's tests read their screens from.

#include "vscreen.h"

#include <gtest/gtest.h>

namespace {

TEST(VirtualScreen, TextWrapsAtTheLastColumnAndScrollsAtTheBottom) {
    VirtualScreen s(10, 3);
    s.feed("0123456789");
    EXPECT_EQ(s.cursorX(), 10);  // the wrap waits for the next character
    EXPECT_EQ(s.cursorY(), 1);
    s.feed("ab\r\nc");
    EXPECT_EQ(s.row(1), "0123456789");
    EXPECT_EQ(s.row(2), "ab");
    EXPECT_EQ(s.row(3), "c");
    s.feed("\nd");
    EXPECT_EQ(s.row(1), "ab") << s.dump();
    EXPECT_EQ(s.row(3), "d");
}

TEST(VirtualScreen, Utf8CharactersTakeOneCellEvenWhenSplitOverFeeds) {
    VirtualScreen s;
    s.feed("\xc3");
    s.feed("\xa9t\xe2\x82\xac!");
    EXPECT_EQ(s.text(1, 1, 4), "\xc3\xa9t\xe2\x82\xac!");
    EXPECT_EQ(s.cursorX(), 5);
}

TEST(VirtualScreen, SequencesSplitOverFeedsAndUnknownOnesAreReported) {
    VirtualScreen s;
    s.feed("\x1b[3");
    s.feed(";4Hx\x1b[0;91;44my\x1b[5n");
    EXPECT_EQ(s.text(4, 3, 2), "xy");
    EXPECT_EQ(s.attr(5, 3), 0x1C);
    ASSERT_EQ(s.unknownSequences().size(), 1u);
    EXPECT_EQ(s.unknownSequences()[0], "\x1b[5n");
}

TEST(VirtualScreen, CellsOutsideTheScreenAreAnError) {
    VirtualScreen s;
    EXPECT_THROW(s.row(26), std::out_of_range);
    EXPECT_THROW(s.attr(0, 1), std::out_of_range);
    EXPECT_THROW(s.text(79, 1, 3), std::out_of_range);
}

}  // namespace
