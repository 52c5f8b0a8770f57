// The way from the audio thread to the disk: the hand-over queue, the writer thread and the
// spool file, which must be a complete WAV whenever it has been flushed (crash recovery).
#include "platform/recorder/ring_buffer.h"
#include "platform/recorder/spool.h"
#include "platform/recorder/spool_writer.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_file.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
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
    ASSERT_TRUE(spool.flush());

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
    ASSERT_TRUE(spool.flush());
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
    EXPECT_EQ(test::readTextFile(dir.file("plain")), "not a directory");
}

TEST(SpoolWriter, FinishLeavesEverythingPushedBeforeItInTheSpool) {
    test::TempDir dir;
    Spool spool;
    ASSERT_TRUE(spool.create(dir.file("take.wav.part"), AudioFormat{1, 8000, 8}));
    const auto sent = counting(3 * 1024 * 1024);
    SpoolWriter writer(spool, sent.size()); // room for all of it: nothing may be dropped
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

TEST(SpoolWriter, CountsWhatTheQueueCannotHold) {
    test::TempDir dir;
    Spool spool;
    ASSERT_TRUE(spool.create(dir.file("take.wav.part"), AudioFormat{1, 8000, 8}));
    SpoolWriter writer(spool, 1024);
    const auto block = counting(4096);
    writer.push(block.data(), block.size()); // larger than the whole queue
    writer.finish();
    EXPECT_EQ(writer.droppedBytes(), block.size());
    EXPECT_EQ(spool.dataSize(), 0u);
}

} // namespace
} // namespace dd
