#include "platform/songtags.h"

#include <mpg123.h>

#include <cstring>
#include <mutex>

namespace {

// The reader's own handle, made at its first use and kept for the run: a
// handle costs a few kilobytes of tables that are worth making once.
class TagReader {
  public:
    TagReader() {
        static std::once_flag once;
        std::call_once(once, [] { mpg123_init(); });
        int error = MPG123_OK;
        handle_ = mpg123_new(nullptr, &error);
        if (handle_ != nullptr) {
            mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
        }
    }
    ~TagReader() { mpg123_delete(handle_); }
    TagReader(const TagReader&) = delete;
    TagReader& operator=(const TagReader&) = delete;

    mpg123_handle* handle() { return handle_; }

  private:
    mpg123_handle* handle_ = nullptr;
};

// Copies bytes into a field, cut at the end of a whole UTF-8 character.
void store(char (&field)[kTagTextSize], const char* bytes, std::size_t size) {
    std::size_t n = size < kTagTextSize ? size : kTagTextSize - 1;
    while (n > 0 && n < size && (static_cast<unsigned char>(bytes[n]) & 0xC0) == 0x80) {
        --n;  // bytes[n] continues the character that the cut would split
    }
    std::memcpy(field, bytes, n);
    field[n] = 0;
}

// An ID3v2 text as the library hands it: UTF-8, perhaps several values
// separated by zero bytes (ID3v2.4), which are joined by ", ".
void storeV2(char (&field)[kTagTextSize], const mpg123_string* text) {
    if (text == nullptr || text->p == nullptr || text->fill == 0) {
        return;
    }
    char joined[kTagTextSize * 2];
    std::size_t length = 0;
    for (std::size_t k = 0; k + 1 < text->fill && length + 2 < sizeof joined; ++k) {
        if (text->p[k] != 0) {
            joined[length++] = text->p[k];
        } else if (length > 0 && text->p[k + 1] != 0) {
            joined[length++] = ',';
            joined[length++] = ' ';
        }
    }
    store(field, joined, length);
}

// An ID3v1 field: up to 30 bytes, ended by a zero or padded with blanks.
void storeV1(char (&field)[kTagTextSize], const char* bytes, std::size_t size) {
    unsigned char text[32] = {};
    std::size_t length = strnlen(bytes, size < sizeof text ? size : sizeof text - 1);
    while (length > 0 && bytes[length - 1] == ' ') {
        --length;
    }
    if (length == 0) {
        return;
    }
    std::memcpy(text, bytes, length);
    // The conversion takes the text with its ending zero.
    mpg123_string utf8;
    mpg123_init_string(&utf8);
    if (mpg123_store_utf8(&utf8, mpg123_text_icy, text, length + 1) != 0 && utf8.fill > 0) {
        store(field, utf8.p, strnlen(utf8.p, utf8.fill));
    }
    mpg123_free_string(&utf8);
}

void fillFromV1(SongTags* tags, const mpg123_id3v1* v1) {
    if (v1 == nullptr) {
        return;
    }
    if (tags->title[0] == 0) {
        storeV1(tags->title, v1->title, sizeof v1->title);
    }
    if (tags->artist[0] == 0) {
        storeV1(tags->artist, v1->artist, sizeof v1->artist);
    }
    if (tags->album[0] == 0) {
        storeV1(tags->album, v1->album, sizeof v1->album);
    }
}

}  // namespace

void readSongTags(const char* path, SongTags* tags) {
    std::memset(tags, 0, sizeof *tags);
    static TagReader reader;
    mpg123_handle* handle = reader.handle();
    if (handle == nullptr || mpg123_open(handle, path) != MPG123_OK) {
        return;
    }
    // The ID3v1 tag is read at the open, from the end of the file; the ID3v2
    // tag before the first frame, which finding the format reads.
    // FIXME: a tag is read whole, pictures too: about 7 ms for 8 MB of cover.
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    mpg123_getformat(handle, &rate, &channels, &encoding);
    mpg123_id3v1* v1 = nullptr;
    mpg123_id3v2* v2 = nullptr;
    if ((mpg123_meta_check(handle) & MPG123_ID3) != 0 &&
        mpg123_id3(handle, &v1, &v2) == MPG123_OK) {
        if (v2 != nullptr) {
            storeV2(tags->title, v2->title);
            storeV2(tags->artist, v2->artist);
            storeV2(tags->album, v2->album);
        }
        fillFromV1(tags, v1);
    }
    mpg123_close(handle);
}
