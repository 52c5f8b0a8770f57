#include "platform/recorder/sound_recorder.h"

#include "platform/recorder/spool_recovery.h"
#include "platform/recorder/utf8_path.h"

#include <cstdio>
#include <system_error>
#include <utility>

namespace dd {
namespace {

// Seconds of audio the hand-over queue holds, so a slow disk for that long loses nothing. The
// writer lets about a second gather before it writes.
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

SoundRecorder::SoundRecorder(std::string spoolPath, std::unique_ptr<CaptureBackend> backend,
                             RecorderLimits limits)
    : m_spoolPath(std::move(spoolPath)), m_backend(std::move(backend)), m_limits(limits) {}

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
    m_status.reset();
    // A spool a dead recorder left and nobody recovered would be emptied by the create below:
    // it is finished first and handed over like a part, for the application to name.
    for (RecordingFile& left : recoverAbandonedSpools(m_spoolPath).recordings) {
        std::fprintf(stderr, "recorder: an earlier recording was left in %s\n", left.path.c_str());
        m_status.addFinishedPart(std::move(left), nullptr);
    }
    if (!m_spool.create(m_spoolPath, m_format, m_limits.partDataBytes)) {
        std::fprintf(stderr, "recorder: cannot create the spool file %s: %s\n", m_spoolPath.c_str(),
                     m_spool.error().c_str());
        m_status.setError(m_spool.error());
        return false;
    }
    m_writer = std::make_unique<SpoolWriter>(
        m_spool, m_status, m_format.bytesPerSecond() * kQueueSeconds, m_limits.spaceMarginBytes);
    SpoolWriter* writer = m_writer.get();
    if (!m_backend->open(m_format, [writer](const std::uint8_t* data, std::size_t size) {
            writer->push(data, size);
        })) {
        finishWriter(); // the backend says why on stderr; what stays is an empty recording
        m_status.setError("the recording device cannot be opened");
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

bool SoundRecorder::refuseExisting(const std::string& path, bool overwrite) {
    if (!overwrite && fileExists(path)) {
        m_status.setError(std::make_error_code(std::errc::file_exists).message());
        return true;
    }
    return false;
}

bool SoundRecorder::save(const std::string& path, bool overwrite) {
    if (refuseExisting(path, overwrite)) {
        return false;
    }
    stop();
    return copyTo(path);
}

bool SoundRecorder::saveByMove(const std::string& path, bool overwrite) {
    if (refuseExisting(path, overwrite)) {
        return false;
    }
    stop();
    if (m_spool.isOpen() && !m_spool.moved()) {
        if (m_spool.moveTo(path)) {
            return true;
        }
        // Another file system, for one: a copy still saves it.
        std::fprintf(stderr, "recorder: cannot rename the recording to %s (%s); copying it\n",
                     path.c_str(), m_spool.error().c_str());
    }
    return copyTo(path);
}

bool SoundRecorder::copyTo(const std::string& path) {
    std::string why;
    const bool written =
        m_spool.isOpen() ? m_spool.copyTo(path) : writeEmptyWav(path, m_format, why);
    if (!written) {
        if (why.empty()) {
            why = m_spool.error();
        }
        std::fprintf(stderr, "recorder: could not write the recording to %s: %s\n", path.c_str(),
                     why.c_str());
        m_status.setError(why);
    }
    return written;
}

std::vector<RecordingFile> SoundRecorder::takeFinishedParts() {
    return m_status.takeFinishedParts();
}

std::vector<RecordingFile> SoundRecorder::recoverAbandoned() {
    SpoolRecovery recovery = recoverAbandonedSpools(m_spoolPath);
    if (!recovery.errors.empty()) {
        std::string why;
        for (const std::string& line : recovery.errors) {
            std::fprintf(stderr, "recorder: cannot recover %s\n", line.c_str());
            why += (why.empty() ? "" : "\n") + line;
        }
        m_status.setError(why);
    }
    return std::move(recovery.recordings);
}

void SoundRecorder::setNotifier(std::function<void()> notify) {
    m_status.setNotifier(std::move(notify));
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
