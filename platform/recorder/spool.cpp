#include "platform/recorder/spool.h"

#include "platform/recorder/utf8_path.h"
#include "platform/recorder/wav_header.h"

#include <string>
#include <vector>

namespace dd {
namespace {

// A modest buffer keeps memory flat however long the recording.
constexpr std::size_t kCopyBuffer = 64 * 1024;
constexpr int kMaxPartNumber = 100000;

bool putHeader(DiskFile& file, const AudioFormat& format, std::uint32_t dataSize) {
    const auto header = makeWavHeader(format, dataSize);
    std::size_t written = 0;
    return file.writeAt(0, header.data(), header.size(), written);
}

// Writes a WAV of dataSize sample bytes, read from source after its header (none when source
// is null), under a temporary name beside path, and renames it onto path once it is complete
// and on the device.
bool writeWavBeside(const std::string& path, const AudioFormat& format, std::uint32_t dataSize,
                    DiskFile* source, std::string& error) {
    DiskFile out;
    if (!out.createBeside(path)) {
        error = out.error();
        return false;
    }
    bool written = putHeader(out, format, dataSize);
    std::vector<std::uint8_t> buffer(source != nullptr ? kCopyBuffer : 0);
    std::uint64_t at = 0;
    while (written && at < dataSize) {
        const std::size_t chunk = dataSize - at < buffer.size() ? dataSize - at : buffer.size();
        std::size_t read = 0;
        if (!source->readAt(kWavHeaderSize + at, buffer.data(), chunk, read)) {
            error = source->error();
            written = false;
            break;
        }
        if (read < chunk) {
            error = "the recording's file is shorter than its recording";
            written = false;
            break;
        }
        std::size_t put = 0;
        written = out.writeAt(kWavHeaderSize + at, buffer.data(), chunk, put);
        at += chunk;
    }
    // On the device before it takes the name, so a power cut never leaves an empty file
    // under a recording's name.
    written = written && out.sync() && out.rename(path, true);
    if (!written) {
        if (error.empty()) {
            error = out.error();
        }
        out.remove();
        return false;
    }
    out.close();
    syncFolder(folderOf(path));
    return true;
}

} // namespace

std::string folderOf(const std::string& path) {
    return utf8Text(utf8Path(path).parent_path());
}

bool Spool::create(const std::string& path, const AudioFormat& format, std::uint32_t partLimit) {
    discard();
    m_format = format;
    m_path = path;
    const std::uint32_t most = maxWavDataSize(format);
    m_limit = partLimit == 0 || partLimit > most ? most : partLimit;
    m_limit -= m_limit % format.bytesPerFrame();
    m_error.clear();
    auto file = std::make_unique<DiskFile>();
    switch (file->create(path)) {
    case DiskFile::Open::Ok:
        break;
    case DiskFile::Open::Busy:
        return fail("the file is in use by another recorder");
    case DiskFile::Open::Failed:
        return fail(file->error());
    }
    m_file = std::move(file);
    if (!writeHeader()) {
        const std::string why = m_error;
        discard();
        m_error = why;
        return false;
    }
    return true;
}

bool Spool::append(const std::uint8_t* data, std::size_t size) {
    if (!isOpen() || m_failed || m_moved || size > room()) {
        return false;
    }
    std::size_t written = 0;
    if (m_file->writeAt(kWavHeaderSize + m_dataSize, data, size, written)) {
        m_dataSize += static_cast<std::uint32_t>(size);
        return true;
    }
    // The disk refused part of the block. Bytes past the last whole frame that reached it are
    // cut off, so the file and its header agree again: a complete WAV of everything kept.
    m_failed = true;
    fail(m_file->error());
    m_dataSize += static_cast<std::uint32_t>(written);
    m_dataSize = dataSize();
    m_file->truncate(kWavHeaderSize + m_dataSize);
    writeHeader();
    return false;
}

bool Spool::flush(bool durable) {
    if (!isOpen() || m_moved) {
        return false;
    }
    // Even after a failed append the header is rewritten: it then describes what was kept.
    return writeHeader() && (!durable || m_file->sync() || fail(m_file->error())) && !m_failed;
}

bool Spool::startNextPart(RecordingFile& finished, std::unique_ptr<DiskFile>& held) {
    if (!isOpen() || m_moved || m_failed || !flush(true)) {
        return false;
    }
    bool renamed = false;
    for (int n = 1; n < kMaxPartNumber && !renamed; ++n) {
        renamed = m_file->rename(m_path + "." + std::to_string(n) + ".wav", false);
        if (!renamed && !m_file->alreadyExists()) {
            return fail(m_file->error()); // still the spool: the recording keeps its file
        }
    }
    if (!renamed) {
        return fail(m_file->error());
    }
    finished.path = m_file->path();
    finished.lastWritten = m_file->modificationTime().value_or(std::time(nullptr));
    held = std::move(m_file);
    syncFolder(folderOf(m_path));

    m_dataSize = 0;
    auto file = std::make_unique<DiskFile>();
    if (file->create(m_path) != DiskFile::Open::Ok) {
        m_failed = true;
        return fail(file->error().empty() ? "the file is in use by another recorder"
                                          : file->error());
    }
    m_file = std::move(file);
    return writeHeader();
}

bool Spool::copyTo(const std::string& path) {
    if (!isOpen()) {
        std::string why;
        return writeEmptyWav(path, m_format, why) || fail(why);
    }
    if (!m_moved) {
        flush(false);
    }
    std::string why;
    return writeWavBeside(path, m_format, dataSize(), m_file.get(), why) || fail(why);
}

bool Spool::moveTo(const std::string& path) {
    if (!isOpen() || m_moved) {
        return fail("there is no spool file to rename");
    }
    // Durable first: after the rename this is the user's recording.
    flush(true);
    if (!m_file->rename(path, true)) {
        return fail(m_file->error());
    }
    m_moved = true;
    syncFolder(folderOf(path));
    syncFolder(folderOf(m_path));
    return true;
}

void Spool::discard() {
    if (m_file && m_file->isOpen()) {
        if (m_moved) {
            m_file->close();
        } else {
            m_file->remove();
        }
    }
    m_file.reset();
    m_dataSize = 0;
    m_failed = false;
    m_moved = false;
}

bool Spool::writeHeader() {
    return putHeader(*m_file, m_format, dataSize()) || fail(m_file->error());
}

bool Spool::fail(const std::string& what) {
    m_error = what;
    return false;
}

bool writeEmptyWav(const std::string& path, const AudioFormat& format, std::string& error) {
    return writeWavBeside(path, format, 0, nullptr, error);
}

} // namespace dd
