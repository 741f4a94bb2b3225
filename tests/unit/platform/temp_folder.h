// A fixture that runs each test inside a fresh temporary folder and puts the
// working directory back afterwards.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class TempFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        start_ = std::filesystem::current_path();
        std::string pattern = std::filesystem::temp_directory_path() / "platform-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        ASSERT_EQ(chdir(folder_.c_str()), 0);
    }

    void TearDown() override {
        ASSERT_EQ(chdir(start_.c_str()), 0);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

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
    std::filesystem::path folder_;
};
