#include "platform/textfold.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>

namespace {

locale_t utf8Locale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return locale;
}

// Length of the character at c (strictly formed), or 0 when c begins none.
int charLength(const unsigned char* c) {
    const int length = c[0] < 0xC2 ? 0 : c[0] < 0xE0 ? 2 : c[0] < 0xF0 ? 3 : c[0] < 0xF5 ? 4 : 0;
    for (int k = 1; k < length; ++k) {
        if ((c[k] & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

std::uint32_t decode(const unsigned char* c, int length) {
    std::uint32_t code = c[0] & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        code = code << 6 | (c[k] & 0x3F);
    }
    return code;
}

int encode(std::uint32_t code, char* out) {
    if (code < 0x80) {
        out[0] = static_cast<char>(code);
        return 1;
    }
    if (code < 0x800) {
        out[0] = static_cast<char>(0xC0 | code >> 6);
        out[1] = static_cast<char>(0x80 | (code & 0x3F));
        return 2;
    }
    if (code < 0x10000) {
        out[0] = static_cast<char>(0xE0 | code >> 12);
        out[1] = static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out[2] = static_cast<char>(0x80 | (code & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | code >> 18);
    out[1] = static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out[2] = static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out[3] = static_cast<char>(0x80 | (code & 0x3F));
    return 4;
}

}  // namespace

std::size_t foldLetterCase(const char* text, char* out, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    const locale_t locale = utf8Locale();
    std::size_t written = 0;
    while (*bytes != 0) {
        char folded[4];
        int length = 1;
        int foldedLength = 1;
        if (*bytes < 0x80) {
            folded[0] = static_cast<char>(*bytes >= 'A' && *bytes <= 'Z' ? *bytes + 32 : *bytes);
        } else if ((length = charLength(bytes)) > 0 && locale != nullptr) {
            const auto lower = towlower_l(static_cast<wint_t>(decode(bytes, length)), locale);
            foldedLength = encode(static_cast<std::uint32_t>(lower), folded);
        } else {
            length = length > 0 ? length : 1;
            foldedLength = length;
            for (int k = 0; k < length; ++k) {
                folded[k] = static_cast<char>(bytes[k]);
            }
        }
        if (written + static_cast<std::size_t>(foldedLength) >= size) {
            break;
        }
        for (int k = 0; k < foldedLength; ++k) {
            out[written++] = folded[k];
        }
        bytes += length;
    }
    out[written] = 0;
    return written;
}
