#include "protocol/codec.h"

#include <array>
#include <charconv>
#include <cstring>

#include <libdeflate.h>

namespace parlo {

void ZlibCodec::FreeDecompressor::operator()(libdeflate_decompressor* decompressor) const {
    libdeflate_free_decompressor(decompressor);
}

ZlibCodec::ZlibCodec() : inflater_(libdeflate_alloc_decompressor()) {
    deflate_ready_ = deflateInit(&deflate_, Z_DEFAULT_COMPRESSION) == Z_OK;
}

ZlibCodec::~ZlibCodec() {
    if (deflate_ready_) {
        deflateEnd(&deflate_);
    }
}

int ZlibCodec::Compress(std::span<const char> input, std::span<char> output) {
    if (!deflate_ready_ || deflateReset(&deflate_) != Z_OK) {
        return -1;
    }
    deflate_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    deflate_.avail_in = static_cast<uInt>(input.size());
    deflate_.next_out = reinterpret_cast<Bytef*>(output.data());
    deflate_.avail_out = static_cast<uInt>(output.size());
    if (deflate(&deflate_, Z_FINISH) != Z_STREAM_END) {
        return -1;
    }
    return static_cast<int>(deflate_.total_out);
}

int ZlibCodec::Uncompress(std::span<const char> input, std::span<char> output) {
    // Like zlib's inflate, decoding stops at the end of the stream (bytes
    // after it are ignored) and checks the header and the Adler-32 trailer.
    size_t written = 0;
    if (!inflater_ ||
        libdeflate_zlib_decompress(inflater_.get(), input.data(), input.size(), output.data(),
                                   output.size(), &written) != LIBDEFLATE_SUCCESS) {
        return -1;
    }
    return static_cast<int>(written);
}

ZlibCodec& SharedCodec() {
    static ZlibCodec codec;
    return codec;
}

namespace {

using Scratch = std::array<char, kMaxFrameBytes>;

int TransformInPlace(std::span<char> buffer, int length, bool compress) {
    if (length < 0 || static_cast<size_t>(length) > buffer.size()) {
        return -1;
    }
    Scratch scratch;
    const std::span<const char> input(buffer.data(), static_cast<size_t>(length));
    const int result = compress ? SharedCodec().Compress(input, scratch)
                                : SharedCodec().Uncompress(input, scratch);
    if (result < 0 || static_cast<size_t>(result) + 1 > buffer.size()) {
        return -1;
    }
    std::memcpy(buffer.data(), scratch.data(), static_cast<size_t>(result));
    buffer[static_cast<size_t>(result)] = '\0';
    return result;
}

bool Transform(std::string_view in, std::string& out, bool compress) {
    Scratch scratch;
    const int result =
        compress ? SharedCodec().Compress(in, scratch) : SharedCodec().Uncompress(in, scratch);
    if (result < 0) {
        return false;
    }
    out.assign(scratch.data(), static_cast<size_t>(result));
    return true;
}

}  // namespace

int CompressInPlace(std::span<char> buffer, int length) {
    return TransformInPlace(buffer, length, true);
}

int UncompressInPlace(std::span<char> buffer, int length) {
    return TransformInPlace(buffer, length, false);
}

bool Compress(std::string_view text, std::string& out) {
    return Transform(text, out, true);
}

bool Uncompress(std::string_view payload, std::string& out) {
    return Transform(payload, out, false);
}

void AppendFrame(std::string& out, std::string_view payload) {
    char digits[16];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, payload.size());
    out.append(digits, end);
    out.push_back(':');
    out.append(payload);
}

bool AppendCommandFrame(std::string& out, std::string_view command) {
    if (command.empty() || command.size() > static_cast<size_t>(kMaxFrameBytes)) {
        return false;
    }
    Scratch scratch;
    const int length = SharedCodec().Compress(command, scratch);
    if (length < 0) {
        return false;
    }
    AppendFrame(out, std::string_view(scratch.data(), static_cast<size_t>(length)));
    return true;
}

void FrameReader::Feed(std::string_view bytes) {
    if (failed_) {
        return;
    }
    // Drop consumed bytes before growing, so the buffer holds at most one
    // partial frame plus what just arrived.
    if (start_ > 0 && (start_ == buffer_.size() || start_ >= buffer_.size() / 2)) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    buffer_.append(bytes);
}

void FrameReader::Compact() {
    if (start_ > 0) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    if (buffer_.capacity() > kKeptCapacity && buffer_.size() <= kKeptCapacity / 2) {
        std::string(buffer_).swap(buffer_);  // a copy holds only what is left
    }
}

FrameReader::Status FrameReader::Fail(std::string message) {
    failed_ = true;
    error_ = std::move(message);
    buffer_.clear();
    start_ = 0;
    return Status::kError;
}

FrameReader::Status FrameReader::Next(std::string_view& payload) {
    if (failed_) {
        return Status::kError;
    }
    const std::string_view pending(buffer_.data() + start_, buffer_.size() - start_);
    size_t digits = 0;
    size_t length = 0;
    while (digits < pending.size() && pending[digits] != ':') {
        const char c = pending[digits];
        if (c < '0' || c > '9') {
            return Fail("non-digit in frame length");
        }
        length = length * 10 + static_cast<size_t>(c - '0');
        if (length > static_cast<size_t>(kMaxFrameBytes)) {
            return Fail("frame length above 8192");
        }
        if (++digits > kMaxDigits) {
            return Fail("frame length without colon");
        }
    }
    if (digits == pending.size()) {
        Compact();  // no payload view is handed out with kNeedMore
        return Status::kNeedMore;
    }
    if (digits == 0) {
        return Fail("frame without length digits");
    }
    if (pending.size() - digits - 1 < length) {
        Compact();
        return Status::kNeedMore;
    }
    payload = pending.substr(digits + 1, length);
    start_ += digits + 1 + length;  // consumed bytes are dropped by the next Feed
    return Status::kFrame;
}

}  // namespace parlo
