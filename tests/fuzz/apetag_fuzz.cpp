// The reader of APE tags, over the input as the end of a file: every value
// it takes is a number in range, and it reads no byte outside the file.
#include <cstring>

#include "guard.h"
#include "platform/mci/apetag.h"

namespace {

struct Bytes {
    const std::uint8_t* data;
    std::size_t size;
};

bool readBytes(void* file, std::uint64_t offset, unsigned char* out, std::size_t size) {
    const auto* bytes = static_cast<const Bytes*>(file);
    require(offset <= bytes->size, "a read from past the end of the file");
    if (size > bytes->size - offset) {
        return false;
    }
    std::memcpy(out, bytes->data + offset, size);
    return true;
}

void requireInRange(const std::optional<float>& value, float low, float high) {
    require(!value.has_value() || (*value >= low && *value <= high), "a value out of range");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes file{data, size};
    mci::GainTags tags;
    mci::readApeGains(size, readBytes, &file, &tags);
    requireInRange(tags.trackDb, -mci::kMaxGainDb, mci::kMaxGainDb);
    requireInRange(tags.albumDb, -mci::kMaxGainDb, mci::kMaxGainDb);
    requireInRange(tags.trackPeak, 0, mci::kMaxPeak);
    requireInRange(tags.albumPeak, 0, mci::kMaxPeak);
    return 0;
}
