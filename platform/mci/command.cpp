#include "platform/mci/command.h"

#include "platform/mci/mci.h"
#include "platform/text.h"

namespace mci {

namespace {

constexpr std::size_t kMaxDigits = 18;  // stays well inside long long

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (!isDigit(c)) {
            return false;
        }
    }
    return true;
}

}  // namespace

int splitWords(std::string_view text, std::vector<std::string>* words) {
    words->clear();
    std::size_t at = 0;
    while (at < text.size()) {
        if (isBlank(text[at])) {
            ++at;
            continue;
        }
        if (text[at] == '"') {
            const std::size_t close = text.find('"', at + 1);
            if (close == std::string_view::npos) {
                return MCIERR_NO_CLOSING_QUOTE;
            }
            words->emplace_back(text.substr(at + 1, close - at - 1));
            at = close + 1;
            continue;
        }
        std::size_t end = at;
        while (end < text.size() && !isBlank(text[end])) {
            ++end;
        }
        words->emplace_back(text.substr(at, end - at));
        at = end;
    }
    return 0;
}

bool sameWord(std::string_view a, std::string_view b) {
    return compareIgnoringAsciiCase(a, b) == 0;
}

int parseNumber(std::string_view word, long long* value) {
    const bool negative = !word.empty() && word.front() == '-';
    const std::string_view digits = negative ? word.substr(1) : word;
    if (!allDigits(digits)) {
        return MCIERR_BAD_INTEGER;
    }
    if (negative || digits.size() > kMaxDigits) {
        return MCIERR_OUTOFRANGE;
    }
    long long number = 0;
    for (const char c : digits) {
        number = number * 10 + (c - '0');
    }
    *value = number;
    return 0;
}

}  // namespace mci
