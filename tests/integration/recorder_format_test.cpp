// The recording format: what setFormat accepts, what start opens the device in, and the header
// a save writes; plus starting with no sound server at all.
#include "platform/recorder/capture.h"
#include "platform/recorder/sound_recorder.h"
#include "tests/support/private_pulse.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace dd {

std::ostream& operator<<(std::ostream& out, const AudioFormat& format) {
    return out << format.channels << " ch, " << format.sampleRate << " Hz, " << format.bitsPerSample
               << " bits";
}

namespace {

// Stands in for the device: remembers the format it was opened in and lets the test deliver
// blocks as the audio thread would.
struct FakeDevice {
    std::optional<AudioFormat> openedIn;
    CaptureSink sink;
};

class FakeCapture final : public CaptureBackend {
  public:
    explicit FakeCapture(FakeDevice& device) : m_device(device) {}
    bool open(const AudioFormat& format, CaptureSink sink) override {
        m_device.openedIn = format;
        m_device.sink = std::move(sink);
        return true;
    }
    bool pause() override { return true; }
    bool resume() override { return true; }
    bool stop() override {
        close();
        return true;
    }
    void close() override { m_device.sink = nullptr; }

  private:
    FakeDevice& m_device;
};

class FormatChoice : public ::testing::Test {
  protected:
    test::TempDir m_dir;
    FakeDevice m_device;
    SoundRecorder m_recorder{m_dir.file("录音.wav.part"), std::make_unique<FakeCapture>(m_device)};
};

TEST_F(FormatChoice, EveryListedFormatIsAcceptedAndOpenedAtTheNextStart) {
    EXPECT_TRUE(m_recorder.start());
    EXPECT_EQ(m_device.openedIn, (AudioFormat{1, 8000, 16})) << "the format before any choice";

    for (int channels : {1, 2}) {
        for (int rate : {8000, 11025, 22050, 44100}) {
            for (int bits : {8, 16}) {
                const AudioFormat format{channels, rate, bits};
                EXPECT_TRUE(m_recorder.setFormat(channels, rate, bits)) << format;
                EXPECT_TRUE(m_recorder.start());
                EXPECT_EQ(m_device.openedIn, format);
            }
        }
    }
}

TEST_F(FormatChoice, AnythingElseIsRefusedAndChangesNothing) {
    ASSERT_TRUE(m_recorder.setFormat(2, 22050, 8));
    const AudioFormat refused[] = {{0, 22050, 8},  {3, 22050, 8},  {-1, 22050, 8}, {2, 48000, 8},
                                   {2, 16000, 8},  {2, 0, 8},      {2, 22050, 24}, {2, 22050, 0},
                                   {2, 22050, 32}, {1, 44100, 12}, {0, 0, 0},      {2, 44101, 16}};
    for (const AudioFormat& format : refused) {
        EXPECT_FALSE(m_recorder.setFormat(format.channels, format.sampleRate, format.bitsPerSample))
            << format;
    }
    EXPECT_TRUE(m_recorder.start());
    EXPECT_EQ(m_device.openedIn, (AudioFormat{2, 22050, 8}));
}

TEST_F(FormatChoice, TheHeaderKeepsTheFormatTheRecordingStartedIn) {
    ASSERT_TRUE(m_recorder.setFormat(2, 11025, 16));
    ASSERT_TRUE(m_recorder.start());
    ASSERT_TRUE(m_device.sink);
    const std::vector<std::uint8_t> block{1, 2, 3, 4, 5, 6, 7, 8};
    m_device.sink(block.data(), block.size());
    ASSERT_TRUE(m_recorder.setFormat(1, 8000, 8)); // for the next recording only

    ASSERT_TRUE(m_recorder.save(m_dir.file("take.wav"), true));
    const auto wav = test::readWav(m_dir.file("take.wav"));
    ASSERT_TRUE(wav);
    EXPECT_EQ(wav->channels, 2u);
    EXPECT_EQ(wav->sampleRate, 11025u);
    EXPECT_EQ(wav->bitsPerSample, 16u);
    EXPECT_EQ(wav->samples, block);
}

// Decodes the first channel of PCM samples to numbers centred on zero.
std::vector<double> firstChannel(const test::WavFile& wav) {
    std::vector<double> values;
    const std::size_t frameBytes = wav.blockAlign;
    for (std::size_t at = 0; frameBytes > 0 && at + frameBytes <= wav.samples.size();
         at += frameBytes) {
        if (wav.bitsPerSample == 8) {
            values.push_back(wav.samples[at] - 128.0); // unsigned, 128 is silence
        } else {
            values.push_back(static_cast<std::int16_t>(wav.samples[at] | wav.samples[at + 1] << 8));
        }
    }
    return values;
}

// How well the recording matches a 440 Hz sine read in the layout its header gives: the sine
// fitted by least squares, its offset from silence and what it leaves unexplained. Samples in
// another layout (rate, channels, signedness, coding) fit badly or sit off silence.
struct ToneFit {
    double offset = 0;      // mean, as a fraction of full scale; silence is 0
    double unexplained = 1; // RMS of the residual / RMS of the signal
};

ToneFit fitTone(const test::WavFile& wav) {
    const std::vector<double> values = firstChannel(wav);
    const double fullScale = wav.bitsPerSample == 8 ? 128.0 : 32768.0;
    ToneFit fit;
    if (values.size() < 100 || wav.sampleRate == 0) {
        return fit;
    }
    const double n = static_cast<double>(values.size());
    const double step = 2 * std::numbers::pi * 440.0 / wav.sampleRate;
    double mean = 0;
    for (double v : values) {
        mean += v / n;
    }
    // Over many whole periods sine, cosine and constant are orthogonal: plain projections.
    double a = 0;
    double b = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        a += 2 * (values[i] - mean) * std::sin(step * i) / n;
        b += 2 * (values[i] - mean) * std::cos(step * i) / n;
    }
    double signal = 0;
    double residual = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double centred = values[i] - mean;
        const double r = centred - a * std::sin(step * i) - b * std::cos(step * i);
        signal += centred * centred;
        residual += r * r;
    }
    fit.offset = mean / fullScale;
    fit.unexplained = signal > 0 ? std::sqrt(residual / signal) : 1;
    return fit;
}

class ToneRecording : public ::testing::TestWithParam<AudioFormat> {
  protected:
    void SetUp() override {
        m_pulse = test::PrivatePulse::start(false);
        ASSERT_TRUE(m_pulse); // its default source is the 440 Hz tone
    }
    std::unique_ptr<test::PrivatePulse> m_pulse;
};

TEST_P(ToneRecording, SavedFileHasTheCanonicalHeaderAndTheToneInThatFormat) {
    const AudioFormat format = GetParam();
    const std::string path = m_pulse->runtimeDir() + "/take.wav";
    {
        SoundRecorder recorder(m_pulse->runtimeDir() + "/录音.wav.part", makeCaptureBackend());
        ASSERT_TRUE(recorder.setFormat(format.channels, format.sampleRate, format.bitsPerSample));
        ASSERT_TRUE(recorder.start());
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ASSERT_TRUE(recorder.stop());
        ASSERT_TRUE(recorder.save(path, true));
    }
    const auto wav = test::readWav(path);
    ASSERT_TRUE(wav);
    const std::uint32_t blockAlign = static_cast<std::uint32_t>(format.channels) *
                                     static_cast<std::uint32_t>(format.bitsPerSample) / 8;
    EXPECT_EQ(wav->riffTag, "RIFF");
    EXPECT_EQ(wav->riffSize, wav->dataSize + 36);
    EXPECT_EQ(wav->waveTag, "WAVE");
    EXPECT_EQ(wav->fmtTag, "fmt ");
    EXPECT_EQ(wav->fmtSize, 16u);
    EXPECT_EQ(wav->formatTag, 1u);
    EXPECT_EQ(wav->channels, static_cast<unsigned>(format.channels));
    EXPECT_EQ(wav->sampleRate, static_cast<unsigned>(format.sampleRate));
    EXPECT_EQ(wav->byteRate, blockAlign * static_cast<std::uint32_t>(format.sampleRate));
    EXPECT_EQ(wav->blockAlign, blockAlign);
    EXPECT_EQ(wav->bitsPerSample, static_cast<unsigned>(format.bitsPerSample));
    EXPECT_EQ(wav->dataTag, "data");
    EXPECT_EQ(wav->dataSize, wav->samples.size()) << "no pad byte, no other chunk";
    EXPECT_EQ(wav->dataSize % blockAlign, 0u) << "whole frames only";
    ASSERT_GT(wav->dataSize, 0u);
    const ToneFit fit = fitTone(*wav);
    EXPECT_NEAR(fit.offset, 0.0, 0.02);
    EXPECT_LT(fit.unexplained, 0.1) << "not a 440 Hz tone in this layout";
}

INSTANTIATE_TEST_SUITE_P(Recorder, ToneRecording,
                         ::testing::Values(AudioFormat{2, 44100, 16}, AudioFormat{1, 8000, 8},
                                           AudioFormat{2, 22050, 8}, AudioFormat{1, 11025, 16}),
                         [](const auto& info) {
                             const AudioFormat& f = info.param;
                             return std::to_string(f.channels) + "ch" +
                                    std::to_string(f.sampleRate) + "Hz" +
                                    std::to_string(f.bitsPerSample) + "bit";
                         });

TEST(RecorderWithoutServer, StartFailsAndLeavesAnEmptyRecording) {
    test::usePulseServerThatDoesNotExist();
    test::TempDir dir;
    SoundRecorder recorder(dir.file("录音.wav.part"), makeCaptureBackend());
    ASSERT_TRUE(recorder.setFormat(2, 44100, 16));
    EXPECT_FALSE(recorder.start());
    // No device is open: these do nothing and succeed.
    EXPECT_TRUE(recorder.pause());
    EXPECT_TRUE(recorder.resume());
    EXPECT_TRUE(recorder.stop());
    EXPECT_TRUE(recorder.save(dir.file("take.wav"), true));
    const auto wav = test::readWav(dir.file("take.wav"));
    ASSERT_TRUE(wav);
    EXPECT_EQ(wav->dataSize, 0u);
    EXPECT_EQ(wav->fileSize, 44u);
    EXPECT_EQ(wav->channels, 2u);
}

} // namespace
} // namespace dd
