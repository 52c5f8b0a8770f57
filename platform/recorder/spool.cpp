#include "platform/recorder/spool.h"

#include "platform/recorder/utf8_path.h"
#include "platform/recorder/wav_header.h"

#include <array>
#include <system_error>
#include <vector>

namespace dd {
namespace {

constexpr std::ios::openmode kCreate = std::ios::out | std::ios::trunc | std::ios::binary;

bool writeHeader(std::ostream& out, const AudioFormat& format, std::uint32_t dataSize) {
    const auto header = makeWavHeader(format, dataSize);
    out.write(reinterpret_cast<const char*>(header.data()), header.size());
    return static_cast<bool>(out);
}

} // namespace

bool Spool::create(const std::string& path, const AudioFormat& format) {
    discard();
    m_format = format;
    // in|out so that flush() can rewrite the header in place.
    m_file.open(utf8Path(path), kCreate | std::ios::in);
    if (!m_file.is_open()) {
        m_file.clear();
        return false;
    }
    m_path = path; // from here on the file is ours to delete
    if (!writeHeader(m_file, m_format, 0)) {
        discard();
        return false;
    }
    return true;
}

bool Spool::append(const std::uint8_t* data, std::size_t size) {
    if (!m_file.is_open() || m_failed || size > maxWavDataSize(m_format) - m_dataSize) {
        return false;
    }
    m_file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!m_file) {
        // The stream's position is unknown after a failed write: stop here rather than
        // describe bytes that may not be on disk.
        m_failed = true;
        return false;
    }
    m_dataSize += static_cast<std::uint32_t>(size);
    return true;
}

bool Spool::flush() {
    if (!m_file.is_open() || m_failed) {
        return false;
    }
    m_file.seekp(0);
    writeHeader(m_file, m_format, frameAlignedSize());
    m_file.seekp(0, std::ios::end);
    m_file.flush();
    return static_cast<bool>(m_file);
}

bool Spool::copyTo(const std::string& path) {
    if (!m_file.is_open()) {
        return writeEmptyWav(path, m_format);
    }
    flush();
    std::ifstream in(utf8Path(m_path), std::ios::in | std::ios::binary);
    std::ofstream out(utf8Path(path), kCreate);
    std::uint32_t left = frameAlignedSize();
    if (!in.is_open() || !out.is_open() || !writeHeader(out, m_format, left)) {
        return false;
    }
    // A modest buffer keeps memory flat however long the recording.
    std::vector<char> buffer(64 * 1024);
    in.seekg(kWavHeaderSize);
    while (left > 0 && in && out) {
        const std::uint32_t chunk = left < buffer.size() ? left : buffer.size();
        in.read(buffer.data(), chunk);
        out.write(buffer.data(), in.gcount());
        left -= static_cast<std::uint32_t>(in.gcount());
    }
    out.flush();
    return left == 0 && static_cast<bool>(out);
}

std::uint32_t Spool::frameAlignedSize() const {
    // Whole blocks arrive as whole frames, but a block split at the queue's wrap point can be
    // cut short by a full disk; the header then describes the whole frames only.
    return m_dataSize - m_dataSize % m_format.bytesPerFrame();
}

void Spool::discard() {
    if (m_file.is_open()) {
        m_file.close();
    }
    if (!m_path.empty()) {
        std::error_code ignored; // the file may never have been created
        std::filesystem::remove(utf8Path(m_path), ignored);
    }
    m_path.clear();
    m_dataSize = 0;
    m_failed = false;
    m_file.clear();
}

bool writeEmptyWav(const std::string& path, const AudioFormat& format) {
    std::ofstream out(utf8Path(path), kCreate);
    return out.is_open() && writeHeader(out, format, 0) && out.flush();
}

} // namespace dd
