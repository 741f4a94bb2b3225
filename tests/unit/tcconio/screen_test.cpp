// The screen operations as a terminal shows them: their output is fed into a
// virtual screen and the cells are checked.

#include <gtest/gtest.h>

#include <cstdio>

#include "capture.h"
#include "tcconio/conio_test_hooks.h"
#include "tcconio/tcconio.h"
#include "vscreen.h"

namespace {

class ScreenTest : public ::testing::Test {
  protected:
    void SetUp() override { conioPretendTerminal(80, 25); }
    void TearDown() override { conioPretendTerminal(0, 0); }

    // Everything written so far, as the screen shows it.
    VirtualScreen screen() {
        VirtualScreen s;
        s.feed(written_ += capture_.take());
        EXPECT_TRUE(s.unknownSequences().empty()) << s.unknownSequences().front();
        return s;
    }

    StdoutCapture capture_;
    std::string written_;
};

TEST_F(ScreenTest, GotoxyAddressesOneBasedCells) {
    gotoxy(1, 25);
    std::printf("bottom");
    gotoxy(80, 1);
    std::printf("R");
    gotoxy(3, 2);
    std::printf("x");
    VirtualScreen s = screen();
    EXPECT_EQ(s.row(25), "bottom") << s.dump();
    EXPECT_EQ(s.text(80, 1, 1), "R");
    EXPECT_EQ(s.row(2), "  x");
    EXPECT_EQ(s.cursorX(), 4);
    EXPECT_EQ(s.cursorY(), 2);
}

TEST_F(ScreenTest, GotoxyOutsideTheWindowLeavesTheCursor) {
    gotoxy(5, 3);
    gotoxy(0, 0);
    gotoxy(0, 3);
    gotoxy(5, 0);
    gotoxy(81, 3);
    gotoxy(5, 26);
    gotoxy(-1, -1);
    std::printf("A");
    VirtualScreen s = screen();
    EXPECT_EQ(s.row(3), "    A") << s.dump();
    EXPECT_EQ(s.cursorX(), 6);
}

TEST_F(ScreenTest, ClreolBlanksToTheRowsEndAndKeepsTheCursor) {
    for (int y = 1; y <= 2; ++y) {
        gotoxy(1, y);
        for (int x = 0; x < 80; ++x) {
            std::printf("%c", 'a' + x % 26);
        }
    }
    gotoxy(1, 1);
    clreol();
    gotoxy(80, 2);
    clreol();
    VirtualScreen s = screen();
    EXPECT_EQ(s.row(1), "") << s.dump();
    EXPECT_EQ(s.cursorX(), 80);
    EXPECT_EQ(s.cursorY(), 2);
    EXPECT_EQ(s.text(78, 2, 3), "za ");
    std::printf("!");
    EXPECT_EQ(screen().text(78, 2, 3), "za!");
}

TEST_F(ScreenTest, ClrscrBlanksEverythingInTheCurrentBackground) {
    gotoxy(10, 10);
    std::printf("old");
    textcolor(0x17);
    textcolor(12);
    clrscr();
    VirtualScreen s = screen();
    EXPECT_EQ(s.currentAttr(), 0x1C);
    EXPECT_EQ(s.row(10), "") << s.dump();
    for (int y = 1; y <= 25; ++y) {
        for (int x = 1; x <= 80; ++x) {
            ASSERT_EQ(s.attr(x, y), 0x1C) << "cell " << x << ", " << y;
        }
    }
    EXPECT_EQ(s.cursorX(), 1);
    EXPECT_EQ(s.cursorY(), 1);
}

TEST_F(ScreenTest, ClreolBlanksCarryTheBackground) {
    textcolor(0x17);
    gotoxy(70, 4);
    clreol();
    VirtualScreen s = screen();
    EXPECT_EQ(s.attr(69, 4), 0x07);
    EXPECT_EQ(s.attr(70, 4), 0x17);
    EXPECT_EQ(s.attr(80, 4), 0x17);
}

TEST_F(ScreenTest, TextcolorKeepsTheBackgroundAndSetsTheForeground) {
    textcolor(0x17);
    std::printf("a");
    textcolor(12);
    std::printf("b");
    // Grey on a set background must stay grey on it, not the default colours.
    textcolor(7);
    std::printf("c");
    textcolor(0x20);  // above 15: background bits are added to the blue
    std::printf("d");
    VirtualScreen s = screen();
    EXPECT_EQ(s.attr(1, 1), 0x17);
    EXPECT_EQ(s.attr(2, 1), 0x1C);
    EXPECT_EQ(s.attr(3, 1), 0x17);
    EXPECT_EQ(s.attr(4, 1), 0x30);
}

TEST_F(ScreenTest, EveryAttributeReachesTheScreen) {
    for (int attribute = 0; attribute < 256; ++attribute) {
        conioPretendTerminal(80, 25);  // back to attribute 7
        textcolor(attribute);
        gotoxy(attribute % 80 + 1, attribute / 80 + 1);
        std::printf("*");
    }
    VirtualScreen s = screen();
    for (int attribute = 0; attribute < 256; ++attribute) {
        ASSERT_EQ(s.attr(attribute % 80 + 1, attribute / 80 + 1), attribute);
    }
}

TEST_F(ScreenTest, NewlineStartsTheNextRowInTheFirstColumn) {
    gotoxy(30, 5);
    std::printf("one\ntwo");
    VirtualScreen s = screen();
    EXPECT_EQ(s.row(6), "two");
}

TEST(ScreenWithoutTerminal, OperationsWriteNothing) {
    conioPretendTerminal(0, 0);
    StdoutCapture capture;  // a file, not a terminal
    gotoxy(1, 1);
    clrscr();
    clreol();
    textcolor(0x1C);
    textcolor(7);
    std::printf("text");
    EXPECT_EQ(capture.take(), "text");
}

}  // namespace
