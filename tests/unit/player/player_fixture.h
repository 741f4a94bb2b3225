// Common ground of the player's unit tests: a fresh player state, the fakes
// reset, standard output captured into a virtual 80 x 25 screen, and helpers
// to build catalogues and folders.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "capture.h"
#include "fakes.h"
#include "player/catalogue.h"
#include "player/state.h"
#include "support/temp_folder.h"
#include "support/vscreen.h"
#include "tcconio/conio_test_hooks.h"
#include "tcconio/keyboard.h"

// Standard output is unbuffered, as the player makes it where it is not a
// terminal, so that the capture sees every byte when it is written. A
// stream's buffering can be set only before anything is written to it: this
// runs before main.
inline const int kStdoutUnbuffered = std::setvbuf(stdout, nullptr, _IONBF, 0);

class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetPlayerState();
        fake::resetMedia();
        fake::resetKeyboard();
        conioPretendTerminal(80, 25);
        capture_ = std::make_unique<StdoutCapture>();
        // The user's state file goes to a folder of the test, never home.
        stateHome_ = std::make_unique<TempFolder>("player-state");
        setenv("XDG_STATE_HOME", stateHome_->path().c_str(), 1);
    }

    void TearDown() override {
        capture_.reset();
        stateHome_.reset();
        if (folder_ != nullptr) {
            std::filesystem::current_path(startDirectory_);
            folder_.reset();
        }
    }

    // The screen as the output so far has drawn it.
    VirtualScreen& screen() {
        takeOutput();
        return screen_;
    }

    // The bytes written since the last look; the screen takes them in too.
    std::string takeOutput() {
        std::string output = capture_->take();
        screen_.feed(output);
        return output;
    }

    // A catalogue of n songs as the scan and the pager leave it: short names
    // S0000.MP3 ..., display names "Song 0000" ...
    void makeCatalogue(int n) {
        for (int k = 0; k < n; ++k) {
            std::snprintf(S.NextSong[k], kCellSize, "S%04d.MP3", k);
            std::snprintf(S.LongFileName[k], kCellSize, "Song %04d.mp3", k);
        }
        S.TotalSong = n;
        init();
    }

    // A fresh empty folder that becomes the working directory.
    std::filesystem::path enterNewFolder() {
        if (folder_ == nullptr) {
            startDirectory_ = std::filesystem::current_path();
        }
        folder_ = std::make_unique<TempFolder>("player-test");
        if (!folder_->path().empty()) {
            std::filesystem::current_path(folder_->path());
        }
        return folder_->path();
    }

    static void touch(const std::filesystem::path& file, const std::string& content = "x") {
        FILE* out = std::fopen(file.c_str(), "wb");
        ASSERT_NE(out, nullptr) << file;
        std::fwrite(content.data(), 1, content.size(), out);
        std::fclose(out);
    }

    static std::string slurp(const std::filesystem::path& file) {
        std::string content;
        if (FILE* in = std::fopen(file.c_str(), "rb")) {
            char buffer[4096];
            std::size_t got;
            while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
                content.append(buffer, got);
            }
            std::fclose(in);
        }
        return content;
    }

    // number.txt and names.txt as their layout has them: 4-byte little-endian
    // lengths; 1024-byte records of the names of songs j to j + 7.
    static std::string numberFileBytes(const std::vector<int>& lengths) {
        std::string bytes;
        for (int seconds : lengths) {
            for (int b = 0; b < 4; ++b) {
                bytes += static_cast<char>(static_cast<unsigned>(seconds) >> (8 * b));
            }
        }
        return bytes;
    }

    static std::string namesFileBytes(const std::vector<std::string>& names) {
        std::string bytes;
        for (std::size_t j = 0; j < names.size(); ++j) {
            for (std::size_t field = j; field < j + 8; ++field) {
                std::string cell = field < names.size() ? names[field] : "";
                bytes += cell + std::string(kCellSize - cell.size(), '\0');
            }
        }
        return bytes;
    }

    std::unique_ptr<TempFolder> stateHome_;  // XDG_STATE_HOME of the test

  private:
    std::unique_ptr<StdoutCapture> capture_;
    VirtualScreen screen_;
    std::unique_ptr<TempFolder> folder_;
    std::filesystem::path startDirectory_;
};
