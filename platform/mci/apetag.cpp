#include "platform/mci/apetag.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace mci {

namespace {

constexpr std::size_t kFooterSize = 32;
constexpr std::size_t kId3v1Size = 128;
// An item: value size and flags (4 bytes each), a key of 2 to 255 printable
// bytes and its terminating zero, then the value.
constexpr std::size_t kItemHeaderSize = 8;
constexpr std::size_t kMinItemSize = kItemHeaderSize + 2 + 1;
constexpr std::size_t kMaxKeySize = 255;
// No gain or peak is written with more characters than this; a longer value
// is no number this reader takes, and is not read.
constexpr std::size_t kMaxValueSize = 64;
constexpr std::uint32_t kFlagIsHeader = 1u << 29;
constexpr std::uint32_t kItemTypeMask = 3u << 1;  // 0: UTF-8 text

std::uint32_t littleEndian32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

struct Footer {
    std::uint64_t itemsStart = 0;
    std::uint64_t itemsEnd = 0;
    std::uint32_t itemCount = 0;
};

// The tag ends at the end of the file or right before an ID3v1 tag.
bool findFooter(std::uint64_t fileSize, ReadAt read, void* file, Footer* footer) {
    std::uint64_t end = fileSize;
    unsigned char bytes[kFooterSize];
    if (fileSize >= kId3v1Size + kFooterSize && read(file, fileSize - kId3v1Size, bytes, 3) &&
        std::memcmp(bytes, "TAG", 3) == 0) {
        end -= kId3v1Size;
    }
    if (end < kFooterSize || !read(file, end - kFooterSize, bytes, kFooterSize) ||
        std::memcmp(bytes, "APETAGEX", 8) != 0) {
        return false;
    }
    const std::uint32_t version = littleEndian32(bytes + 8);
    const std::uint32_t tagSize = littleEndian32(bytes + 12);  // items and footer
    const std::uint32_t flags = littleEndian32(bytes + 20);
    if ((version != 1000 && version != 2000) || (flags & kFlagIsHeader) != 0 ||
        tagSize < kFooterSize || tagSize > end) {
        return false;
    }
    footer->itemsStart = end - tagSize;
    footer->itemsEnd = end - kFooterSize;
    footer->itemCount = littleEndian32(bytes + 16);
    return true;
}

// Reads the item at *at and moves *at past it; false at damage.
bool readItem(ReadAt read, void* file, std::uint64_t* at, std::uint64_t end, GainTags* tags) {
    unsigned char header[kItemHeaderSize];
    if (end - *at < kMinItemSize || !read(file, *at, header, sizeof header)) {
        return false;
    }
    const std::uint32_t valueSize = littleEndian32(header);
    const std::uint32_t flags = littleEndian32(header + 4);
    *at += kItemHeaderSize;
    unsigned char key[kMaxKeySize + 1];
    const std::size_t keyRoom =
        static_cast<std::size_t>(std::min<std::uint64_t>(sizeof key, end - *at));
    if (!read(file, *at, key, keyRoom)) {
        return false;
    }
    const auto* zero = static_cast<const unsigned char*>(std::memchr(key, 0, keyRoom));
    if (zero == nullptr) {
        return false;
    }
    const auto keySize = static_cast<std::size_t>(zero - key);
    *at += keySize + 1;
    if (valueSize > end - *at) {
        return false;
    }
    const GainField field = gainFieldNamed({reinterpret_cast<const char*>(key), keySize});
    if (field != GainField::kNone && (flags & kItemTypeMask) == 0 && valueSize <= kMaxValueSize) {
        char value[kMaxValueSize];
        if (!read(file, *at, reinterpret_cast<unsigned char*>(value), valueSize)) {
            return false;
        }
        // A text item may hold a list of values separated by zeros: the first counts.
        const std::string_view text(value, strnlen(value, valueSize));
        takeGainItem(tags, field, text);
    }
    *at += valueSize;
    return true;
}

}  // namespace

void readApeGains(std::uint64_t fileSize, ReadAt read, void* file, GainTags* tags) {
    Footer footer;
    if (!findFooter(fileSize, read, file, &footer)) {
        return;
    }
    std::uint64_t at = footer.itemsStart;
    // Every item moves on by at least its smallest size, so the walk ends
    // whatever the count says.
    for (std::uint32_t item = 0; item < footer.itemCount; ++item) {
        if (!readItem(read, file, &at, footer.itemsEnd, tags)) {
            return;
        }
    }
}

}  // namespace mci
