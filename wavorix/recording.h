// Recording to and playing from a PCM WAV file: the 44-byte header written when a recording
// ends, the block writer fed by the wave window procedure, and the block reader of playback.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace wavorix {

// The 44 bytes of a PCM WAV header, little-endian.
struct WaveFileHeader {
    std::uint32_t dataSize = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::array<std::uint8_t, 44> bytes() const;
};

// data size := sampleCount x channels x bits / 8 rounded.
void MakeWaveHeader(WaveFileHeader& header, std::int32_t sampleCount, std::int32_t channels, std::int32_t sampleRate,
                    double bits);

// The file part of InitX: empties the file of a recording (limit from maxRecordingTime) or opens
// the file of a playback, both positioned at byte 45. An empty name switches recording off.
struct FileSettings {
    std::string fileName;
    bool recording = false;
    bool playing = false;
    std::int32_t maxRecordingTime = 0;
    std::int32_t sps = 0;
    std::int16_t bips = 16;
    std::int16_t channels = 1;
};
void PrepareFile(FileSettings& settings);

// Appends the block of capture buffer i, or, at the byte limit (Reset sets it to 0), writes the
// header, closes the file and sends "donerecording".
void WriteBuffer(std::int32_t bufferIndex);
// Reads the next samples of the playback file into the part of the capture buffer that output
// header i plays; returns how many.
std::int32_t ReadBuffer(std::int32_t bufferIndex);
// The file part of Reset for the given device kind.
void FinishFile(std::int32_t deviceKind, const std::string& fileName);
// Closes the file number (nothing when none is open).
void CloseFile();

}  // namespace wavorix
