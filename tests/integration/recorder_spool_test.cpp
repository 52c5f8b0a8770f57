// The way from the audio thread to the disk: the hand-over queue, the writer thread and the
// spool file, which must be a complete WAV whenever it has been flushed; and the start-up
// recovery of spools whose recorder is gone.
#include "platform/recorder/recording_status.h"
#include "platform/recorder/ring_buffer.h"
#include "platform/recorder/spool.h"
#include "platform/recorder/spool_recovery.h"
#include "platform/recorder/spool_writer.h"
#include "platform/recorder/wav_header.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <thread>
#include <vector>

namespace dd {
namespace {

std::vector<std::uint8_t> counting(std::size_t size, std::size_t from = 0) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((from + i) * 7 + (from + i) / 251);
    }
    return bytes;
}

std::vector<std::uint8_t> takeAll(RingBuffer& ring) {
    std::vector<std::uint8_t> out;
    for (auto block = ring.peek(); !block.empty(); block = ring.peek()) {
        out.insert(out.end(), block.begin(), block.end());
        ring.consume(block.size());
    }
    return out;
}

TEST(RingBuffer, KeepsOrderAcrossTheWrapAndRefusesWhatDoesNotFit) {
    RingBuffer ring(16);
    ASSERT_EQ(ring.capacity(), 16u);
    const auto first = counting(12);
    ASSERT_TRUE(ring.push(first.data(), first.size()));
    EXPECT_EQ(takeAll(ring), first);

    // Positions are now at 12: this block wraps.
    const auto wrapping = counting(10, 100);
    ASSERT_TRUE(ring.push(wrapping.data(), wrapping.size()));
    const auto tooBig = counting(7, 200);
    EXPECT_FALSE(ring.push(tooBig.data(), tooBig.size())) << "6 bytes free, 7 pushed";
    const auto fits = counting(6, 300);
    EXPECT_TRUE(ring.push(fits.data(), fits.size()));

    std::vector<std::uint8_t> expected(wrapping);
    expected.insert(expected.end(), fits.begin(), fits.end());
    EXPECT_EQ(takeAll(ring), expected) << "the refused block must leave no trace";
}

TEST(RingBuffer, HandsBytesBetweenTwoThreadsUnchanged) {
    RingBuffer ring(4096);
    const auto sent = counting(8 * 1024 * 1024);
    std::thread producer([&] {
        for (std::size_t at = 0; at < sent.size();) {
            const std::size_t size = std::min<std::size_t>(1000, sent.size() - at);
            if (ring.push(sent.data() + at, size)) {
                at += size;
            } else {
                std::this_thread::yield();
            }
        }
    });
    std::vector<std::uint8_t> received;
    received.reserve(sent.size());
    while (received.size() < sent.size()) {
        const auto block = ring.peek();
        received.insert(received.end(), block.begin(), block.end());
        ring.consume(block.size());
    }
    producer.join();
    EXPECT_TRUE(received == sent);
}

TEST(Spool, IsACompleteWavOnDiskAfterEachFlushAndCopiesByteForByte) {
    test::TempDir dir;
    Spool spool;
    ASSERT_TRUE(spool.create(dir.file("take.wav.part"), AudioFormat{2, 44100, 16}));
    const std::array<std::uint8_t, 8> samples{1, 2, 3, 4, 0xfd, 0xfe, 0xff, 0x80};
    ASSERT_TRUE(spool.append(samples.data(), samples.size()));
    ASSERT_TRUE(spool.flush(false));

    // Written out by hand: 2 channels, 44100 Hz, 16 bits, 8 bytes of samples.
    const std::vector<std::uint8_t> expected{
        'R', 'I', 'F', 'F', 44, 0, 0,    0,    'W', 'A', 'V',  'E',  'f',  'm',  't',  ' ', 16, 0,
        0,   0,   1,   0,   2,  0, 0x44, 0xac, 0,   0,   0x10, 0xb1, 0x02, 0,    4,    0,   16, 0,
        'd', 'a', 't', 'a', 8,  0, 0,    0,    1,   2,   3,    4,    0xfd, 0xfe, 0xff, 0x80};
    EXPECT_EQ(test::readFileBytes(dir.file("take.wav.part")), expected);

    ASSERT_TRUE(spool.copyTo(dir.file("copy.wav")));
    EXPECT_EQ(test::readFileBytes(dir.file("copy.wav")), expected);

    // More audio after a flush: the header follows.
    ASSERT_TRUE(spool.append(samples.data(), 4));
    ASSERT_TRUE(spool.flush(true));
    const auto reread = test::readWav(dir.file("take.wav.part"));
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->riffSize, 12u + 36u);
    EXPECT_EQ(reread->dataSize, 12u);
    EXPECT_EQ(reread->samples.size(), 12u);

    spool.discard();
    EXPECT_FALSE(std::filesystem::exists(dir.file("take.wav.part")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("copy.wav"))) << "a saved copy is not the spool";
}

TEST(Spool, CannotBeCreatedUnderARegularFile) {
    test::TempDir dir;
    ASSERT_TRUE(test::writeTextFile(dir.file("plain"), "not a directory"));
    Spool spool;
    EXPECT_FALSE(spool.create(dir.file("plain/take.wav.part"), AudioFormat{}));
    EXPECT_FALSE(spool.isOpen());
    EXPECT_EQ(spool.error(), std::error_code(ENOTDIR, std::generic_category()).message());
    EXPECT_EQ(test::readTextFile(dir.file("plain")), "not a directory");
}

TEST(SpoolWriter, FinishLeavesEverythingPushedBeforeItInTheSpool) {
    test::TempDir dir;
    Spool spool;
    ASSERT_TRUE(spool.create(dir.file("take.wav.part"), AudioFormat{1, 8000, 8}));
    const auto sent = counting(3 * 1024 * 1024);
    RecordingStatus status;
    // Room for all of it in the queue: nothing may be dropped.
    SpoolWriter writer(spool, status, sent.size(), 0);
    std::thread audio([&] {
        for (std::size_t at = 0; at < sent.size(); at += 800) {
            writer.push(sent.data() + at, std::min<std::size_t>(800, sent.size() - at));
        }
    });
    audio.join();
    writer.finish();

    EXPECT_EQ(writer.droppedBytes(), 0u);
    const auto wav = test::readWav(dir.file("take.wav.part"));
    ASSERT_TRUE(wav);
    EXPECT_EQ(wav->dataSize, sent.size());
    EXPECT_TRUE(wav->samples == sent);
}

TEST(SpoolWriter, KeepsUpWithAudioArrivingFasterThanItFlushes) {
    // A second's worth of flush interval would see this queue overflow four times over: the
    // writer must not wait for its flush while the queue fills. The pace leaves it more than a
    // tenth of a second from half full to full to wake and write.
    test::TempDir dir;
    Spool spool;
    ASSERT_TRUE(spool.create(dir.file("take.wav.part"), AudioFormat{1, 8000, 8}));
    const auto sent = counting(4 * 1024 * 1024);
    RecordingStatus status;
    SpoolWriter writer(spool, status, 1024 * 1024, 0);
    std::thread audio([&] {
        for (std::size_t at = 0; at < sent.size(); at += 4096) {
            writer.push(sent.data() + at, std::min<std::size_t>(4096, sent.size() - at));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    audio.join();
    writer.finish();

    EXPECT_EQ(writer.droppedBytes(), 0u);
    const auto wav = test::readWav(dir.file("take.wav.part"));
    ASSERT_TRUE(wav);
    EXPECT_TRUE(wav->samples == sent);
}

TEST(SpoolWriter, CountsWhatTheQueueCannotHold) {
    test::TempDir dir;
    Spool spool;
    ASSERT_TRUE(spool.create(dir.file("take.wav.part"), AudioFormat{1, 8000, 8}));
    RecordingStatus status;
    SpoolWriter writer(spool, status, 1024, 0);
    const auto block = counting(4096);
    writer.push(block.data(), block.size()); // larger than the whole queue
    writer.finish();
    EXPECT_EQ(writer.droppedBytes(), block.size());
    EXPECT_EQ(spool.dataSize(), 0u);
}

struct PartLimitCase {
    AudioFormat format;
    std::uint32_t asked;
    std::uint32_t room; // what a new spool can take
};

// The header's 32-bit RIFF size is data size + 36: the default limit is the most whole frames
// that keeps it within 32 bits, and a chosen limit is cut to whole frames.
TEST(Spool, TakesWholeFramesUpToItsPartLimit) {
    const PartLimitCase cases[] = {
        {{2, 44100, 16}, 0, 0xFFFFFFFFu - 36 - (0xFFFFFFFFu - 36) % 4}, // 4294967256
        {{1, 8000, 8}, 0, 0xFFFFFFFFu - 36},
        {{2, 22050, 8}, 0, 0xFFFFFFFFu - 37},
        {{2, 44100, 16}, 1001, 1000},
        {{1, 8000, 16}, 7, 6},
    };
    test::TempDir dir;
    for (const PartLimitCase& c : cases) {
        Spool spool;
        ASSERT_TRUE(spool.create(dir.file("take.wav.part"), c.format, c.asked));
        EXPECT_EQ(spool.room(), c.room)
            << c.format.channels << " ch " << c.format.bitsPerSample << " bits, asked " << c.asked;
        if (c.asked != 0) {
            const auto full = counting(c.room);
            ASSERT_TRUE(spool.append(full.data(), full.size()));
            EXPECT_EQ(spool.room(), 0u);
            const std::uint8_t more[4] = {};
            EXPECT_FALSE(spool.append(more, c.format.bytesPerFrame())) << "past the limit";
        }
    }
}

// Files as a recorder that died would leave them, made by hand.
struct LeftFile {
    std::string name;
    std::vector<std::uint8_t> bytes;
    std::time_t modified;
};

struct Recovered {
    std::string name;
    std::size_t from;        // index of the left file whose samples it holds
    std::uint32_t dataBytes; // whole frames kept
};

struct RecoveryCase {
    const char* name;
    std::vector<LeftFile> left;
    std::vector<Recovered> recovered; // oldest first
    std::vector<std::string> untouched;
    std::vector<std::string> deleted;
    bool reportsError;
};

constexpr const char* kSpool = "录音.wav.part";

std::vector<std::uint8_t> leftSpool(const AudioFormat& format, std::uint32_t headerSays,
                                    std::size_t sampleBytes, std::size_t seed) {
    const auto header = makeWavHeader(format, headerSays);
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    const auto samples = counting(sampleBytes, seed);
    bytes.insert(bytes.end(), samples.begin(), samples.end());
    return bytes;
}

void PrintTo(const RecoveryCase& c, std::ostream* out) {
    *out << c.name;
}

class SpoolRecoveryCases : public ::testing::TestWithParam<RecoveryCase> {};

TEST_P(SpoolRecoveryCases, FinishesWhatADeadRecorderLeftAndNothingElse) {
    const RecoveryCase& c = GetParam();
    test::TempDir dir;
    for (const LeftFile& file : c.left) {
        {
            std::ofstream out(dir.file(file.name), std::ios::binary);
            out.write(reinterpret_cast<const char*>(file.bytes.data()),
                      static_cast<std::streamsize>(file.bytes.size()));
        }
        const timespec times[2] = {{file.modified, 0}, {file.modified, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, dir.file(file.name).c_str(), times, 0), 0);
    }

    const SpoolRecovery recovery = recoverAbandonedSpools(dir.file(kSpool));

    ASSERT_EQ(recovery.recordings.size(), c.recovered.size());
    for (std::size_t i = 0; i < c.recovered.size(); ++i) {
        const Recovered& expected = c.recovered[i];
        const LeftFile& source = c.left[expected.from];
        const RecordingFile& got = recovery.recordings[i];
        EXPECT_EQ(got.path, dir.file(expected.name));
        EXPECT_EQ(got.lastWritten, source.modified);
        const auto wav = test::readWav(got.path);
        ASSERT_TRUE(wav) << got.path;
        EXPECT_EQ(wav->dataSize, expected.dataBytes);
        EXPECT_EQ(wav->riffSize, expected.dataBytes + 36);
        EXPECT_EQ(wav->fileSize, expected.dataBytes + 44u) << "a cut frame must go";
        const auto bytes = test::readFileBytes(got.path);
        ASSERT_TRUE(bytes);
        EXPECT_TRUE(
            std::equal(source.bytes.begin() + 8, source.bytes.begin() + 40, bytes->begin() + 8))
            << "the format stays";
        EXPECT_TRUE(
            std::equal(wav->samples.begin(), wav->samples.end(), source.bytes.begin() + 44));
        struct stat status {};
        ASSERT_EQ(stat(got.path.c_str(), &status), 0);
        EXPECT_EQ(status.st_mtime, source.modified) << "its time names it: it must stay";
    }
    for (const std::string& name : c.untouched) {
        const auto it = std::find_if(c.left.begin(), c.left.end(),
                                     [&](const LeftFile& f) { return f.name == name; });
        ASSERT_NE(it, c.left.end());
        EXPECT_EQ(test::readFileBytes(dir.file(name)), it->bytes) << name;
    }
    for (const std::string& name : c.deleted) {
        EXPECT_FALSE(std::filesystem::exists(dir.file(name))) << name;
    }
    EXPECT_EQ(!recovery.errors.empty(), c.reportsError);
}

const AudioFormat kStereo16{2, 44100, 16};
const AudioFormat kStereo8{2, 22050, 8};
const std::string kPart1 = std::string(kSpool) + ".1.wav";
const std::string kPart2 = std::string(kSpool) + ".2.wav";

INSTANTIATE_TEST_SUITE_P(
    Recovery, SpoolRecoveryCases,
    ::testing::Values(
        RecoveryCase{"CutMidFrameHeaderNeverUpdated",
                     {{kSpool, leftSpool(kStereo16, 0, 40 + 3, 1), 1600000000}},
                     {{kPart1, 0, 40}},
                     {},
                     {kSpool},
                     false},
        RecoveryCase{"HeaderClaimsMoreThanThereIs",
                     {{kSpool, leftSpool(kStereo8, 1000000, 10, 2), 1600000000}},
                     {{kPart1, 0, 10}},
                     {},
                     {kSpool},
                     false},
        RecoveryCase{"NoAudioIsDeleted",
                     {{kSpool, leftSpool(kStereo16, 0, 0, 0), 1600000000}},
                     {},
                     {},
                     {kSpool},
                     false},
        RecoveryCase{"DiedBeforeItsHeader",
                     {{kSpool, std::vector<std::uint8_t>(20, 0), 1600000000}},
                     {},
                     {},
                     {kSpool},
                     false},
        RecoveryCase{"SomeoneElsesFileIsLeftAlone",
                     {{kSpool, std::vector<std::uint8_t>(100, 'x'), 1600000000}},
                     {},
                     {kSpool},
                     {},
                     true},
        RecoveryCase{"PartsLeftOverAndTheSpoolOldestFirst",
                     {{kSpool, leftSpool(kStereo16, 400, 400, 3), 1600000200},
                      {kPart1, leftSpool(kStereo16, 800, 800, 4), 1600000100}},
                     {{kPart1, 1, 800}, {kPart2, 0, 400}},
                     {},
                     {kSpool},
                     false},
        RecoveryCase{"NamesThatOnlyLookLikePartsAreLeftAlone",
                     {{std::string(kSpool) + ".x.wav", leftSpool(kStereo16, 0, 8, 5), 1600000000},
                      {kPart1 + ".tmp", leftSpool(kStereo16, 0, 8, 6), 1600000000},
                      {"other.wav.part", leftSpool(kStereo16, 0, 8, 7), 1600000000}},
                     {},
                     {std::string(kSpool) + ".x.wav", kPart1 + ".tmp", "other.wav.part"},
                     {},
                     false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace dd
