#include "protocol/codec.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

namespace parlo {
namespace {

std::string OneShotCompress(const std::string& text) {
    uLongf size = compressBound(text.size());
    std::string out(size, '\0');
    EXPECT_EQ(compress(reinterpret_cast<Bytef*>(out.data()), &size,
                       reinterpret_cast<const Bytef*>(text.data()), text.size()),
              Z_OK);
    out.resize(size);
    return out;
}

std::string RandomText(std::mt19937& rng, size_t size) {
    std::string text(size, '\0');
    for (char& c : text) {
        c = static_cast<char>(rng() & 0xFF);
    }
    return text;
}

TEST(Compression, MatchesOneShotZlibByteForByte) {
    std::mt19937 rng(7);
    std::vector<std::string> texts = {"a", "Message:5:bob:2:bob:ann:hello", std::string(8192, 'x'),
                                      RandomText(rng, 100), RandomText(rng, 4000)};
    for (const std::string& text : texts) {
        std::string ours;
        ASSERT_TRUE(Compress(text, ours));
        EXPECT_EQ(ours, OneShotCompress(text)) << "length " << text.size();
        // The same codec reused many times keeps producing identical output.
        std::string again;
        ASSERT_TRUE(Compress(text, again));
        EXPECT_EQ(again, ours);
    }
}

TEST(Compression, InPlaceRoundTripWritesTerminator) {
    std::vector<char> buffer(8193, '\0');
    const std::string text = "AddressBook";
    std::copy(text.begin(), text.end(), buffer.begin());
    const int compressed = CompressInPlace(buffer, static_cast<int>(text.size()));
    ASSERT_GT(compressed, 0);
    EXPECT_EQ(buffer[static_cast<size_t>(compressed)], '\0');
    const int plain = UncompressInPlace(buffer, compressed);
    ASSERT_EQ(plain, static_cast<int>(text.size()));
    EXPECT_EQ(std::string(buffer.data()), text);
}

TEST(Compression, LimitsOf8192Bytes) {
    std::mt19937 rng(11);
    // A full-size text that compresses well goes through.
    std::vector<char> buffer(8193, 'z');
    EXPECT_GT(CompressInPlace(buffer, 8192), 0);
    // Random bytes do not shrink: the result exceeds 8192 and the buffer stays.
    std::string noise = RandomText(rng, 8192);
    std::vector<char> noisy(noise.begin(), noise.end());
    noisy.resize(9000);
    EXPECT_EQ(CompressInPlace(noisy, 8192), -1);
    EXPECT_EQ(std::string(noisy.data(), 8192), noise);
    // A payload that uncompresses to more than 8192 bytes is refused.
    std::string big = OneShotCompress(std::string(8193, 'a'));
    std::vector<char> big_buffer(big.begin(), big.end());
    big_buffer.resize(9000);
    EXPECT_EQ(UncompressInPlace(big_buffer, static_cast<int>(big.size())), -1);
}

TEST(Compression, RefusesDamagedStreamsAndSmallBuffers) {
    std::string payload = OneShotCompress("Login:OK");
    std::string damaged = payload;
    damaged[damaged.size() - 1] ^= 0x55;  // Adler-32 trailer
    std::string out;
    EXPECT_FALSE(Uncompress(damaged, out));
    EXPECT_FALSE(Uncompress(payload.substr(0, payload.size() - 3), out));
    EXPECT_FALSE(Uncompress("", out));
    EXPECT_TRUE(Uncompress(payload, out));
    EXPECT_EQ(out, "Login:OK");
    // The in-place form refuses a result (plus NUL) that does not fit.
    const std::string long_payload = OneShotCompress(std::string(100, 'a'));
    std::vector<char> tight(long_payload.begin(), long_payload.end());
    EXPECT_EQ(UncompressInPlace(tight, static_cast<int>(tight.size())), -1);
    EXPECT_EQ(UncompressInPlace(tight, static_cast<int>(tight.size()) + 1), -1);
    EXPECT_EQ(CompressInPlace(tight, -1), -1);
}

std::vector<std::string> ReadAll(FrameReader& reader) {
    std::vector<std::string> frames;
    std::string_view payload;
    while (reader.Next(payload) == FrameReader::Status::kFrame) {
        frames.emplace_back(payload);
    }
    return frames;
}

TEST(FrameReader, TwoFramesInOneRead) {
    std::string stream;
    ASSERT_TRUE(AppendCommandFrame(stream, "AddressBook"));
    ASSERT_TRUE(AppendCommandFrame(stream, "GetAllState"));
    FrameReader reader;
    reader.Feed(stream);
    const auto frames = ReadAll(reader);
    ASSERT_EQ(frames.size(), 2u);
    std::string text;
    ASSERT_TRUE(Uncompress(frames[0], text));
    EXPECT_EQ(text, "AddressBook");
    ASSERT_TRUE(Uncompress(frames[1], text));
    EXPECT_EQ(text, "GetAllState");
    EXPECT_EQ(reader.Buffered(), 0u);
}

TEST(FrameReader, StreamCutAtEveryByteYieldsSameFrames) {
    std::string stream;
    const std::vector<std::string> commands = {"Login:OK", "SetState!bob:0!ann:1",
                                               "Message:3:bob:2:bob:ann:a:!", "AskAddressBook"};
    for (const auto& c : commands) {
        ASSERT_TRUE(AppendCommandFrame(stream, c));
    }
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        FrameReader reader;
        std::vector<std::string> frames;
        reader.Feed(std::string_view(stream).substr(0, cut));
        for (auto& f : ReadAll(reader)) {
            frames.push_back(std::move(f));
        }
        reader.Feed(std::string_view(stream).substr(cut));
        for (auto& f : ReadAll(reader)) {
            frames.push_back(std::move(f));
        }
        ASSERT_EQ(frames.size(), commands.size()) << "cut at " << cut;
        for (size_t i = 0; i < frames.size(); ++i) {
            std::string text;
            ASSERT_TRUE(Uncompress(frames[i], text));
            EXPECT_EQ(text, commands[i]);
        }
    }
}

TEST(FrameReader, ByteByByteFeeding) {
    std::string stream;
    ASSERT_TRUE(AppendCommandFrame(stream, "Broadcast:hello"));
    FrameReader reader;
    int frames = 0;
    for (char c : stream) {
        reader.Feed(std::string_view(&c, 1));
        frames += static_cast<int>(ReadAll(reader).size());
    }
    EXPECT_EQ(frames, 1);
}

TEST(FrameReader, ReportsStreamsThatCannotBeFrames) {
    struct Case {
        std::string bytes;
        const char* why;
    };
    const std::vector<Case> cases = {
        {"8193:", "length above limit"}, {"99999999999999999999:", "huge length"},
        {"12a:", "non-digit"},           {"-5:", "sign"},
        {":abc", "no digits"},           {std::string(40, '1'), "no colon in a long run of digits"},
    };
    for (const Case& c : cases) {
        FrameReader reader;
        reader.Feed(c.bytes);
        std::string_view payload;
        EXPECT_EQ(reader.Next(payload), FrameReader::Status::kError) << c.why;
        EXPECT_TRUE(reader.Failed());
        reader.Feed("3:abc");
        EXPECT_EQ(reader.Next(payload), FrameReader::Status::kError) << "stays failed";
    }
}

TEST(FrameReader, MaximumLengthAndPartialFramesWait) {
    FrameReader reader;
    std::string_view payload;
    reader.Feed("8192:");
    EXPECT_EQ(reader.Next(payload), FrameReader::Status::kNeedMore);
    reader.Feed(std::string(8191, 'p'));
    EXPECT_EQ(reader.Next(payload), FrameReader::Status::kNeedMore);
    reader.Feed("q");
    ASSERT_EQ(reader.Next(payload), FrameReader::Status::kFrame);
    EXPECT_EQ(payload.size(), 8192u);
    EXPECT_EQ(payload.back(), 'q');
    EXPECT_EQ(reader.Next(payload), FrameReader::Status::kNeedMore);
}

TEST(FrameReader, GivesBackItsBufferAfterABurst) {
    std::string burst;
    std::string frame = "8000:" + std::string(8000, 'x');
    while (burst.size() < 64 * 1024) {
        burst += frame;
    }
    FrameReader reader;
    reader.Feed(burst + "8000:xx");  // ends inside a frame
    EXPECT_EQ(ReadAll(reader).size(), burst.size() / frame.size());
    EXPECT_LE(reader.Capacity(), FrameReader::kKeptCapacity);
    reader.Feed(std::string(7998, 'y'));
    EXPECT_EQ(ReadAll(reader).size(), 1u) << "the partial frame was kept";
    EXPECT_LE(reader.Capacity(), FrameReader::kKeptCapacity);
}

TEST(FrameEncoding, PrefixIsDecimalLengthAndColon) {
    std::string out;
    AppendFrame(out, "abc");
    EXPECT_EQ(out, "3:abc");
    EXPECT_FALSE(AppendCommandFrame(out, ""));
    std::mt19937 rng(3);
    EXPECT_FALSE(AppendCommandFrame(out, RandomText(rng, 8192)));
    EXPECT_EQ(out, "3:abc") << "a refused command appends nothing";
}

TEST(CommandFrame, RefusesTextsNoReceiverCouldUncompress) {
    std::string stream;
    // 8193 bytes compress to a few dozen, yet every receiver refuses them.
    EXPECT_FALSE(AppendCommandFrame(stream, std::string(8193, 'a')));
    EXPECT_TRUE(stream.empty());
    ASSERT_TRUE(AppendCommandFrame(stream, std::string(8192, 'a')));
    FrameReader reader;
    reader.Feed(stream);
    std::string_view payload;
    ASSERT_EQ(reader.Next(payload), FrameReader::Status::kFrame);
    std::string text;
    ASSERT_TRUE(Uncompress(payload, text));
    EXPECT_EQ(text.size(), 8192u);
}

}  // namespace
}  // namespace parlo
