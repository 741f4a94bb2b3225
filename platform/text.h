// Byte-wise text helpers that do not depend on the locale: ASCII letter case,
// where every byte above 0x7F stays as it is, and bounded copies into fixed
// buffers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

constexpr char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr bool isAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Orders a and b with ASCII letters folded to upper case, as the Windows file
// system does (so "_" sorts after the letters); other bytes compare as
// unsigned. Returns <0, 0 or >0.
inline int compareIgnoringAsciiCase(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t k = 0; k < common; ++k) {
        const auto x = static_cast<unsigned char>(asciiUpper(a[k]));
        const auto y = static_cast<unsigned char>(asciiUpper(b[k]));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

// Copies text into the size bytes at out, cut to fit and always terminated.
// Returns the bytes copied, less than text.size() when it was cut; nothing is
// written when out is null or size is 0.
inline std::size_t copyCut(std::string_view text, char* out, std::size_t size) {
    if (out == nullptr || size == 0) {
        return 0;
    }
    const std::size_t count = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), count);
    out[count] = '\0';
    return count;
}
