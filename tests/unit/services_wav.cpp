#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/services/bytes.h"
#include "platform/services/wav_reader.h"

namespace dd {
namespace {

// Small builders for fixture images, so each case shows the one thing that is wrong with it.
void put32(Bytes& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

void put16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void putId(Bytes& out, std::string_view id) {
    out.insert(out.end(), id.begin(), id.end());
}

// A chunk whose size field says declared (its real length unless given) and, for an odd
// length, the pad byte that follows.
Bytes chunk(std::string_view id, const Bytes& body, std::optional<std::uint32_t> declared = {}) {
    Bytes out;
    putId(out, id);
    put32(out, declared.value_or(static_cast<std::uint32_t>(body.size())));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() % 2 == 1 && !declared) {
        out.push_back(0);
    }
    return out;
}

Bytes fmtBody(int channels, int rate, int bits, int tag = 1) {
    Bytes out;
    put16(out, static_cast<std::uint16_t>(tag));
    put16(out, static_cast<std::uint16_t>(channels));
    put32(out, static_cast<std::uint32_t>(rate));
    put32(out, static_cast<std::uint32_t>(rate * channels * bits / 8));
    put16(out, static_cast<std::uint16_t>(channels * bits / 8));
    put16(out, static_cast<std::uint16_t>(bits));
    return out;
}

Bytes pcm() {
    return chunk("fmt ", fmtBody(2, 44100, 16));
}

Bytes samples(std::size_t n) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<std::uint8_t>(i + 1);
    }
    return out;
}

Bytes riff(const std::vector<Bytes>& chunks, std::string_view form = "WAVE") {
    Bytes out;
    putId(out, "RIFF");
    std::uint32_t size = 4;
    for (const Bytes& c : chunks) {
        size += static_cast<std::uint32_t>(c.size());
    }
    put32(out, size);
    putId(out, form);
    for (const Bytes& c : chunks) {
        out.insert(out.end(), c.begin(), c.end());
    }
    return out;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Expected {
    int channels;
    int rate;
    int bits;
    std::size_t offset;
    std::size_t length;
};

struct WavCase {
    std::string name;
    Bytes image;
    std::optional<Expected> expected;
};

void PrintTo(const WavCase& c, std::ostream* out) {
    *out << c.name;
}

class ReadWav : public testing::TestWithParam<WavCase> {};

TEST_P(ReadWav, FindsTheFormatAndSamplesOrRefuses) {
    const WavCase& c = GetParam();
    const std::optional<WavSound> sound = readWav(c.image);
    if (!c.expected) {
        EXPECT_FALSE(sound.has_value());
        return;
    }
    ASSERT_TRUE(sound.has_value());
    EXPECT_EQ(sound->format.channels, c.expected->channels);
    EXPECT_EQ(sound->format.sampleRate, c.expected->rate);
    EXPECT_EQ(sound->format.bitsPerSample, c.expected->bits);
    EXPECT_EQ(sound->dataOffset, c.expected->offset);
    EXPECT_EQ(sound->dataLength, c.expected->length);
}

// The canonical header is 44 bytes: 12 of RIFF, 24 of "fmt ", 8 of the "data" header.
INSTANTIATE_TEST_SUITE_P(
    Images, ReadWav,
    testing::Values(
        WavCase{"Canonical", riff({pcm(), chunk("data", samples(8))}),
                Expected{2, 44100, 16, 44, 8}},
        WavCase{"MonoEightBit",
                riff({chunk("fmt ", fmtBody(1, 8000, 8)), chunk("data", samples(3))}),
                Expected{1, 8000, 8, 44, 3}},
        WavCase{"Empty", Bytes{}, std::nullopt}, WavCase{"OneByte", Bytes{'R'}, std::nullopt},
        WavCase{"HeaderCutShort", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V'},
                std::nullopt},
        WavCase{"NotRiff", Bytes{'R', 'I', 'F', 'X'} + Bytes(40, 0), std::nullopt},
        WavCase{"TextFile", Bytes(100, 'a'), std::nullopt},
        WavCase{"RiffWithoutWave", riff({pcm(), chunk("data", samples(8))}, "AVI "), std::nullopt},
        WavCase{"NoFmt", riff({chunk("data", samples(8))}), std::nullopt},
        WavCase{"NoData", riff({pcm()}), std::nullopt},
        WavCase{"EmptyData", riff({pcm(), chunk("data", {})}), std::nullopt},
        WavCase{"DataShorterThanAFrame", riff({pcm(), chunk("data", samples(3))}), std::nullopt},
        WavCase{"DataLengthPastTheEndIsClamped", riff({pcm(), chunk("data", samples(8), 1000)}),
                Expected{2, 44100, 16, 44, 8}},
        WavCase{"ClampedToWholeFrames", riff({pcm(), chunk("data", samples(10), 1000)}),
                Expected{2, 44100, 16, 44, 8}},
        WavCase{"HugeDataLength", riff({pcm(), chunk("data", samples(12), 0xFFFFFFFF)}),
                Expected{2, 44100, 16, 44, 12}},
        WavCase{"DataBeforeFmt", riff({chunk("data", samples(8)), pcm()}),
                Expected{2, 44100, 16, 20, 8}},
        // "LIST" of 3 bytes plus its pad byte: 12 + 8 + 4 bytes before "fmt ", 24 more
        // before the "data" header.
        WavCase{"PaddedOddChunkFirst",
                riff({chunk("LIST", samples(3)), pcm(), chunk("data", samples(4))}),
                Expected{2, 44100, 16, 56, 4}},
        WavCase{"ZeroSizedChunkFirst", riff({chunk("junk", {}), pcm(), chunk("data", samples(4))}),
                Expected{2, 44100, 16, 52, 4}},
        WavCase{"HugeChunkHidesTheRest",
                riff({chunk("junk", samples(4), 0xFFFFFFFF), pcm(), chunk("data", samples(4))}),
                std::nullopt},
        WavCase{"HugeChunkAfterBoth",
                riff({pcm(), chunk("data", samples(4)), chunk("junk", samples(4), 0xFFFFFFF0)}),
                Expected{2, 44100, 16, 44, 4}},
        WavCase{"FirstDataChunkCounts",
                riff({pcm(), chunk("data", samples(4)), chunk("data", samples(8))}),
                Expected{2, 44100, 16, 44, 4}},
        WavCase{"FmtTooSmall", riff({chunk("fmt ", Bytes(14, 1)), chunk("data", samples(4))}),
                std::nullopt},
        WavCase{"FmtBodyPastTheEnd",
                riff({chunk("data", samples(4))}) + Bytes{'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0},
                std::nullopt},
        WavCase{"FloatSamples",
                riff({chunk("fmt ", fmtBody(2, 44100, 32, 3)), chunk("data", samples(8))}),
                std::nullopt},
        WavCase{"ThreeChannels",
                riff({chunk("fmt ", fmtBody(3, 44100, 16)), chunk("data", samples(12))}),
                std::nullopt},
        WavCase{"TwentyFourBits",
                riff({chunk("fmt ", fmtBody(2, 44100, 24)), chunk("data", samples(12))}),
                std::nullopt},
        WavCase{"ZeroRate", riff({chunk("fmt ", fmtBody(2, 0, 16)), chunk("data", samples(8))}),
                std::nullopt},
        WavCase{"AbsurdRate",
                riff({chunk("fmt ", fmtBody(2, 4000000, 16)), chunk("data", samples(8))}),
                std::nullopt}),
    [](const testing::TestParamInfo<WavCase>& info) { return info.param.name; });

TEST(ReadWav, EveryTruncationIsClampedOrRefused) {
    // A file cut off anywhere, as by a save interrupted by a full disk, plays what is there in
    // whole frames, or nothing when not even one frame made it.
    const Bytes whole = riff({pcm(), chunk("data", samples(400))});
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        const std::optional<WavSound> sound = readWav(cut);
        if (n < 44 + 4) {
            EXPECT_FALSE(sound.has_value()) << n;
        } else {
            ASSERT_TRUE(sound.has_value()) << n;
            EXPECT_EQ(sound->dataOffset, 44u) << n;
            EXPECT_EQ(sound->dataLength, (n - 44) / 4 * 4) << n;
        }
    }
}

// A file is judged from its first bytes and its length: the samples may run on past the bytes
// that were read, but every chunk header up to them must lie within those bytes.
struct HeadCase {
    std::string name;
    Bytes file;
    std::size_t headBytes;  // how much of the file was read
    std::uint64_t fileSize; // the length the file reports
    std::optional<Expected> expected;
};

void PrintTo(const HeadCase& c, std::ostream* out) {
    *out << c.name;
}

class ReadWavHeader : public testing::TestWithParam<HeadCase> {};

TEST_P(ReadWavHeader, JudgesAFileByItsFirstBytesAndLength) {
    const HeadCase& c = GetParam();
    const std::span<const std::uint8_t> head(c.file.data(), std::min(c.headBytes, c.file.size()));
    const std::optional<WavSound> sound = readWavHeader(head, c.fileSize);
    if (!c.expected) {
        EXPECT_FALSE(sound.has_value());
        return;
    }
    ASSERT_TRUE(sound.has_value());
    EXPECT_EQ(sound->format.channels, c.expected->channels);
    EXPECT_EQ(sound->dataOffset, c.expected->offset);
    EXPECT_EQ(sound->dataLength, c.expected->length);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadWavHeader,
    testing::Values(HeadCase{"WholeFileRead", riff({pcm(), chunk("data", samples(8))}), 1000, 52,
                             Expected{2, 44100, 16, 44, 8}},
                    HeadCase{"SamplesPastTheHead", riff({pcm(), chunk("data", samples(8))}), 44, 52,
                             Expected{2, 44100, 16, 44, 8}},
                    // An hour of 44100 Hz stereo: far more than was read, all of it described.
                    HeadCase{"AnHourLong", riff({pcm(), chunk("data", samples(4), 635040000)}), 48,
                             44 + 635040000ull, Expected{2, 44100, 16, 44, 635040000}},
                    HeadCase{"DataLengthPastTheFileIsClamped",
                             riff({pcm(), chunk("data", samples(4), 0xFFFFFFFF)}), 48, 44 + 1001,
                             Expected{2, 44100, 16, 44, 1000}},
                    HeadCase{"DataHeaderNotRead", riff({pcm(), chunk("data", samples(8))}), 40, 52,
                             std::nullopt},
                    HeadCase{"FmtNotRead", riff({pcm(), chunk("data", samples(8))}), 30, 52,
                             std::nullopt},
                    // A file that reports less than was read: only what it reports counts.
                    HeadCase{"FileShorterThanTheHead", riff({pcm(), chunk("data", samples(8))}), 52,
                             46, std::nullopt},
                    HeadCase{"HeaderOnly", riff({pcm(), chunk("data", {})}), 44, 44, std::nullopt}),
    [](const testing::TestParamInfo<HeadCase>& info) { return info.param.name; });

} // namespace
} // namespace dd
