// Temporary folders for the tests: one made fresh under $TMPDIR (else /tmp)
// and removed with everything in it when its owner goes, and a fixture that
// runs each test inside one.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

class TempFolder {
  public:
    // A folder named prefix-XXXXXX. When none can be made the test fails and
    // path() is empty.
    explicit TempFolder(const std::string& prefix);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

class TempFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        start_ = std::filesystem::current_path();
        ASSERT_FALSE(folder_.empty());
        ASSERT_EQ(chdir(folder_.c_str()), 0);
    }

    void TearDown() override { ASSERT_EQ(chdir(start_.c_str()), 0); }

    // Names are raw bytes: std::string keeps invalid UTF-8 as it is.
    static void touch(const std::string& name) {
        const int fd = open(name.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0) << name;
        close(fd);
    }

    static void makeFolder(const std::string& name) { ASSERT_EQ(mkdir(name.c_str(), 0755), 0); }

    static void link(const std::string& target, const std::string& name) {
        ASSERT_EQ(symlink(target.c_str(), name.c_str()), 0);
    }

    std::filesystem::path start_;
    TempFolder made_{"platform-test"};
    const std::filesystem::path& folder_ = made_.path();
};
