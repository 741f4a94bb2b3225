#include "platform/shortname.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "temp_folder.h"

namespace {

constexpr const char* kNameChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";

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

// Two letters, digits or '_', four hex digits, "~n", then ".extension"
// when one is expected. Checked by hand: std::regex is slow in the
// sanitizer build.
bool looksLikeAlias(const std::string& name, const std::string& extension) {
    const auto isIn = [](char c, const char* set) { return c != '\0' && std::strchr(set, c); };
    const std::size_t tilde = name.find('~');
    if (tilde != 6 || !isIn(name[0], kNameChars) || !isIn(name[1], kNameChars)) {
        return false;
    }
    for (std::size_t k = 2; k < 6; ++k) {
        if (!isIn(name[k], "0123456789ABCDEF")) {
            return false;
        }
    }
    const std::size_t dot = name.find('.', tilde);
    const std::string number =
        name.substr(tilde + 1, dot == std::string::npos ? dot : dot - tilde - 1);
    if (number.empty() || number[0] == '0' ||
        number.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    return extension.empty() ? dot == std::string::npos
                             : dot != std::string::npos && name.substr(dot + 1) == extension;
}

}  // namespace

using ShortNames = TempFolderTest;

TEST_F(ShortNames, PlainNamesPassThrough) {
    const std::string longestPlain = std::string(75, 'p') + ".mp3";
    for (const std::string& name : {std::string("song.mp3"), std::string("01-Intro_(live)!.MP3"),
                                    std::string("noextension"), longestPlain}) {
        touch(name);
        EXPECT_EQ(shortNameOf(name), name);
        EXPECT_EQ(resolve(name), name);
    }
}

TEST_F(ShortNames, NamesTheCommandParserCouldSplitGetAliases) {
    const std::string names[] = {
        "Morning Light.mp3",
        "tab\there.mp3",
        "say \"hi\".mp3",
        "it's.mp3",
        "bell\a.mp3",
        "del\x7f.mp3",
        "Caf\xc3\xa9.mp3",              // UTF-8 without a blank
        std::string(76, 'p') + ".mp3",  // 80 bytes
    };
    std::set<std::string> aliases;
    for (const std::string& name : names) {
        touch(name);
        const std::string alias = shortNameOf(name);
        EXPECT_TRUE(looksLikeAlias(alias, "MP3")) << name << " -> " << alias;
        EXPECT_EQ(resolve(alias), name);
        aliases.insert(alias);
    }
    EXPECT_EQ(aliases.size(), std::size(names));
}

TEST_F(ShortNames, AliasTakesLettersAndExtensionFromTheName) {
    touch("Café del Río.mp3");
    touch("-- x y.Flac");
    touch("no extension");
    touch("é ü.ogg vorbis");
    // The exact alias is pinned: aliases must not change between versions
    // any more than between runs.
    EXPECT_EQ(shortNameOf("Café del Río.mp3"), "CAC5F7~1.MP3");
    EXPECT_TRUE(looksLikeAlias(shortNameOf("-- x y.Flac"), "FLA"));
    EXPECT_TRUE(looksLikeAlias(shortNameOf("no extension"), ""));
    const std::string padded = shortNameOf("é ü.ogg vorbis");
    EXPECT_TRUE(looksLikeAlias(padded, "OGG")) << padded;
    EXPECT_EQ(padded.substr(0, 2), "__");
}

TEST_F(ShortNames, InvalidUtf8NamesGetAliasesThatResolve) {
    const std::string broken = "bad \xff\xfe\xc3.mp3";
    const std::string truncated = "\xe2\x82.mp3";
    touch(broken);
    touch(truncated);
    EXPECT_EQ(resolve(shortNameOf(broken)), broken);
    EXPECT_EQ(resolve(shortNameOf(truncated)), truncated);
}

TEST_F(ShortNames, SameLeadingLettersStillGiveEachFileItsOwnAlias) {
    touch("Track one.mp3");
    touch("Track two.mp3");
    const std::string one = shortNameOf("Track one.mp3");
    const std::string two = shortNameOf("Track two.mp3");
    EXPECT_NE(one, two);
    EXPECT_EQ(resolve(one), "Track one.mp3");
    EXPECT_EQ(resolve(two), "Track two.mp3");
}

// "Track 298.mp3" and "Track 2920.mp3" share letters, hash digits and
// extension, so only the number tells their aliases apart; in byte order
// "Track 2920.mp3" comes first.
TEST_F(ShortNames, SharedAliasesAreNumberedInNameOrder) {
    touch("Track 298.mp3");
    touch("Track 2920.mp3");
    EXPECT_EQ(shortNameOf("Track 2920.mp3"), "TR6E73~1.MP3");
    EXPECT_EQ(shortNameOf("Track 298.mp3"), "TR6E73~2.MP3");
    EXPECT_EQ(resolve("TR6E73~1.MP3"), "Track 2920.mp3");
    EXPECT_EQ(resolve("TR6E73~2.MP3"), "Track 298.mp3");
}

// The second file arrives within the same clock tick as the first look-up,
// so the folder's modification time alone may not tell the change.
TEST_F(ShortNames, NewFileSharingAnAliasRenumbersAtOnce) {
    touch("Track 298.mp3");
    EXPECT_EQ(shortNameOf("Track 298.mp3"), "TR6E73~1.MP3");
    touch("Track 2920.mp3");
    EXPECT_EQ(shortNameOf("Track 298.mp3"), "TR6E73~2.MP3");
    EXPECT_EQ(resolve("TR6E73~1.MP3"), "Track 2920.mp3");
}

TEST_F(ShortNames, AliasNeverHidesAFileOfThatName) {
    touch("a b.mp3");
    const std::string first = shortNameOf("a b.mp3");
    touch(first);
    const std::string second = shortNameOf("a b.mp3");
    EXPECT_NE(second, first);
    EXPECT_TRUE(looksLikeAlias(second, "MP3"));
    EXPECT_EQ(resolve(first), first);
    EXPECT_EQ(resolve(second), "a b.mp3");
}

TEST_F(ShortNames, AliasesSurviveNewFilesAndAFreshFolder) {
    const std::string names[] = {"01 - Morning Light.mp3", "02 - Rain.mp3", "Café del Río.mp3"};
    std::string before[std::size(names)];
    for (std::size_t k = 0; k < std::size(names); ++k) {
        touch(names[k]);
    }
    for (std::size_t k = 0; k < std::size(names); ++k) {
        before[k] = shortNameOf(names[k]);
    }
    touch("00 - Unrelated.mp3");
    touch("zz top.mp3");
    for (std::size_t k = 0; k < std::size(names); ++k) {
        EXPECT_EQ(shortNameOf(names[k]), before[k]) << names[k];
    }

    // Another folder with the same names is another directory and a table
    // built from nothing; the aliases must come out the same.
    makeFolder("copy");
    ASSERT_EQ(chdir("copy"), 0);
    for (std::size_t k = 0; k < std::size(names); ++k) {
        touch(names[k]);
        EXPECT_EQ(shortNameOf(names[k]), before[k]) << names[k];
    }
}

TEST_F(ShortNames, RenamedAndRemovedFilesAreSeenAtOnce) {
    touch("old name.mp3");
    const std::string oldAlias = shortNameOf("old name.mp3");
    ASSERT_EQ(std::rename("old name.mp3", "new name.mp3"), 0);
    EXPECT_EQ(resolve(oldAlias), "<unresolved>");
    EXPECT_EQ(shortNameOf("old name.mp3"), "");
    const std::string newAlias = shortNameOf("new name.mp3");
    EXPECT_EQ(resolve(newAlias), "new name.mp3");
    ASSERT_EQ(std::remove("new name.mp3"), 0);
    EXPECT_EQ(resolve(newAlias), "<unresolved>");
}

TEST_F(ShortNames, EachFolderResolvesItsOwnAliases) {
    makeFolder("one");
    makeFolder("two");
    ASSERT_EQ(chdir("one"), 0);
    touch("same name.mp3");
    touch("only here.mp3");
    const std::string onlyHere = shortNameOf("only here.mp3");
    ASSERT_EQ(chdir("../two"), 0);
    touch("same name.mp3");
    EXPECT_EQ(resolve(onlyHere), "<unresolved>");
    EXPECT_EQ(resolve(shortNameOf("same name.mp3")), "same name.mp3");
}

TEST_F(ShortNames, LongNamesWithTheSamePrefixGetDistinctAliases) {
    const std::string prefix(90, 'a');
    touch(prefix + "1.mp3");
    touch(prefix + "2.mp3");
    const std::string one = shortNameOf(prefix + "1.mp3");
    const std::string two = shortNameOf(prefix + "2.mp3");
    EXPECT_NE(one, two);
    EXPECT_EQ(resolve(one), prefix + "1.mp3");
    EXPECT_EQ(resolve(two), prefix + "2.mp3");
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
        ASSERT_TRUE(looksLikeAlias(alias, "MP3")) << name << " -> " << alias;
        ASSERT_EQ(resolve(alias), name);
        aliases.insert(alias);
    }
    EXPECT_EQ(aliases.size(), static_cast<std::size_t>(kFiles));
}

TEST_F(ShortNames, TooSmallBufferGetsTheSizeNeededAndIsLeftAlone) {
    touch("song.mp3");
    touch("a b.mp3");
    char buffer[8] = "unused";
    EXPECT_EQ(GetShortPathName("song.mp3", buffer, 8), 9u);
    EXPECT_STREQ(buffer, "unused");
    EXPECT_EQ(GetShortPathName("a b.mp3", buffer, 8), 13u);
    EXPECT_STREQ(buffer, "unused");
    EXPECT_EQ(GetShortPathName("a b.mp3", nullptr, 0), 13u);

    char exact[9];
    EXPECT_EQ(GetShortPathName("song.mp3", exact, sizeof exact), 8u);
    EXPECT_STREQ(exact, "song.mp3");
}

TEST_F(ShortNames, MissingFilesAndEmptyNamesFail) {
    char buffer[80];
    errno = 0;
    EXPECT_EQ(GetShortPathName("missing.mp3", buffer, sizeof buffer), 0u);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(GetShortPathName("missing song.mp3", buffer, sizeof buffer), 0u);
    EXPECT_EQ(errno, ENOENT);
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

TEST_F(ShortNames, ResolveRefusesAnOutputThatIsTooSmall) {
    touch("song.mp3");
    touch("Morning Light.mp3");
    const std::string alias = shortNameOf("Morning Light.mp3");
    char small[9];
    errno = 0;
    EXPECT_FALSE(ResolveShortName("song.mp3", small, 8));
    EXPECT_EQ(errno, ENAMETOOLONG);
    EXPECT_TRUE(ResolveShortName("song.mp3", small, 9));
    errno = 0;
    EXPECT_FALSE(ResolveShortName(alias.c_str(), small, sizeof small));
    EXPECT_EQ(errno, ENAMETOOLONG);
    EXPECT_FALSE(ResolveShortName(alias.c_str(), nullptr, 0));
}
