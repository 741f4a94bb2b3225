// MPEG audio decoding through libmpg123, to interleaved 32-bit float frames.
#pragma once

#include <mpg123.h>
#include <sys/types.h>

#include <cstddef>
#include <memory>

#include "platform/mci/failure.h"
#include "platform/mci/mp3length.h"

namespace mci {

class Decoder {
  public:
    Decoder() = default;
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Reads the stream from fd (not taken over; it must outlive the decoder)
    // from its first byte and learns its format from the first frame. An
    // index of the file's frames, when there is one, makes a seek go
    // straight to the frame it needs.
    Failure open(int fd, const FrameIndex* index = nullptr);

    long rate() const { return rate_; }
    int channels() const { return channels_; }

    // Positions the decoder sample-accurately at frame (per channel).
    bool seek(long long frame);

    enum class Status { kData, kEnd };
    // Decodes into out (room for maxFrames frames); count gets the frames
    // written. A stream error ends the track as its end would: a damaged or
    // truncated file plays what it holds.
    Status read(float* out, std::size_t maxFrames, std::size_t* count);

  private:
    // The file as libmpg123 reads it: through a buffer, since its own reader
    // asks the kernel twice for every frame.
    struct BufferedFile {
        int fd = -1;
        off_t bufferStart = 0;  // file offset of buffer[0]
        std::size_t used = 0;   // bytes of buffer taken
        std::size_t filled = 0;
        char buffer[1 << 16];
    };
    static mpg123_ssize_t readBuffered(void* file, void* out, std::size_t size);
    static off_t seekBuffered(void* file, off_t offset, int whence);

    void release();
    bool formatUnchanged() const;

    std::unique_ptr<BufferedFile> file_;
    mpg123_handle* handle_ = nullptr;
    long rate_ = 0;
    int channels_ = 0;
};

}  // namespace mci
