#include "platform/recorder/sound_recorder.h"

#include "platform/recorder/utf8_path.h"

#include <cstdio>
#include <system_error>
#include <utility>

namespace dd {
namespace {

// Seconds of audio the hand-over queue holds, so a slow disk for that long loses nothing.
constexpr std::size_t kQueueSeconds = 8;

bool isSupported(int channels, int sampleRate, int bitsPerSample) {
    const bool channelsOk = channels == 1 || channels == 2;
    const bool rateOk =
        sampleRate == 8000 || sampleRate == 11025 || sampleRate == 22050 || sampleRate == 44100;
    const bool bitsOk = bitsPerSample == 8 || bitsPerSample == 16;
    return channelsOk && rateOk && bitsOk;
}

bool fileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(utf8Path(path), error);
}

} // namespace

SoundRecorder::SoundRecorder(std::string spoolPath, std::unique_ptr<CaptureBackend> backend)
    : m_spoolPath(std::move(spoolPath)), m_backend(std::move(backend)) {}

SoundRecorder::~SoundRecorder() {
    m_backend->close();
    finishWriter();
    m_spool.discard();
}

bool SoundRecorder::setFormat(int channels, int sampleRate, int bitsPerSample) {
    if (!isSupported(channels, sampleRate, bitsPerSample)) {
        return false;
    }
    m_format = AudioFormat{channels, sampleRate, bitsPerSample};
    return true;
}

bool SoundRecorder::start() {
    // The old recording is discarded, so nothing in flight needs to reach it.
    m_backend->close();
    finishWriter();
    m_spool.discard();
    m_droppedBytes = 0;
    if (!m_spool.create(m_spoolPath, m_format)) {
        std::fprintf(stderr, "recorder: cannot create the spool file %s\n", m_spoolPath.c_str());
        return false;
    }
    m_writer = std::make_unique<SpoolWriter>(m_spool, m_format.bytesPerSecond() * kQueueSeconds);
    SpoolWriter* writer = m_writer.get();
    if (!m_backend->open(m_format, [writer](const std::uint8_t* data, std::size_t size) {
            writer->push(data, size);
        })) {
        finishWriter(); // the backend says why on stderr; what stays is an empty recording
        return false;
    }
    return true;
}

bool SoundRecorder::pause() {
    return !capturing() || m_backend->pause();
}

bool SoundRecorder::resume() {
    return !capturing() || m_backend->resume();
}

bool SoundRecorder::stop() {
    if (!capturing()) {
        return true;
    }
    const bool drained = m_backend->stop();
    finishWriter();
    return drained;
}

bool SoundRecorder::save(const std::string& path, bool overwrite) {
    if (!overwrite && fileExists(path)) {
        return false;
    }
    stop();
    const bool written = m_spool.isOpen() ? m_spool.copyTo(path) : writeEmptyWav(path, m_format);
    if (!written) {
        std::fprintf(stderr, "recorder: could not write the recording to %s\n", path.c_str());
    }
    return fileExists(path);
}

std::uint64_t SoundRecorder::droppedBytes() const {
    return m_droppedBytes + (m_writer ? m_writer->droppedBytes() : 0);
}

void SoundRecorder::finishWriter() {
    if (m_writer) {
        m_writer->finish();
        m_droppedBytes += m_writer->droppedBytes();
        m_writer.reset();
    }
}

std::unique_ptr<Recorder> makeSoundRecorder(std::string spoolPath) {
    return std::make_unique<SoundRecorder>(std::move(spoolPath), makeCaptureBackend());
}

} // namespace dd
