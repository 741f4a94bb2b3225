#include "platform/mci/decoder.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/mci/mci.h"
#include "platform/mci/mp3length.h"

namespace mci {

namespace {

void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

// Float output at whatever rate and channel count the stream has.
void acceptFloatAtEveryRate(mpg123_handle* handle) {
    mpg123_format_none(handle);
    const long* rates = nullptr;
    std::size_t count = 0;
    mpg123_rates(&rates, &count);
    for (std::size_t i = 0; i < count; ++i) {
        mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    }
}

}  // namespace

Decoder::~Decoder() {
    release();
}

void Decoder::release() {
    if (handle_ != nullptr) {
        mpg123_close(handle_);
        mpg123_delete(handle_);
        handle_ = nullptr;
    }
    file_.reset();
    // A rate of zero is how the device tells an unopened decoder.
    rate_ = 0;
    channels_ = 0;
}

Failure Decoder::open(int fd, const FrameIndex* index) {
    release();
    initLibrary();
    int error = MPG123_OK;
    handle_ = mpg123_new(nullptr, &error);
    if (handle_ == nullptr) {
        return {MCIERR_OUT_OF_MEMORY, ENOMEM};
    }
    // Library messages would land on the player's screen.
    mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    // A file that is not MPEG audio is refused quickly instead of being
    // searched to its end. Past damage within the stream the library may
    // search further than the length measurement does; the device stops at
    // the measured length, so what is measured is what plays.
    mpg123_param(handle_, MPG123_RESYNC_LIMIT, kResyncLimit, 0);
    acceptFloatAtEveryRate(handle_);
    file_ = std::make_unique<BufferedFile>();
    file_->fd = fd;
    if (lseek(fd, 0, SEEK_SET) < 0 ||
        mpg123_replace_reader_handle(handle_, readBuffered, seekBuffered, nullptr) != MPG123_OK ||
        mpg123_open_handle(handle_, file_.get()) != MPG123_OK) {
        release();
        return {MCIERR_FILE_READ, EIO};
    }
    int encoding = 0;
    if (mpg123_getformat(handle_, &rate_, &channels_, &encoding) != MPG123_OK || rate_ <= 0 ||
        channels_ <= 0) {
        release();
        return {MCIERR_INVALID_FILE, EINVAL};
    }
    // The format is settled: a later frame of another format must not change it.
    mpg123_format_none(handle_);
    mpg123_format(handle_, rate_, channels_, MPG123_ENC_FLOAT_32);
    if (index != nullptr && !index->offsets.empty()) {
        // Without it, a seek past what was decoded reads every frame up to
        // its target (tens of milliseconds in an hour-long file).
        std::vector<off_t> offsets(index->offsets.begin(), index->offsets.end());
        mpg123_set_index(handle_, offsets.data(), static_cast<off_t>(index->step), offsets.size());
    }
    return {};
}

mpg123_ssize_t Decoder::readBuffered(void* handle, void* out, std::size_t size) {
    auto* file = static_cast<BufferedFile*>(handle);
    if (file->used == file->filled) {
        ssize_t got;
        do {
            got = ::read(file->fd, file->buffer, sizeof file->buffer);
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            return -1;
        }
        file->bufferStart += static_cast<off_t>(file->filled);
        file->used = 0;
        file->filled = static_cast<std::size_t>(got);
    }
    std::size_t count = std::min(size, file->filled - file->used);
    std::memcpy(out, file->buffer + file->used, count);
    file->used += count;
    return static_cast<mpg123_ssize_t>(count);
}

off_t Decoder::seekBuffered(void* handle, off_t offset, int whence) {
    auto* file = static_cast<BufferedFile*>(handle);
    const off_t current = file->bufferStart + static_cast<off_t>(file->used);
    if (whence == SEEK_CUR) {
        offset += current;
        whence = SEEK_SET;
    }
    if (whence == SEEK_SET && offset >= file->bufferStart &&
        offset <= file->bufferStart + static_cast<off_t>(file->filled)) {
        file->used = static_cast<std::size_t>(offset - file->bufferStart);
        return offset;
    }
    const off_t position = ::lseek(file->fd, offset, whence);
    if (position >= 0) {
        file->bufferStart = position;
        file->used = 0;
        file->filled = 0;
    }
    return position;
}

bool Decoder::seek(long long frame) {
    return handle_ != nullptr && mpg123_seek(handle_, static_cast<off_t>(frame), SEEK_SET) >= 0;
}

Decoder::Status Decoder::read(float* out, std::size_t maxFrames, std::size_t* count) {
    *count = 0;
    if (handle_ == nullptr) {
        return Status::kEnd;
    }
    const std::size_t frameBytes = sizeof(float) * static_cast<std::size_t>(channels_);
    std::size_t bytes = 0;
    int result = mpg123_read(handle_, out, maxFrames * frameBytes, &bytes);
    if (result == MPG123_NEW_FORMAT && bytes == 0 && formatUnchanged()) {
        result = mpg123_read(handle_, out, maxFrames * frameBytes, &bytes);
    }
    *count = bytes / frameBytes;
    if (result == MPG123_OK) {
        return Status::kData;
    }
    // End of stream, a stream error or a frame of another format: what was
    // decoded is kept and the track ends.
    return *count > 0 ? Status::kData : Status::kEnd;
}

bool Decoder::formatUnchanged() const {
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    return mpg123_getformat(handle_, &rate, &channels, &encoding) == MPG123_OK && rate == rate_ &&
           channels == channels_ && encoding == MPG123_ENC_FLOAT_32;
}

}  // namespace mci
