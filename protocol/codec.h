// Frame codec: zlib compression with the protocol's 8192-byte limits, the
// frame encoder ("%d:" + payload) and an incremental frame reader.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include <zlib.h>

struct libdeflate_decompressor;

namespace parlo {

// Largest compressed payload and largest command text.
inline constexpr int kMaxFrameBytes = 8192;

// Keeps one deflate stream alive and resets it between calls: the same bytes
// as zlib's one-shot compress() at the default level, without its per-call
// set-up cost. Uncompression decodes the same zlib streams with libdeflate,
// which takes a whole buffer at once (every payload is one) at about half
// zlib's cost per byte: it is the largest share of relaying a message.
class ZlibCodec {
  public:
    ZlibCodec();
    ~ZlibCodec();
    ZlibCodec(const ZlibCodec&) = delete;
    ZlibCodec& operator=(const ZlibCodec&) = delete;

    // Compresses `input` into `output`; returns the compressed length, or -1
    // when zlib fails or the result does not fit.
    int Compress(std::span<const char> input, std::span<char> output);
    // Uncompresses one zlib stream; -1 on a damaged or truncated stream or a
    // result that does not fit.
    int Uncompress(std::span<const char> input, std::span<char> output);

  private:
    struct FreeDecompressor {
        void operator()(libdeflate_decompressor* decompressor) const;
    };

    z_stream deflate_{};
    bool deflate_ready_ = false;
    std::unique_ptr<libdeflate_decompressor, FreeDecompressor> inflater_;
};

// The program's one codec (each program runs on a single thread).
ZlibCodec& SharedCodec();

// Compresses the first `length` bytes of `buffer` over its own start through
// an 8192-byte scratch, writes a NUL after the result and returns its length.
// Returns -1 and leaves the buffer untouched when zlib fails, the result
// exceeds 8192 bytes, or it (plus the NUL) does not fit in `buffer`.
int CompressInPlace(std::span<char> buffer, int length);
// The same with uncompression: the text (at most 8192 bytes) is written
// NUL-terminated over the start of `buffer`.
int UncompressInPlace(std::span<char> buffer, int length);

// Convenience forms returning a new string; false on failure.
bool Compress(std::string_view text, std::string& out);
bool Uncompress(std::string_view payload, std::string& out);

// Appends "N:" + payload to `out`.
void AppendFrame(std::string& out, std::string_view payload);
// Compresses `command` and appends it as one frame; false (nothing appended)
// when the command is empty, longer than 8192 bytes (no receiver could
// uncompress it) or its compressed form exceeds 8192 bytes.
bool AppendCommandFrame(std::string& out, std::string_view command);

// Takes bytes as they arrive and yields each complete frame's payload,
// keeping a partial frame for the next read.
class FrameReader {
  public:
    enum class Status { kFrame, kNeedMore, kError };

    // Longest run of length digits accepted before the colon.
    static constexpr size_t kMaxDigits = 32;
    // Buffer capacity kept once a read has been cut into frames: a burst of
    // large frames must not leave its memory with an idle connection.
    static constexpr size_t kKeptCapacity = 16 * 1024;

    void Feed(std::string_view bytes);

    // kFrame: `payload` views the next frame's payload, valid until the next
    // call to Feed or Next. kError: the stream cannot be frames (the caller
    // drops the connection); the reader stays in error.
    Status Next(std::string_view& payload);

    size_t Buffered() const { return buffer_.size() - start_; }
    size_t Capacity() const { return buffer_.capacity(); }
    bool Failed() const { return failed_; }
    const std::string& Error() const { return error_; }

  private:
    Status Fail(std::string message);
    // Drops consumed bytes; gives back a large buffer when little is left.
    void Compact();

    std::string buffer_;
    size_t start_ = 0;
    bool failed_ = false;
    std::string error_;
};

}  // namespace parlo
