// Letter case folded away for searching: by the Unicode case mappings of the
// C library's UTF-8 tables, whatever locale the program runs in.
#pragma once

#include <cstddef>

// Writes text with every letter in lower case into out (size bytes, always
// terminated; cut at a character's end when it does not fit). Bytes that are
// not UTF-8 are copied as they are. Returns the bytes written.
std::size_t foldLetterCase(const char* text, char* out, std::size_t size);
