#include "wavorix/recording.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "forms/bmove.h"
#include "platform/error.h"
#include "platform/storage/files.h"
#include "wavorix/messages.h"
#include "wavorix/state.h"
#include "wavorix/trail.h"

namespace wavorix {

namespace {

void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The runtime's number for a failed file operation.
int fileErrorNumber(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR: return 76;
    case EACCES:
    case EPERM:
    case EROFS: return 70;
    case ENOSPC:
    case EFBIG:
    case EDQUOT: return 61;
    default: return 75;
    }
}

std::int64_t fileLength(std::FILE* f) {
    const int fd = ::fileno(f);
    const off_t cur = ::lseek(fd, 0, SEEK_CUR);
    const off_t end = ::lseek(fd, 0, SEEK_END);
    ::lseek(fd, cur, SEEK_SET);
    return end < 0 ? 0 : end;
}

bool writeAt(std::FILE* f, std::int64_t offset, const void* data, std::size_t n) {
    if (std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0) return false;
    return std::fwrite(data, 1, n, f) == n && std::fflush(f) == 0;
}

void closeEngineFile(EngineState& st) {
    if (st.file) std::fclose(st.file);
    st.file = nullptr;
    st.fileNumber = 0;
}

// The header for what the file holds from byte 45 on, written at byte 1.
bool writeHeader(EngineState& st, std::int64_t endPosition) {
    WaveFileHeader h;
    const double count = static_cast<double>(endPosition - 45) / (st.channels * 2);
    MakeWaveHeader(h, static_cast<std::int32_t>(std::nearbyint(count)), st.channels, st.sampleRate, 16);
    const auto bytes = h.bytes();
    return writeAt(st.file, 0, bytes.data(), bytes.size());
}

// What the device put into buffer i: its header's recorded byte count, whole frames, at most
// one block. The finishing call (index 0) counts a whole block, which never fits below limit 0.
std::int32_t recordedBytes(EngineState& st, std::int32_t bufferIndex) {
    const std::int32_t block = st.samples * 2 * st.channels;
    if (bufferIndex < 1 || bufferIndex > st.headers.ubound()) return block;
    const std::int64_t frame = 2 * static_cast<std::int64_t>(st.channels);
    std::int64_t n = st.headers(bufferIndex).dwBytesRecorded;
    if (frame > 0) n -= n % frame;
    return static_cast<std::int32_t>(std::min<std::int64_t>(n, block));
}

}  // namespace

std::array<std::uint8_t, 44> WaveFileHeader::bytes() const {
    std::array<std::uint8_t, 44> b{};
    std::memcpy(b.data(), "RIFF", 4);
    put32(b.data() + 4, dataSize + 36);
    std::memcpy(b.data() + 8, "WAVE", 4);
    std::memcpy(b.data() + 12, "fmt ", 4);
    put32(b.data() + 16, 16);
    put16(b.data() + 20, 1);
    put16(b.data() + 22, channels);
    put32(b.data() + 24, sampleRate);
    put32(b.data() + 28, static_cast<std::uint32_t>(blockAlign) * sampleRate);
    put16(b.data() + 32, blockAlign);
    put16(b.data() + 34, bitsPerSample);
    std::memcpy(b.data() + 36, "data", 4);
    put32(b.data() + 40, dataSize);
    return b;
}

void MakeWaveHeader(WaveFileHeader& header, std::int32_t sampleCount, std::int32_t channels, std::int32_t sampleRate,
                    double bits) {
    header.dataSize = static_cast<std::uint32_t>(
        static_cast<std::int64_t>(std::nearbyint(static_cast<double>(sampleCount) * channels * bits / 8)));
    header.channels = static_cast<std::uint16_t>(channels);
    header.sampleRate = static_cast<std::uint32_t>(sampleRate);
    header.blockAlign = static_cast<std::uint16_t>(channels * static_cast<std::int32_t>(bits) / 8);
    header.bitsPerSample = 16;  // always 16
}

void CloseFile() { closeEngineFile(engine()); }

void PrepareFile(FileSettings& s) {
    EngineState& st = engine();
    closeEngineFile(st);
    if (s.fileName.empty()) {
        s.recording = false;
        return;
    }
    const std::string path = platform::diskPath(s.fileName);
    if (s.recording) {
        if (s.maxRecordingTime != 0) {
            const std::int64_t product = static_cast<std::int64_t>(s.maxRecordingTime) * s.sps;
            if (product > 2147483647LL || product < -2147483648LL) platform::raise(6);
            const double limit = std::nearbyint(static_cast<double>(product) * (s.bips / 8.0) * s.channels) + 44;
            if (!(limit >= -2147483648.0 && limit <= 2147483647.0)) platform::raise(6);
            st.byteLimit = static_cast<std::int32_t>(limit);
        } else {
            st.byteLimit = 2147483647;
        }
        std::FILE* f = std::fopen(path.c_str(), "wb+");
        if (!f) platform::raise(fileErrorNumber(errno));
        std::setvbuf(f, nullptr, _IONBF, 0);  // a failing write shows at once
        st.file = f;
        st.fileNumber = 1;
        st.filePosition = 45;
    } else if (s.playing) {
        // A pipe or a device is refused at once, not waited on.
        const int fd = platform::openFileForReading(path);
        std::FILE* f = ::fdopen(fd, "rb");
        if (!f) {
            const int err = errno;
            ::close(fd);
            platform::raise(fileErrorNumber(err));
        }
        st.file = f;
        st.fileNumber = 1;
        st.filePosition = 45;
    }
}

void WriteBuffer(std::int32_t bufferIndex) {
    EngineState& st = engine();
    st.writerBusy = true;
    try {
        const std::int32_t bytes = st.file ? recordedBytes(st, bufferIndex) : 0;
        if (bytes > 0) {  // a buffer the device returned empty adds nothing
            const std::int64_t p = st.filePosition;
            if (p + bytes - 1 < st.byteLimit) {
                vb::BMOVE(st.capture.column(bufferIndex), span(st.recBlock, 0, bytes / 2), bytes);
                if (!writeAt(st.file, p - 1, st.recBlock.data(), static_cast<std::size_t>(bytes))) {
                    const int err = errno;
                    // Keep a valid file up to the last block written.
                    if (::ftruncate(::fileno(st.file), static_cast<off_t>(p - 1)) == 0) writeHeader(st, p);
                    closeEngineFile(st);
                    platform::raise(err == ENOSPC || err == EFBIG || err == EDQUOT ? 61 : 57);
                }
                st.filePosition = static_cast<std::int32_t>(p + bytes);
                st.status.writtenBlocks += 1;
            } else {
                if (!writeHeader(st, p)) {
                    const int err = errno;
                    closeEngineFile(st);
                    platform::raise(fileErrorNumber(err));
                }
                st.filePosition = static_cast<std::int32_t>(fileLength(st.file));
                closeEngineFile(st);
                SendMsgText(st.msgWindow, "donerecording");
            }
        }
        st.writerBusy = false;
    } catch (...) {
        st.writerBusy = false;
        reraise(currentError(), "Function WriteBuffer in Wavorix");
    }
}

std::int32_t ReadBuffer(std::int32_t bufferIndex) {
    EngineState& st = engine();
    if (!st.file) return 0;
    try {
        const std::int64_t length = fileLength(st.file);
        const std::int64_t remaining = length - (st.filePosition - 1);
        std::int64_t n = st.samples;
        if (remaining < n * 2) n = remaining < 0 ? 0 : remaining / 2;
        std::vector<std::int16_t> block(static_cast<std::size_t>(n));
        if (n > 0) {
            if (std::fseek(st.file, st.filePosition - 1, SEEK_SET) != 0 ||
                std::fread(block.data(), 2, static_cast<std::size_t>(n), st.file) != static_cast<std::size_t>(n))
                platform::raise(52);
            const std::int64_t offset = static_cast<std::int64_t>(bufferIndex - 1) * st.samples;
            vb::BMOVE(block.data(), span(st.capture.data, offset, n), static_cast<std::int32_t>(n * 2));
            st.filePosition = static_cast<std::int32_t>(st.filePosition + n * 2);
        }
        if (length - (st.filePosition - 1) < 2) closeEngineFile(st);
        return static_cast<std::int32_t>(n);
    } catch (const platform::VbError& e) {
        if (e.number() == 52) closeEngineFile(st);
        return 0;
    }
}

void FinishFile(std::int32_t deviceKind, const std::string& fileName) {
    EngineState& st = engine();
    if (deviceKind == 1) {
        if (st.file && fileLength(st.file) > 0) {
            st.byteLimit = 0;
            WriteBuffer(0);
        }
        closeEngineFile(st);
        if (!fileName.empty()) {
            std::error_code ec;
            const auto size = std::filesystem::file_size(platform::diskPath(fileName), ec);
            if (!ec) st.filePosition = static_cast<std::int32_t>(size);  // a missing file (53) is skipped
        }
        pumpEvents();
    } else if (deviceKind == 2 && st.file) {
        const long pos = std::ftell(st.file);
        if (pos >= 0) st.filePosition = static_cast<std::int32_t>(pos + 1);
        closeEngineFile(st);
    }
}

}  // namespace wavorix
