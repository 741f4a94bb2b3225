// The command line: the input's bytes, split at zero bytes, are the
// arguments. Whatever they are, the outcome is one of the four, a target
// points at one of the arguments, and an error line is printable and fits.
#include <cstring>
#include <string>
#include <vector>

#include "guard.h"
#include "player/cmdline.h"

namespace {

constexpr std::size_t kMostArguments = 16;

bool printable(const char* text) {
    for (const char* c = text; *c != '\0'; ++c) {
        if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7f) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words(1, "mp3");
    const char* text = reinterpret_cast<const char*>(data);
    for (std::size_t at = 0; at <= size && words.size() < kMostArguments;) {
        const void* zero = std::memchr(text + at, 0, size - at);
        const std::size_t end = zero != nullptr ? static_cast<const char*>(zero) - text : size;
        words.emplace_back(text + at, end - at);
        at = end + 1;
    }
    std::vector<const char*> argv;
    for (const std::string& word : words) {
        argv.push_back(word.c_str());
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());
    const CommandLine line = parseCommandLine(argc, argv.data());
    switch (line.action) {
        case CommandAction::Play:
            if (line.target != nullptr) {
                bool found = false;
                for (int i = 1; i < argc; ++i) {
                    found = found || line.target == argv[static_cast<std::size_t>(i)];
                }
                require(found, "a target that is none of the arguments");
            }
            break;
        case CommandAction::UsageError:
            require(std::memchr(line.error, 0, sizeof line.error) != nullptr,
                    "an error line without its end");
            require(line.error[0] != '\0' && printable(line.error),
                    "an empty error line, or one with a control byte");
            break;
        case CommandAction::Help:
        case CommandAction::Version:
            break;
        default:
            require(false, "an outcome that is none of the four");
    }
    return 0;
}
