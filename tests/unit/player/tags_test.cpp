// The playing song's tags on row 17, read from real files with ID3 tags.
#include <gtest/gtest.h>

#include <string>

#include "mp3maker.h"
#include "player/playback.h"
#include "player/screen.h"
#include "player_fixture.h"

namespace {

// An ID3v2.4 tag of UTF-8 text frames.
std::string id3v2(const std::string& title, const std::string& artist) {
    auto syncsafe = [](std::size_t n) {
        return std::string{static_cast<char>(n >> 21 & 0x7F), static_cast<char>(n >> 14 & 0x7F),
                           static_cast<char>(n >> 7 & 0x7F), static_cast<char>(n & 0x7F)};
    };
    auto frame = [&](const char* id, const std::string& text) {
        return id + syncsafe(text.size() + 1) + std::string(2, '\0') + '\3' + text;
    };
    const std::string frames = frame("TIT2", title) + frame("TPE1", artist);
    return "ID3\4" + std::string(2, '\0') + syncsafe(frames.size()) + frames;
}

// An ID3v1 tag: 30 bytes each of title, artist, album.
std::string id3v1(const std::string& title, const std::string& artist) {
    auto field = [](const std::string& text) { return text + std::string(30 - text.size(), 0); };
    return "TAG" + field(title) + field(artist) + field("") + "2020" + field("") + '\xff';
}

class TagRow : public PlayerTest {
  protected:
    std::string tagRow() {
        const std::string row = screen().row(17);
        return row.size() > 24 ? row.substr(24) : "";
    }
};

TEST_F(TagRow, ArtistAndTitleOfThePlayingSongOnly) {
    const auto folder = enterNewFolder();
    ASSERT_TRUE(mp3maker::makeTone(folder / "tone.mp3", 0.2, 44100, 1, "-b 64"));
    const std::string tone = slurp(folder / "tone.mp3");
    std::string longTitle;
    for (int k = 0; k < 40; ++k) {
        longTitle += "\xe6\x97\xa5";  // U+65E5, two columns wide
    }
    touch(folder / "S0000.MP3", id3v2("T\xc3\xaftle", "\xc3\x84rtist") + tone);
    touch(folder / "S0001.MP3", tone);
    touch(folder / "S0002.MP3", id3v2("Bad\x1b[2J\xff", "") + tone + id3v1("Old", "A\aB"));
    touch(folder / "S0003.MP3", id3v2(longTitle, "") + tone);
    makeCatalogue(4);
    Play();
    drawMainScreen();
    EXPECT_EQ(tagRow(), "\xc3\x84rtist - T\xc3\xaftle");
    fake::pressKeys("M");
    runPass();
    EXPECT_EQ(tagRow(), "");
    fake::pressKeys("M");
    runPass();
    // The ID3v2 title over the ID3v1 one; the artist from the ID3v1 tag.
    EXPECT_EQ(tagRow(), "A?B - Bad?[2J?");
    fake::pressKeys("M");
    runPass();
    // 55 columns from column 25 hold 27 wide letters.
    EXPECT_EQ(tagRow(), longTitle.substr(0, 27 * 3));
    EXPECT_TRUE(screen().unknownSequences().empty());
}

}  // namespace
