// What the player sends on the session bus must be valid UTF-8, or the bus
// drops the connection; a file's URL must survive any byte of its name.
#include <gtest/gtest.h>

#include "platform/bus/mpris.h"

TEST(MprisText, InvalidBytesAreReplacedAndValidOnesKept) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(mprisValidText("Caf\xC3\xA9 \xF0\x9F\x8E\xB5"), "Caf\xC3\xA9 \xF0\x9F\x8E\xB5");
    EXPECT_EQ(mprisValidText("a\xE9z"), "a" + replacement + "z");      // Latin-1
    EXPECT_EQ(mprisValidText("\xC0\xAF"), replacement + replacement);  // overlong '/'
    EXPECT_EQ(mprisValidText("\xED\xA0\x80"),
              replacement + replacement + replacement);  // surrogate
    EXPECT_EQ(mprisValidText("\xF4\x90\x80\x80x"),
              replacement + replacement + replacement + replacement + "x");  // above U+10FFFF
    EXPECT_EQ(mprisValidText("cut \xE2\x82"), "cut " + replacement + replacement);
}

TEST(MprisText, FileUrlEncodesEveryByteButUnreservedOnesAndSlashes) {
    EXPECT_EQ(mprisFileUrl("/m/A-z_0.9~/x y%#?\xC3\xA9\xFF.mp3"),
              "file:///m/A-z_0.9~/x%20y%25%23%3F%C3%A9%FF.mp3");
}
