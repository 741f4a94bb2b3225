// Runs the probe program on a fresh pseudo-terminal, as a person's terminal
// would: the probe is a session leader with the pty as its controlling
// terminal, so that Ctrl+C typed into it raises SIGINT.
#pragma once

#include <sys/types.h>

#include <string>

class PtyChild {
  public:
    PtyChild(const char* mode, int cols, int rows);
    ~PtyChild();
    PtyChild(const PtyChild&) = delete;
    PtyChild& operator=(const PtyChild&) = delete;

    void send(const std::string& bytes);
    void resize(int cols, int rows);
    void signal(int signo);
    // Reads until needle appears after what earlier calls returned; returns the
    // output up to the needle's end, or throws when the probe falls silent
    // without it (a bound against a hanging test, not a timing check).
    std::string readUntil(const std::string& needle);
    // Waits for the probe to end; returns its wait status.
    int wait();
    // All output so far, after wait() including what came last.
    const std::string& output() const { return output_; }
    // Local modes of the terminal as the probe left them.
    unsigned localModes() const;

  private:
    bool readSome(int timeoutMs);

    int master_ = -1;
    int slave_ = -1;
    pid_t pid_ = -1;
    std::string output_;
    std::size_t consumed_ = 0;
};
