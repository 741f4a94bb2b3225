// The ReplayGain items of an APE tag, where a gain tagger writes them by
// default: at the end of an MP3 file, before its ID3v1 tag when it has one.
// No library this program uses reads APE tags, so this reader is ours; every
// byte it reads is untrusted.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/mci/replaygain.h"

namespace mci {

// Reads size bytes at offset of a file into out; false when they cannot all
// be read.
using ReadAt = bool (*)(void* file, std::uint64_t offset, unsigned char* out, std::size_t size);

// Adds to *tags the fields it lacks from the APE tag (version 1 or 2) at the
// end of a file of fileSize bytes. A damaged tag gives what its items before
// the damage hold.
void readApeGains(std::uint64_t fileSize, ReadAt read, void* file, GainTags* tags);

}  // namespace mci
