#include "guard.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>

namespace {

struct ProgramEnded {
    int status;
};

bool insideTarget = false;

}  // namespace

extern "C" [[noreturn]] void __real_exit(int status);

// Every call of exit() in the program comes here (the linker's --wrap).
extern "C" [[noreturn]] void __wrap_exit(int status) {
    if (insideTarget) {
        throw ProgramEnded{status};
    }
    __real_exit(status);
}

bool runGuarded(void (*code)(void*), void* context) {
    insideTarget = true;
    bool finished = true;
    try {
        code(context);
    } catch (const ProgramEnded&) {
        finished = false;
    } catch (const std::exception&) {
        finished = false;
    }
    insideTarget = false;
    return finished;
}

const std::string& fuzzFolder() {
    // Never destroyed, so that the removal at exit can still read it.
    static const std::string* folder = [] {
        char pattern[] = "/tmp/mp3-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        require(made != nullptr, "cannot make a temporary folder");
        std::atexit([] { std::filesystem::remove_all(fuzzFolder()); });
        return new std::string(made);
    }();
    return *folder;
}

void writeWhole(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    require(fd >= 0, "cannot create an input file");
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        require(n > 0, "cannot write an input file");
        done += static_cast<std::size_t>(n);
    }
    close(fd);
}

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz: %s\n", what);
        std::abort();
    }
}
