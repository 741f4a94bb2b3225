// Typed input: the line input field, the music-folder prompt, the speed and
// position dialogs, and the Load command of the main screen.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "player/playback.h"
#include "player/screen.h"
#include "player_fixture.h"
#include "tcconio/input.h"

namespace {

namespace fs = std::filesystem;
using Commands = std::vector<std::string>;

const std::string kEsc = "\x1b";
const std::string kRight = "\xe0M";
const std::string kF1 = std::string("\0;", 2);

int count(const std::string& text, const std::string& part) {
    int found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++found;
    }
    return found;
}

// The line input field, in the blocking form unless a test says otherwise.
class Field : public PlayerTest {
  protected:
    FieldOutcome type(const std::string& keys, int maxLength = 100, bool ignoreSpace = false) {
        fake::pressKeys(keys);
        return InputField(FieldLayout{"Title", "Prompt: ", 9, maxLength, ignoreSpace}, &typed_);
    }
    std::string text() const { return std::string(typed_.text, typed_.count); }
    std::string echo() { return screen().row(2).substr(8); }

    FieldText typed_{};
};

TEST_F(Field, EnterAndBackspaceOnAnEmptyFieldDoNothing) {
    EXPECT_EQ(type("\r\b\babc\b\r"), FieldOutcome::Accepted);
    EXPECT_EQ(text(), "ab");
    std::string output = takeOutput();
    EXPECT_EQ(count(output, "\x1b[2J"), 2) << "the opening and one Backspace clear the screen";
    EXPECT_EQ(echo(), "ab");
}

TEST_F(Field, ALeadingSpaceIsDroppedOnlyWhereTheLayoutSaysSo) {
    type(" x y\r", 100, true);
    EXPECT_EQ(text(), "x y");
    type(" x\r", 3, false);
    EXPECT_EQ(text(), " x");
}

TEST_F(Field, KeysPastTheLimitAreDroppedUnechoed) {
    type(std::string(100, 'a') + "b\r");
    EXPECT_EQ(text(), std::string(100, 'a'));
    VirtualScreen& s = screen();
    EXPECT_EQ(s.row(2), "Prompt: " + std::string(72, 'a'));
    EXPECT_EQ(s.row(3), std::string(28, 'a')) << "the terminal wraps the echo";
    type("1234\r", 3);
    EXPECT_EQ(text(), "123");
    EXPECT_EQ(echo(), "123");
}

TEST_F(Field, TabIsIgnoredAndAnExtendedKeyIsStoredAsTwoBytes) {
    type("\t" + kRight + "\r");
    EXPECT_EQ(text(), "\xe0M");
    EXPECT_EQ(echo(), "?M");
}

TEST_F(Field, TheEchoSendsNoControlByteAndGoesOnPastAnFKeysPrefix) {
    type(kF1 + "5\x01\xC2\x9B" + "7\r");
    EXPECT_EQ(typed_.count, 7);
    std::string output = takeOutput();
    for (char control : {'\0', '\x01', '\x9B'}) {
        EXPECT_EQ(output.find(control), std::string::npos) << static_cast<int>(control);
    }
    EXPECT_EQ(echo(), "?;5??7");
}

TEST_F(Field, BackspaceTakesAWholeCharacterWhileTheLimitCountsBytes) {
    type("a\xC3\xA9\xE2\x82\xAC\b\r");
    EXPECT_EQ(text(), "a\xC3\xA9");
    type("a\xC3\xA9\b\bz\r");
    EXPECT_EQ(text(), "z");
    // Three bytes hold one two-byte letter and the first byte of the next,
    // which can never be completed.
    type("\xC3\xA9\xC3\xA9\r", 3);
    EXPECT_EQ(text(), "\xC3\xA9\xC3");
    EXPECT_EQ(echo(), "\xC3\xA9?");
}

TEST_F(Field, TheBannerEndsTheLastRowWithinSeventyNineColumns) {
    type(kEsc);
    EXPECT_EQ(screen().row(25), "Title  Press Esc to exit.");
    fake::pressKeys(kEsc);
    const std::string longTitle(100, 't');
    InputField(FieldLayout{longTitle.c_str(), "P: ", 4, 3, false}, &typed_);
    std::string banner = screen().row(25);
    EXPECT_EQ(banner.size(), 79u);
    EXPECT_EQ(banner.substr(61), "Press Esc to exit.");
}

int passes;

TEST_F(Field, ThePollingFormWaitsForAKeyAsLongAsItsStepAllows) {
    passes = 0;
    auto fivePasses = [] { return ++passes <= 5 ? 40 : -1; };
    EXPECT_EQ(InputField(FieldLayout{"T", "P: ", 4, 3, false}, &typed_, fivePasses),
              FieldOutcome::Ended);
    EXPECT_EQ(passes, 6);
    EXPECT_EQ(fake::sleptMilliseconds(), 5u * 40u);

    // A key that waits is taken in the same pass, without a wait.
    passes = 0;
    fake::pressKeys("7\r");
    auto always = [] { return ++passes * 1000; };
    EXPECT_EQ(InputField(FieldLayout{"T", "P: ", 4, 3, false}, &typed_, always),
              FieldOutcome::Accepted);
    EXPECT_EQ(passes, 2);
    EXPECT_EQ(fake::sleptMilliseconds(), 5u * 40u);
}

}  // namespace
