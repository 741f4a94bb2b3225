// The playing song's tags on row 17, read from real files with ID3 tags.
#include <gtest/gtest.h>

#include <string>

#include "mp3maker.h"
#include "player/playback.h"
#include "player/screen.h"
#include "player_fixture.h"

namespace {

// An ID3v2.4 tag of a UTF-8 title and artist (each shorter than 127 bytes).
std::string id3v2(const std::string& title, const std::string& artist) {
    auto frame = [](const char* id, const std::string& text) {
        return id + std::string{0, 0, 0, static_cast<char>(text.size() + 1), 0, 0, 3} + text;
    };
    const std::string frames = frame("TIT2", title) + frame("TPE1", artist);
    const auto size = frames.size();
    return std::string("ID3\4\0\0\0\0", 8) + static_cast<char>(size >> 7) +
           static_cast<char>(size & 0x7F) + frames;
}

// An ID3v1 tag with an artist only.
std::string id3v1(const std::string& artist) {
    return "TAG" + std::string(30, 0) + artist + std::string(94 - artist.size(), 0) + '\xff';
}

TEST_F(PlayerTest, TheTagRowNamesArtistAndTitleOfThePlayingSong) {
    const auto folder = enterNewFolder();
    ASSERT_TRUE(mp3maker::makeTone(folder / "tone.mp3", 0.2, 44100, 1, "-b 64"));
    const std::string tone = slurp(folder / "tone.mp3");
    std::string wide;
    for (int k = 0; k < 40; ++k) {
        wide += "\xe6\x97\xa5";  // U+65E5, two columns wide
    }
    touch(folder / "S0000.MP3", id3v2("T\xc3\xaftle", "\xc3\x84rtist") + tone);
    touch(folder / "S0001.MP3", tone);
    touch(folder / "S0002.MP3", id3v2("Bad\x1b[2J\xff", "") + tone + id3v1("A\aB"));
    touch(folder / "S0003.MP3", id3v2(wide, "") + tone);
    makeCatalogue(4);
    Play();
    drawMainScreen();
    auto tagRow = [this] {
        const std::string row = screen().row(17);
        return row.size() > 24 ? row.substr(24) : "";
    };
    EXPECT_EQ(tagRow(), "\xc3\x84rtist - T\xc3\xaftle");
    for (const std::string& expected :
         {std::string(), std::string("A?B - Bad?[2J?"), wide.substr(0, 27 * 3)}) {
        // No tag; the artist from the ID3v1 tag; 27 wide letters fill 55 columns.
        fake::pressKeys("M");
        runPass();
        EXPECT_EQ(tagRow(), expected);
    }
    EXPECT_TRUE(screen().unknownSequences().empty());
}

}  // namespace
