#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "temp_folder.h"

namespace {

using Names = std::vector<std::string>;

// Every name a fresh search returns, in its order.
Names searchAll(const char* pattern = "*.mp3") {
    Names names;
    _finddata_t data;
    const intptr_t handle = _findfirst(pattern, &data);
    if (handle == -1) {
        return names;
    }
    do {
        names.emplace_back(data.name);
    } while (_findnext(handle, &data) == 0);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(_findclose(handle), 0);
    return names;
}

}  // namespace

using DirectorySearch = TempFolderTest;

TEST_F(DirectorySearch, ListsInNameOrderWithoutRegardToLetterCase) {
    for (const char* name : {"b.mp3", "A.MP3", "c.Mp3", "song.mp3", "Song.mp3", "ab.mp3"}) {
        touch(name);
    }
    // Names equal but for case come in byte order, the same every time.
    const Names expected{"A.MP3", "ab.mp3", "b.mp3", "c.Mp3", "Song.mp3", "song.mp3"};
    EXPECT_EQ(searchAll(), expected);
    EXPECT_EQ(searchAll(), expected);
}

// Letters compare as capitals, as in a Windows folder listing, so "_" sorts
// after them; bytes above 0x7F sort after all of ASCII.
TEST_F(DirectorySearch, SignsAndNonAsciiBytesSortAfterLetters) {
    for (const char* name : {"a_b.mp3", "aab.mp3", "AZB.mp3", "\xc3\xa9t\xc3\xa9.mp3", "z.mp3"}) {
        touch(name);
    }
    EXPECT_EQ(searchAll(),
              (Names{"aab.mp3", "AZB.mp3", "a_b.mp3", "z.mp3", "\xc3\xa9t\xc3\xa9.mp3"}));
}

TEST_F(DirectorySearch, TakesOnlyVisibleRegularFilesWithTheExtension) {
    for (const char* name : {"song.mp3", ".hidden.mp3", "x.mp3.txt", "mp3", "xmp3", "real.mp3"}) {
        touch(name);
    }
    makeFolder("album.mp3");
    makeFolder(".album.mp3");
    makeFolder("folder");
    link("real.mp3", "alias.mp3");
    link("missing.mp3", "dangling.mp3");
    link("folder", "folder.mp3");
    EXPECT_EQ(searchAll(), (Names{"alias.mp3", "real.mp3", "song.mp3"}));
    EXPECT_EQ(searchAll("*.TXT"), (Names{"x.mp3.txt"}));
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

TEST_F(DirectorySearch, MalformedPatternsAndUnknownHandlesAreRefused) {
    touch("a.mp3");
    _finddata_t data;
    for (const char* pattern : {"mp3", "*", "*.", "a*.mp3", "*.m?3", "*./x", ""}) {
        errno = 0;
        EXPECT_EQ(_findfirst(pattern, &data), -1) << pattern;
        EXPECT_EQ(errno, EINVAL) << pattern;
    }
    EXPECT_EQ(_findfirst(nullptr, &data), -1);
    EXPECT_EQ(_findfirst("*.mp3", nullptr), -1);

    errno = 0;
    EXPECT_EQ(_findnext(12345, &data), -1);
    EXPECT_EQ(errno, EINVAL);
    const intptr_t handle = _findfirst("*.mp3", &data);
    ASSERT_NE(handle, -1);
    EXPECT_EQ(_findclose(handle), 0);
    errno = 0;
    EXPECT_EQ(_findnext(handle, &data), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(_findclose(handle), -1);
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

// Every change must show, also one that leaves the folder's time as it was,
// as on a file system that keeps times in steps of two seconds.
TEST_F(DirectorySearch, EachSearchSeesTheFolderAsItIsThen) {
    const timespec lastYear[2] = {{time(nullptr) - 365 * 86400, 0},
                                  {time(nullptr) - 365 * 86400, 0}};
    touch("a.mp3");
    ASSERT_EQ(utimensat(AT_FDCWD, ".", lastYear, 0), 0);
    EXPECT_EQ(searchAll(), (Names{"a.mp3"}));
    touch("b.mp3");
    ASSERT_EQ(utimensat(AT_FDCWD, ".", lastYear, 0), 0);
    EXPECT_EQ(searchAll(), (Names{"a.mp3", "b.mp3"}));
    ASSERT_EQ(std::remove("a.mp3"), 0);
    makeFolder("a.mp3");
    EXPECT_EQ(searchAll(), (Names{"b.mp3"}));
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
