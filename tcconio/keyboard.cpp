// Keys from standard input, translated into the codes of the console runtime.
// Every byte is untrusted: a sequence that is not understood is dropped whole,
// and nothing here grows without bound or waits without a limit it was given.

#include "tcconio/keyboard.h"

#include <errno.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "tcconio/conio_test_hooks.h"
#include "tcconio/tcconio.h"

namespace {

constexpr unsigned char kEsc = 27;
// How long the bytes of one escape sequence may lag behind each other. A
// terminal sends a sequence in one piece; a person cannot type Esc and a
// second key this fast.
constexpr int kSequenceGapMs = 40;
constexpr int kWaitForever = -1;

constexpr int kUp = 72, kDown = 80, kRight = 77, kLeft = 75;
constexpr int kHome = 71, kEnd = 79, kPageUp = 73, kPageDown = 81;
constexpr int kInsert = 82, kDelete = 83;
constexpr int kF1 = 59;

// Codes decoded but not handed out yet: the second code of an extended key.
class CodeQueue {
  public:
    bool empty() const { return count_ == 0; }
    void clear() { head_ = count_ = 0; }
    void push(int code) {
        if (count_ < kCapacity) {
            codes_[(head_ + count_++) % kCapacity] = code;
        }
    }
    int pop() {
        int code = codes_[head_];
        head_ = (head_ + 1) % kCapacity;
        --count_;
        return code;
    }

  private:
    static constexpr int kCapacity = 8;
    int codes_[kCapacity] = {};
    int head_ = 0;
    int count_ = 0;
};

CodeQueue queue;
// A byte read while looking for an escape sequence that turned out to start
// the next key (Esc typed just before another key).
int pendingByte = -1;
bool inputEnded = false;

enum class ReadResult { Byte, Timeout, End };

long long nowMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// The program's own wait, which watches its other sources beside the input.
ConioWait programWait = nullptr;

// What ended a wait: input (or its end, or an error) to read, an event that
// the program's wait handled, or neither before the time was up.
struct Readiness {
    bool input = false;
    bool event = false;
};

// One wait on the input alone.
ConioWake pollInput(int inputFd, int timeoutMs) {
    struct pollfd fd = {inputFd, POLLIN, 0};
    const int ready = poll(&fd, 1, timeoutMs);
    if (ready > 0) {
        return ConioWake::Input;
    }
    return ready < 0 && errno == EINTR ? ConioWake::Interrupted : ConioWake::Nothing;
}

// Waits up to timeoutMs (kWaitForever: no limit) for input and, when events
// is set, for what the program's wait watches; an interruption only makes it
// wait for the rest of the time. Input that is there means that the
// following read() does not block.
Readiness waitForInput(int timeoutMs, bool events) {
    const ConioWait wait = events && programWait != nullptr ? programWait : pollInput;
    long long deadline = nowMs() + timeoutMs;
    for (;;) {
        switch (wait(STDIN_FILENO, timeoutMs)) {
            case ConioWake::Input:
                return {true, false};
            case ConioWake::Event:
                return {false, true};
            case ConioWake::Nothing:
                return {};
            case ConioWake::Interrupted:
                break;
        }
        if (timeoutMs != kWaitForever) {
            long long left = deadline - nowMs();
            timeoutMs = left > 0 ? static_cast<int>(left) : 0;
        }
    }
}

// Reads one byte, waiting up to timeoutMs; with events, a handled event ends
// the wait too (as a timeout, with no byte).
ReadResult readByte(int timeoutMs, unsigned char* byte, bool events = false) {
    if (pendingByte >= 0) {
        *byte = static_cast<unsigned char>(pendingByte);
        pendingByte = -1;
        return ReadResult::Byte;
    }
    for (;;) {
        if (!waitForInput(timeoutMs, events).input) {
            return ReadResult::Timeout;
        }
        ssize_t n = read(STDIN_FILENO, byte, 1);
        if (n == 1) {
            return ReadResult::Byte;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        inputEnded = true;
        return ReadResult::End;
    }
}

void pushExtended(int prefix, int scan) {
    queue.push(prefix);
    queue.push(scan);
}

// The first number of a parameter string such as "15;2" (modifiers after the
// semicolon are ignored); -1 when there is none.
int firstParameter(const char* params) {
    int value = -1;
    for (const char* p = params; *p >= '0' && *p <= '9'; ++p) {
        value = (value < 0 ? 0 : value) * 10 + (*p - '0');
        if (value > 1000) {
            return -1;
        }
    }
    return value;
}

bool onlyDigitsAndSemicolons(const char* params) {
    for (const char* p = params; *p != '\0'; ++p) {
        if ((*p < '0' || *p > '9') && *p != ';') {
            return false;
        }
    }
    return true;
}

// The keys sent as ESC [ <number> ~ (Home and End also as 7 and 8).
void pushTildeKey(int number) {
    switch (number) {
        case 1:
        case 7:
            return pushExtended(kExtendedKeyPrefix, kHome);
        case 2:
            return pushExtended(kExtendedKeyPrefix, kInsert);
        case 3:
            return pushExtended(kExtendedKeyPrefix, kDelete);
        case 4:
        case 8:
            return pushExtended(kExtendedKeyPrefix, kEnd);
        case 5:
            return pushExtended(kExtendedKeyPrefix, kPageUp);
        case 6:
            return pushExtended(kExtendedKeyPrefix, kPageDown);
        default:
            break;
    }
    if (number >= 11 && number <= 15) {
        pushExtended(kFunctionKeyPrefix, kF1 + number - 11);  // F1-F5
    } else if (number >= 17 && number <= 21) {
        pushExtended(kFunctionKeyPrefix, kF1 + 5 + number - 17);  // F6-F10
    }
}

// The keys whose sequence ends in a letter, in both CSI and SS3 form.
void pushLetterKey(char final) {
    switch (final) {
        case 'A':
            return pushExtended(kExtendedKeyPrefix, kUp);
        case 'B':
            return pushExtended(kExtendedKeyPrefix, kDown);
        case 'C':
            return pushExtended(kExtendedKeyPrefix, kRight);
        case 'D':
            return pushExtended(kExtendedKeyPrefix, kLeft);
        case 'H':
            return pushExtended(kExtendedKeyPrefix, kHome);
        case 'F':
            return pushExtended(kExtendedKeyPrefix, kEnd);
        case 'P':
        case 'Q':
        case 'R':
        case 'S':
            return pushExtended(kFunctionKeyPrefix, kF1 + final - 'P');  // F1-F4
        default:
            break;  // not a key we know
    }
}

// The Linux console sends F1-F5 as ESC [ [ A to ESC [ [ E.
void decodeConsoleFunctionKey() {
    unsigned char byte;
    if (readByte(kSequenceGapMs, &byte) == ReadResult::Byte && byte >= 'A' && byte <= 'E') {
        pushExtended(kFunctionKeyPrefix, kF1 + byte - 'A');
    }
}

// Reads the rest of a sequence after ESC [ or ESC O: parameter and
// intermediate bytes up to a final byte. All of it is consumed even when it
// is too long to keep, so none of its bytes turns into a key.
void decodeSequence(bool ss3) {
    char params[16];
    std::size_t length = 0;
    bool tooLong = false;
    unsigned char byte;
    for (;;) {
        if (readByte(kSequenceGapMs, &byte) != ReadResult::Byte) {
            return;  // cut short
        }
        if (byte >= 0x40 && byte <= 0x7e) {
            break;
        }
        if (byte == kEsc) {
            pendingByte = byte;  // the broken sequence is dropped; a new one starts
            return;
        }
        if (byte < 0x20 || byte > 0x7e) {
            return;  // not part of any sequence: dropped with it
        }
        if (length < sizeof params - 1) {
            params[length++] = static_cast<char>(byte);
        } else {
            tooLong = true;
        }
    }
    params[length] = '\0';
    if (tooLong || !onlyDigitsAndSemicolons(params)) {
        return;
    }
    if (!ss3 && length == 0 && byte == '[') {
        return decodeConsoleFunctionKey();
    }
    if (!ss3 && byte == '~') {
        return pushTildeKey(firstParameter(params));
    }
    pushLetterKey(static_cast<char>(byte));
}

void decodeEscape() {
    unsigned char byte;
    ReadResult result = readByte(kSequenceGapMs, &byte);
    if (result == ReadResult::Byte && (byte == '[' || byte == 'O')) {
        return decodeSequence(byte == 'O');
    }
    queue.push(kEsc);
    if (result == ReadResult::Byte) {
        pendingByte = byte;
    }
}

// Reads one key, waiting up to timeoutMs for its first byte (or, with events,
// for an event), and queues its codes; a dropped sequence queues none.
void decodeNextKey(int timeoutMs, bool events = false) {
    unsigned char byte;
    if (readByte(timeoutMs, &byte, events) != ReadResult::Byte) {
        return;
    }
    switch (byte) {
        case kEsc:
            return decodeEscape();
        case 127:
        case '\b':
            return queue.push('\b');
        case '\r':
        case '\n':
            return queue.push('\r');
        case 0:
            // Ctrl+Space. Handed on, it would pose as the prefix of a
            // function key and turn the next key into its scan code.
            return;
        default:
            return queue.push(byte);
    }
}

// Events are not looked at here: _kbhit asks only whether a key waits, and
// is asked where nothing else may run (while songs are measured).
bool inputWaiting() {
    return pendingByte >= 0 || waitForInput(0, false).input;
}

void (*beforeInputEnd)() = nullptr;

[[noreturn]] void endOfInput() {
    if (void (*record)() = beforeInputEnd) {
        beforeInputEnd = nullptr;
        record();
    }
    conioRestore();
    std::fputs("Standard input has ended: there are no more keys to read.\n", stderr);
    std::exit(1);
}

}  // namespace

int _getch() {
    std::fflush(stdout);
    while (queue.empty()) {
        if (inputEnded) {
            endOfInput();
        }
        decodeNextKey(kWaitForever, true);
    }
    return queue.pop();
}

// The end of input counts as a key waiting, so that the _getch() that follows
// ends the program instead of the caller polling forever.
int _kbhit() {
    std::fflush(stdout);
    while (queue.empty() && !inputEnded && inputWaiting()) {
        decodeNextKey(0);
    }
    return !queue.empty() || inputEnded;
}

void _sleep(unsigned ms) {
    std::fflush(stdout);
    struct timespec until;
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += ms / 1000;
    until.tv_nsec += static_cast<long>(ms % 1000) * 1000000;
    if (until.tv_nsec >= 1000000000) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

unsigned GetTickCount() {
    return static_cast<unsigned>(nowMs());
}

// One poll for the whole sleep when no key comes: the main loop sleeps
// several times a second for as long as the player runs.
bool sleepUntilKey(unsigned ms) {
    std::fflush(stdout);
    long long deadline = nowMs() + ms;
    while (queue.empty() && !inputEnded) {
        long long left = deadline - nowMs();
        if (left <= 0) {
            return false;
        }
        if (pendingByte < 0) {
            Readiness ready =
                waitForInput(static_cast<int>(std::min<long long>(left, INT_MAX)), true);
            if (ready.event || !ready.input) {
                return !queue.empty();
            }
        }
        // Input came; a sequence that is not a key is dropped whole and the
        // sleep goes on.
        decodeNextKey(0);
    }
    return true;
}

void conioBeforeInputEnd(void (*record)()) {
    beforeInputEnd = record;
}

void conioSetWait(ConioWait wait) {
    programWait = wait;
}

void conioForgetInput() {
    queue.clear();
    pendingByte = -1;
    inputEnded = false;
}
