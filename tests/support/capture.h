// Captures everything written to standard output (file descriptor 1 and the
// stdout stream) while it is alive, for tests of screen output. What is left
// untaken when it ends goes on to the real standard output, so the failure
// messages of assertions made while it is alive are still seen.
#pragma once

#include <string>

class StdoutCapture {
  public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // What was written since the capture began or since the last take().
    std::string take();

  private:
    int savedStdout_ = -1;
    int file_ = -1;
};
