// The terminal's signals are the main thread's business: its handlers give
// the terminal back and end the program, and must not run on a thread that
// plays audio. A thread takes the signal mask of the thread that creates it,
// so every thread of the engine (the playback thread, and the client threads
// that a sound server's output plugin starts when it is opened) is created
// while this guard blocks every signal.
#pragma once

#include <pthread.h>
#include <signal.h>

namespace mci {

class SignalsBlockedHere {
  public:
    SignalsBlockedHere() {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &saved_);
    }
    ~SignalsBlockedHere() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
    SignalsBlockedHere(const SignalsBlockedHere&) = delete;
    SignalsBlockedHere& operator=(const SignalsBlockedHere&) = delete;

  private:
    sigset_t saved_;
};

}  // namespace mci
