#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/fs.h"
#include "temp_folder.h"

namespace {

std::string workingDirectory() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? buffer : "";
}

}  // namespace

using WorkingDirectory = TempFolderTest;

TEST_F(WorkingDirectory, ReportsTheAbsolutePathAndItsLength) {
    char buffer[4096];
    const unsigned length = GetCurrentDirectory(sizeof buffer, buffer);
    EXPECT_EQ(buffer, workingDirectory());
    EXPECT_EQ(length, std::strlen(buffer));
    EXPECT_EQ(buffer[0], '/');
}

TEST_F(WorkingDirectory, TooSmallBufferGetsTheSizeNeededAndIsLeftEmpty) {
    const std::string path = workingDirectory();
    const unsigned needed = static_cast<unsigned>(path.size() + 1);
    char buffer[4096];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(GetCurrentDirectory(needed - 1, buffer), needed);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(GetCurrentDirectory(0, nullptr), needed);
    EXPECT_EQ(GetCurrentDirectory(needed, buffer), needed - 1);
    EXPECT_EQ(buffer, path);
}

TEST_F(WorkingDirectory, RemovedDirectoryIsAFailureWithItsError) {
    makeFolder("doomed");
    ASSERT_EQ(chdir("doomed"), 0);
    ASSERT_EQ(rmdir((folder_ / "doomed").c_str()), 0);
    char buffer[4096];
    EXPECT_EQ(GetCurrentDirectory(sizeof buffer, buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<unsigned>(ENOENT));
}

TEST_F(WorkingDirectory, ChdirChangesOnlyToFoldersThatExist) {
    makeFolder("music");
    const std::string start = workingDirectory();

    EXPECT_EQ(_chdir(""), -1);
    EXPECT_EQ(workingDirectory(), start);
    errno = 0;
    EXPECT_EQ(_chdir("no such folder"), -1);
    EXPECT_EQ(errno, ENOENT);
    touch("file");
    EXPECT_EQ(_chdir("file"), -1);
    EXPECT_EQ(_chdir(nullptr), -1);
    EXPECT_EQ(workingDirectory(), start);

    EXPECT_EQ(_chdir("music"), 0);
    EXPECT_EQ(workingDirectory(), start + "/music");
}

TEST(UserName, IsTheEffectiveUsersNameWhateverTheEnvironmentSays) {
    const passwd* entry = getpwuid(geteuid());
    ASSERT_NE(entry, nullptr) << "the test machine's user has no entry";
    const std::string expected = entry->pw_name;

    setenv("USER", "somebody-else", 1);
    setenv("LOGNAME", "somebody-else", 1);
    char buffer[128];
    unsigned size = sizeof buffer;
    ASSERT_NE(GetUserName(buffer, &size), 0);
    EXPECT_EQ(buffer, expected);
    EXPECT_EQ(size, expected.size() + 1);
}

TEST(UserName, TooSmallBufferFailsWithErangeAndTheSizeNeeded) {
    const std::string expected = getpwuid(geteuid())->pw_name;
    char buffer[128];
    unsigned size = static_cast<unsigned>(expected.size());
    EXPECT_EQ(GetUserName(buffer, &size), 0);
    EXPECT_EQ(GetLastError(), static_cast<unsigned>(ERANGE));
    EXPECT_EQ(size, expected.size() + 1);
    EXPECT_EQ(GetUserName(buffer, &size), 1);
}
