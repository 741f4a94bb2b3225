#include "platform/shortname.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "platform/fs.h"
#include "temp_folder.h"

namespace {

std::string shortNameOf(const std::string& name) {
    char buffer[80];
    const unsigned length = GetShortPathName(name.c_str(), buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer) {
        return {};
    }
    EXPECT_EQ(length, std::strlen(buffer));
    return buffer;
}

std::string resolve(const std::string& name) {
    char buffer[256];
    return ResolveShortName(name.c_str(), buffer, sizeof buffer) ? buffer : "<unresolved>";
}

// "XX1234~n.MP3": two letters, digits or '_', four hex digits, a number.
bool isMp3Alias(const std::string& name) {
    const auto in = [](char c, const char* set) { return c != '\0' && std::strchr(set, c); };
    const char* const nameChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
    const std::size_t dot = name.find('.');
    return name.size() >= 12 && dot != std::string::npos && name.substr(dot) == ".MP3" &&
           in(name[0], nameChars) && in(name[1], nameChars) &&
           name.find_first_not_of("0123456789ABCDEF", 2) == 6 && name[6] == '~' &&
           in(name[7], "123456789") && name.find_first_not_of("0123456789", 7) == dot;
}

}  // namespace

using ShortNames = TempFolderTest;

TEST_F(ShortNames, PlainNamesPassThrough) {
    for (const std::string& name : {std::string("song.mp3"), std::string("01-Intro_(live)!.MP3"),
                                    std::string(75, 'p') + ".mp3"}) {
        touch(name);
        EXPECT_EQ(shortNameOf(name), name);
        EXPECT_EQ(resolve(name), name);
    }
}

TEST_F(ShortNames, NamesTheCommandParserCouldSplitGetAliasesThatResolve) {
    const std::string names[] = {
        "Morning Light.mp3", "tab\there.mp3",
        "say \"hi\".mp3",    "it's.mp3",
        "bell\a.mp3",        "del\x7f.mp3",
        "Caf\xc3\xa9.mp3",   "bad \xff\xfe\xc3.mp3",
        "\xe2\x82.mp3",      std::string(76, 'p') + ".mp3",  // 80 bytes
    };
    std::set<std::string> aliases;
    for (const std::string& name : names) {
        touch(name);
        const std::string alias = shortNameOf(name);
        EXPECT_TRUE(isMp3Alias(alias)) << name << " -> " << alias;
        EXPECT_EQ(resolve(alias), name);
        aliases.insert(alias);
    }
    EXPECT_EQ(aliases.size(), std::size(names));
}

TEST_F(ShortNames, AliasesAreStableAndTakeTheirFormFromTheName) {
    touch("Café del Río.mp3");
    touch("é ü.ogg vorbis");
    touch("no extension");
    // Pinned: an alias must not change between versions any more than
    // between runs.
    EXPECT_EQ(shortNameOf("Café del Río.mp3"), "CAC5F7~1.MP3");
    EXPECT_EQ(shortNameOf("é ü.ogg vorbis").substr(0, 2), "__");
    EXPECT_EQ(shortNameOf("é ü.ogg vorbis").substr(6), "~1.OGG");
    EXPECT_EQ(shortNameOf("no extension").find('.'), std::string::npos);
}

TEST_F(ShortNames, NamesAlikeGetAliasesOfTheirOwn) {
    const std::string prefix(90, 'a');
    for (const std::string& name : {std::string("Track one.mp3"), std::string("Track two.mp3"),
                                    prefix + "1.mp3", prefix + "2.mp3"}) {
        touch(name);
    }
    EXPECT_NE(shortNameOf("Track one.mp3"), shortNameOf("Track two.mp3"));
    EXPECT_NE(shortNameOf(prefix + "1.mp3"), shortNameOf(prefix + "2.mp3"));
    EXPECT_EQ(resolve(shortNameOf("Track one.mp3")), "Track one.mp3");
    EXPECT_EQ(resolve(shortNameOf("Track two.mp3")), "Track two.mp3");
    EXPECT_EQ(resolve(shortNameOf(prefix + "2.mp3")), prefix + "2.mp3");
}

// "Track 298.mp3" and "Track 2920.mp3" share letters, hash digits and
// extension, so only the number tells their aliases apart. Met together,
// they are numbered in byte order of the names; a file added later takes
// the next number and leaves the first its alias. The second file arrives
// within the clock tick of the first look-up, so the folder's time stamp
// alone may not show it.
TEST_F(ShortNames, NamesSharingAnAliasAreNumberedAndANewOneTakesTheNextNumber) {
    touch("Track 298.mp3");
    EXPECT_EQ(shortNameOf("Track 298.mp3"), "TR6E73~1.MP3");
    touch("Track 2920.mp3");
    EXPECT_EQ(shortNameOf("Track 2920.mp3"), "TR6E73~2.MP3");
    EXPECT_EQ(shortNameOf("Track 298.mp3"), "TR6E73~1.MP3");
    EXPECT_EQ(resolve("TR6E73~1.MP3"), "Track 298.mp3");
    EXPECT_EQ(resolve("TR6E73~2.MP3"), "Track 2920.mp3");

    makeFolder("together");
    ASSERT_EQ(chdir("together"), 0);
    touch("Track 298.mp3");
    touch("Track 2920.mp3");
    EXPECT_EQ(shortNameOf("Track 2920.mp3"), "TR6E73~1.MP3");
    EXPECT_EQ(shortNameOf("Track 298.mp3"), "TR6E73~2.MP3");
}

// Within a run an alias names its file for as long as the file exists: a song
// copied into the folder never takes over the alias of one listed before it,
// and the alias of a song removed goes to no other.
TEST_F(ShortNames, AnAliasNamesItsFileForTheWholeRun) {
    touch("01 zzz song.mp3");
    const std::string first = shortNameOf("01 zzz song.mp3");
    touch("01 a59599 song.mp3");  // the same letters and hash
    const std::string second = shortNameOf("01 a59599 song.mp3");
    EXPECT_EQ(first.substr(0, 7), second.substr(0, 7));
    EXPECT_NE(second, first);
    EXPECT_EQ(shortNameOf("01 zzz song.mp3"), first);
    EXPECT_EQ(resolve(first), "01 zzz song.mp3");

    ASSERT_EQ(std::remove("01 zzz song.mp3"), 0);
    touch("00 other.mp3");
    EXPECT_EQ(resolve(first), "<unresolved>");
    EXPECT_EQ(shortNameOf("01 a59599 song.mp3"), second);
    touch("01 zzz song.mp3");
    EXPECT_EQ(shortNameOf("01 zzz song.mp3"), first);
    EXPECT_EQ(resolve(second), "01 a59599 song.mp3");
}

// A file named like an alias is never hidden by it: met together, the alias
// passes over that number; added after the alias was given, the file gets an
// alias of its own.
TEST_F(ShortNames, AliasNeverHidesAFileOfThatName) {
    touch("a b.mp3");
    const std::string first = shortNameOf("a b.mp3");
    touch(first);
    EXPECT_EQ(shortNameOf("a b.mp3"), first);
    EXPECT_EQ(resolve(first), "a b.mp3");
    const std::string own = shortNameOf(first);
    EXPECT_TRUE(isMp3Alias(own)) << own;
    EXPECT_NE(own, first);
    EXPECT_EQ(resolve(own), first);

    makeFolder("together");
    ASSERT_EQ(chdir("together"), 0);
    touch("a b.mp3");
    touch(first);
    const std::string second = shortNameOf("a b.mp3");
    EXPECT_NE(second, first);
    EXPECT_TRUE(isMp3Alias(second));
    EXPECT_EQ(resolve(first), first);
    EXPECT_EQ(resolve(second), "a b.mp3");
}

TEST_F(ShortNames, AliasesSurviveUnrelatedFilesAndAFreshFolder) {
    const std::string names[] = {"01 - Morning Light.mp3", "02 - Rain.mp3", "Café del Río.mp3"};
    std::set<std::string> before;
    for (const std::string& name : names) {
        touch(name);
    }
    for (const std::string& name : names) {
        before.insert(shortNameOf(name));
    }
    touch("00 - Unrelated.mp3");
    touch("zz top.mp3");
    std::set<std::string> after;
    for (const std::string& name : names) {
        after.insert(shortNameOf(name));
    }
    EXPECT_EQ(after, before);

    // The same names in another folder: a table built from nothing.
    makeFolder("copy");
    ASSERT_EQ(chdir("copy"), 0);
    std::set<std::string> copy;
    for (const std::string& name : names) {
        touch(name);
        copy.insert(shortNameOf(name));
    }
    EXPECT_EQ(copy, before);
}

TEST_F(ShortNames, RenamedRemovedAndOtherFoldersFilesAreNotResolved) {
    touch("old name.mp3");
    const std::string oldAlias = shortNameOf("old name.mp3");
    ASSERT_EQ(std::rename("old name.mp3", "new name.mp3"), 0);
    EXPECT_EQ(resolve(oldAlias), "<unresolved>");
    EXPECT_EQ(shortNameOf("old name.mp3"), "");
    const std::string newAlias = shortNameOf("new name.mp3");
    EXPECT_EQ(resolve(newAlias), "new name.mp3");

    makeFolder("other");
    ASSERT_EQ(chdir("other"), 0);
    EXPECT_EQ(resolve(newAlias), "<unresolved>");
    ASSERT_EQ(chdir(".."), 0);
    ASSERT_EQ(std::remove("new name.mp3"), 0);
    EXPECT_EQ(resolve(newAlias), "<unresolved>");
}

// An open search answers for the names it read, without another look at
// the folder, but only until it is closed or the folder is left.
TEST_F(ShortNames, ASearchAnswersForItsNamesOnlyWhileOpenInItsFolder) {
    touch("a b.mp3");
    _finddata_t found;
    const intptr_t search = _findfirst("*.mp3", &found);
    ASSERT_NE(search, -1);
    EXPECT_TRUE(isMp3Alias(shortNameOf("a b.mp3")));
    makeFolder("elsewhere");
    ASSERT_EQ(_chdir("elsewhere"), 0);
    EXPECT_EQ(shortNameOf("a b.mp3"), "");
    ASSERT_EQ(_chdir(".."), 0);
    ASSERT_EQ(std::remove("a b.mp3"), 0);
    EXPECT_EQ(shortNameOf("a b.mp3"), "");
    EXPECT_EQ(_findclose(search), 0);
}

TEST_F(ShortNames, ManyFilesGetUniqueAliasesThatResolve) {
    // Enough names with the same two letters that several share hash digits.
    constexpr int kFiles = 1500;
    for (int k = 0; k < kFiles; ++k) {
        touch("Song number " + std::to_string(k) + ".mp3");
    }
    std::set<std::string> aliases;
    for (int k = 0; k < kFiles; ++k) {
        const std::string name = "Song number " + std::to_string(k) + ".mp3";
        const std::string alias = shortNameOf(name);
        ASSERT_TRUE(isMp3Alias(alias)) << name << " -> " << alias;
        ASSERT_EQ(resolve(alias), name);
        aliases.insert(alias);
    }
    EXPECT_EQ(aliases.size(), static_cast<std::size_t>(kFiles));
}

TEST_F(ShortNames, TooSmallBuffersAreLeftAloneOrRefused) {
    touch("song.mp3");
    touch("a b.mp3");
    char buffer[9] = "unused";
    EXPECT_EQ(GetShortPathName("song.mp3", buffer, 8), 9u);
    EXPECT_EQ(GetShortPathName("a b.mp3", buffer, 8), 13u);
    EXPECT_STREQ(buffer, "unused");
    EXPECT_EQ(GetShortPathName("a b.mp3", nullptr, 0), 13u);
    EXPECT_EQ(GetShortPathName("song.mp3", buffer, 9), 8u);
    EXPECT_STREQ(buffer, "song.mp3");

    errno = 0;
    EXPECT_FALSE(ResolveShortName("song.mp3", buffer, 8));
    EXPECT_EQ(errno, ENAMETOOLONG);
    // "a b.mp3" needs 8 bytes.
    EXPECT_FALSE(ResolveShortName(shortNameOf("a b.mp3").c_str(), buffer, 7));
    EXPECT_EQ(errno, ENAMETOOLONG);
}

TEST_F(ShortNames, MissingFilesAndEmptyNamesFail) {
    char buffer[80];
    for (const char* name : {"missing.mp3", "missing song.mp3"}) {
        errno = 0;
        EXPECT_EQ(GetShortPathName(name, buffer, sizeof buffer), 0u);
        EXPECT_EQ(errno, ENOENT);
    }
    EXPECT_EQ(GetShortPathName("", buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetShortPathName(nullptr, buffer, sizeof buffer), 0u);
    EXPECT_FALSE(ResolveShortName("", buffer, sizeof buffer));
    errno = 0;
    EXPECT_FALSE(ResolveShortName("NO1234~1.MP3", buffer, sizeof buffer));
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(ShortNames, PathsArePassedOnOnlyWhenPlain) {
    makeFolder("sub");
    touch("sub/x.mp3");
    touch("sub/a b.mp3");
    EXPECT_EQ(shortNameOf("sub/x.mp3"), "sub/x.mp3");
    errno = 0;
    EXPECT_EQ(shortNameOf("sub/a b.mp3"), "");
    EXPECT_EQ(errno, EINVAL);

    // The media layer may be handed a full path: a real file is taken as is.
    const std::string full = (folder_ / "sub" / "a b.mp3").string();
    EXPECT_EQ(resolve(full), full);
    EXPECT_EQ(resolve((folder_ / "sub" / "nothing.mp3").string()), "<unresolved>");
}
