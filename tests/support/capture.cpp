#include "capture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

StdoutCapture::StdoutCapture() {
    char path[] = "/tmp/stdout-capture-XXXXXX";
    file_ = mkstemp(path);
    if (file_ < 0) {
        throw std::runtime_error("StdoutCapture: cannot create a temporary file");
    }
    unlink(path);
    std::fflush(stdout);
    savedStdout_ = dup(STDOUT_FILENO);
    if (savedStdout_ < 0 || dup2(file_, STDOUT_FILENO) < 0) {
        if (savedStdout_ >= 0) {
            close(savedStdout_);
        }
        close(file_);
        throw std::runtime_error("StdoutCapture: cannot redirect standard output");
    }
}

// What nobody took is passed on to the real standard output: a test
// framework reports failures there, and they must not vanish in the capture.
StdoutCapture::~StdoutCapture() {
    std::string untaken = take();
    dup2(savedStdout_, STDOUT_FILENO);
    close(savedStdout_);
    close(file_);
    std::fwrite(untaken.data(), 1, untaken.size(), stdout);
    std::fflush(stdout);
}

std::string StdoutCapture::take() {
    std::fflush(stdout);
    std::string out;
    char buf[4096];
    // fd 1 and file_ share one file offset, so rewinding here rewinds both.
    lseek(file_, 0, SEEK_SET);
    ssize_t n;
    while ((n = read(file_, buf, sizeof buf)) > 0) {
        out.append(buf, static_cast<std::size_t>(n));
    }
    if (ftruncate(file_, 0) != 0) {
        std::perror("StdoutCapture: cannot empty the temporary file");
    }
    lseek(file_, 0, SEEK_SET);
    return out;
}
