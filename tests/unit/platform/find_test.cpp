#include <strings.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "temp_folder.h"

namespace {

// Every name a fresh "*.mp3" search returns, in its order; empty when
// _findfirst finds nothing.
std::vector<std::string> searchAll(const char* pattern = "*.mp3") {
    std::vector<std::string> names;
    _finddata_t data;
    const intptr_t handle = _findfirst(pattern, &data);
    if (handle == -1) {
        return names;
    }
    do {
        names.emplace_back(data.name);
    } while (_findnext(handle, &data) == 0);
    EXPECT_EQ(_findclose(handle), 0);
    return names;
}

using Names = std::vector<std::string>;

}  // namespace

using DirectorySearch = TempFolderTest;

TEST_F(DirectorySearch, ListsInNameOrderWithoutRegardToLetterCase) {
    touch("b.mp3");
    touch("A.MP3");
    touch("c.Mp3");
    EXPECT_EQ(searchAll(), (Names{"A.MP3", "b.mp3", "c.Mp3"}));
}

TEST_F(DirectorySearch, NamesEqualButForCaseComeInByteOrderEveryTime) {
    touch("song.mp3");
    touch("Song.mp3");
    touch("SONG.mp3");
    const Names expected{"SONG.mp3", "Song.mp3", "song.mp3"};
    EXPECT_EQ(searchAll(), expected);
    EXPECT_EQ(searchAll(), expected);
}

TEST_F(DirectorySearch, OrdersShorterNameFirstAndBytesAbove127AfterAscii) {
    touch("ab.mp3");
    touch("a.mp3");
    touch("\xc3\xa9t\xc3\xa9.mp3");
    touch("z.mp3");
    EXPECT_EQ(searchAll(), (Names{"a.mp3", "ab.mp3", "z.mp3", "\xc3\xa9t\xc3\xa9.mp3"}));
}

// Letters compare as capitals, so the signs between "Z" and "a" sort after
// every letter, as they do in a Windows folder listing.
TEST_F(DirectorySearch, UnderscoreSortsAfterLetters) {
    touch("a_b.mp3");
    touch("aab.mp3");
    touch("AZB.mp3");
    EXPECT_EQ(searchAll(), (Names{"aab.mp3", "AZB.mp3", "a_b.mp3"}));
}

TEST_F(DirectorySearch, TakesOnlyVisibleRegularFilesWithTheExtension) {
    touch("song.mp3");
    touch(".hidden.mp3");
    touch("x.mp3.txt");
    touch("mp3");
    touch("xmp3");
    touch("notes.txt");
    makeFolder("album.mp3");
    makeFolder(".cache");
    EXPECT_EQ(searchAll(), (Names{"song.mp3"}));
}

TEST_F(DirectorySearch, FollowsLinksToRegularFilesOnly) {
    touch("real.mp3");
    makeFolder("folder");
    link("real.mp3", "alias.mp3");
    link("missing.mp3", "dangling.mp3");
    link("folder", "folder.mp3");
    EXPECT_EQ(searchAll(), (Names{"alias.mp3", "real.mp3"}));
}

TEST_F(DirectorySearch, NothingToFindGivesMinusOneAndEnoent) {
    _finddata_t data;
    errno = 0;
    EXPECT_EQ(_findfirst("*.mp3", &data), -1);
    EXPECT_EQ(errno, ENOENT);

    touch("readme.txt");
    makeFolder("x.mp3");
    errno = 0;
    EXPECT_EQ(_findfirst("*.mp3", &data), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(DirectorySearch, OtherExtensionsAndMalformedPatterns) {
    touch("a.txt");
    touch("b.mp3");
    EXPECT_EQ(searchAll("*.TXT"), (Names{"a.txt"}));

    _finddata_t data;
    for (const char* pattern : {"mp3", "*", "*.", "a*.mp3", "*.m?3", "*./x", ""}) {
        errno = 0;
        EXPECT_EQ(_findfirst(pattern, &data), -1) << pattern;
        EXPECT_EQ(errno, EINVAL) << pattern;
    }
    EXPECT_EQ(_findfirst(nullptr, &data), -1);
    EXPECT_EQ(_findfirst("*.mp3", nullptr), -1);
}

TEST_F(DirectorySearch, UnknownAndClosedHandlesAreRefused) {
    touch("a.mp3");
    _finddata_t data;
    errno = 0;
    EXPECT_EQ(_findnext(12345, &data), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(_findclose(-1), -1);

    const intptr_t handle = _findfirst("*.mp3", &data);
    ASSERT_NE(handle, -1);
    EXPECT_EQ(_findclose(handle), 0);
    errno = 0;
    EXPECT_EQ(_findnext(handle, &data), -1);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(_findclose(handle), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST_F(DirectorySearch, ExhaustedSearchSaysEnoentAndKeepsSaying) {
    touch("a.mp3");
    _finddata_t data;
    const intptr_t handle = _findfirst("*.mp3", &data);
    ASSERT_NE(handle, -1);
    for (int k = 0; k < 2; ++k) {
        errno = 0;
        EXPECT_EQ(_findnext(handle, &data), -1);
        EXPECT_EQ(errno, ENOENT);
    }
    EXPECT_EQ(_findclose(handle), 0);
}

TEST_F(DirectorySearch, InterleavedSearchesKeepTheirOwnPlace) {
    touch("a.mp3");
    touch("b.mp3");
    _finddata_t first;
    _finddata_t second;
    const intptr_t one = _findfirst("*.mp3", &first);
    ASSERT_EQ(_findnext(one, &first), 0);
    const intptr_t two = _findfirst("*.mp3", &second);
    ASSERT_NE(one, two);
    EXPECT_STREQ(first.name, "b.mp3");
    EXPECT_STREQ(second.name, "a.mp3");
    EXPECT_EQ(_findclose(one), 0);
    ASSERT_EQ(_findnext(two, &second), 0);
    EXPECT_STREQ(second.name, "b.mp3");
    EXPECT_EQ(_findclose(two), 0);
}

TEST_F(DirectorySearch, LongestAndOddNamesComeBackWhole) {
    const std::string longest = std::string(251, 'x') + ".mp3";
    const std::string odd = "\xff\xfe blank\ttab \"quote\".mp3";
    touch(longest);
    touch(odd);
    EXPECT_EQ(searchAll(), (Names{longest, odd}));
}

TEST_F(DirectorySearch, LargeFolderComesBackCompleteAndOrdered) {
    constexpr int kFiles = 1200;
    for (int k = 0; k < kFiles; ++k) {
        // Mixed case, so that byte order and the listing order differ.
        touch((k % 2 ? "Song " : "song ") + std::to_string(k * 7919 % kFiles) + ".mp3");
    }
    const Names names = searchAll();
    ASSERT_EQ(names.size(), static_cast<std::size_t>(kFiles));
    for (std::size_t k = 1; k < names.size(); ++k) {
        EXPECT_LE(strcasecmp(names[k - 1].c_str(), names[k].c_str()), 0)
            << names[k - 1] << " before " << names[k];
    }
}
