// Splitting of command texts into words, and the numbers they carry.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mci {

// Longest command text accepted, terminator not counted: room for a full
// path and the keywords around it.
constexpr std::size_t kMaxCommandLength = 8192;

// Splits text at blanks (spaces, tabs); runs of blanks count as one. A word
// that starts with a double quote runs to the next one, blanks included, and
// loses its quotes, as Windows reads "My Song.mp3". Returns 0 or
// MCIERR_NO_CLOSING_QUOTE.
int splitWords(std::string_view text, std::vector<std::string>* words);

// Compares ASCII letters without regard to case, as keywords and aliases
// are compared.
bool sameWord(std::string_view a, std::string_view b);

// Reads a whole decimal number of at most 18 digits. Returns 0 with *value
// set, MCIERR_BAD_INTEGER for anything that is not a number, or
// MCIERR_OUTOFRANGE for a negative or too long one.
int parseNumber(std::string_view word, long long* value);

}  // namespace mci
