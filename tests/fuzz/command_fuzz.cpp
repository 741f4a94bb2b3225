// The command texts of the media-control interface: split into words, and
// the words read as keywords and numbers.
#include <string>
#include <string_view>
#include <vector>

#include "guard.h"
#include "platform/mci/command.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> words;
    if (mci::splitWords(text, &words) != 0) {
        return 0;
    }
    for (const std::string& word : words) {
        require(word.size() <= size, "a word longer than the text");
        long long value = -1;
        if (mci::parseNumber(word, &value) == 0) {
            require(word.find_first_not_of("0123456789") == std::string::npos &&
                        value == std::stoll(word),
                    "a number read wrong, or from what is not one");
        }
        require(mci::sameWord(word, word), "a word differs from itself");
    }
    return 0;
}
