// The sound-file input device: a file read with libsndfile (WAV, FLAC, Ogg and the rest it
// reads; any rate, mono or stereo) delivered block by block at the asked rate as if it were
// being captured live, on the loop's clock (virtual or real).
//
// - Channels: a mono file feeds both channels of a stereo capture; a file with more channels
//   than asked is mixed down (the average of its channels for mono, so that nothing panned to one
//   side is lost).
// - Rate: converted to the asked rate with libsamplerate; a file at the asked rate is delivered
//   sample for sample. A converted or mixed file is kept converted in the cache folder and read
//   from there the next time (wave_file_cache.h); not a looping one.
// - Time: the file's first sample is taken at waveInStart; from then on it runs at the real
//   rate whether buffers are queued or not (what finds no buffer is lost, as with a microphone).
//   waveInStop holds the file where it is; the next start goes on from there.
// - A conversion that gives nothing for 3 s when samples are due (a disk that hangs under it) is not
//   waited for again: silence stands in for what it has not made, said once on standard error.
// - End of the file: silence follows and the device keeps delivering, so that a live show goes
//   on without a device that seems to have died; with looping set the file starts again.
// - A file that is missing, unreadable, not a regular file (a folder, a pipe, a device), not a
//   sound file, empty or truncated makes waveInOpen
//   fail (6 when it cannot be opened, 1 when its content is unusable) with a description naming
//   the file in waveLastErrorText().
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio/wave.h"

namespace platform {

class SoundFileWaveIn : public WaveInDevice, public std::enable_shared_from_this<SoundFileWaveIn> {
public:
    explicit SoundFileWaveIn(std::string path, bool loop = false);
    ~SoundFileWaveIn() override;

    // "File: " and the file's name, cut to a product name by waveInGetDevCapsA.
    std::string name() const override;
    MMRESULT open(const WAVEFORMATEX& format, WaveInSink& sink, std::unique_ptr<WaveInStream>& stream,
                  std::string& error) override;

    const std::string& path() const { return path_; }
    bool looping() const { return loop_; }
    // Checks that the file can be played; on failure returns the code open would give and the
    // description in error.
    MMRESULT check(std::string& error) const;
    bool isOpen() const;

    struct Stream;

private:
    friend struct Stream;
    std::string path_;
    bool loop_;
    mutable std::mutex mutex_;
    bool open_ = false;
};

// For tests: runs on the converting thread of every sound-file input after the file was opened
// and before its cache key is taken (nothing: none).
void setSoundFileKeyHook(std::function<void()> hook);

// The input device for KORVELLA_INPUT_FILE, or nothing when the variable is unset or empty.
std::shared_ptr<SoundFileWaveIn> soundFileDeviceFromEnvironment();

// Writes interleaved 16-bit samples as a sound file, the format chosen by the file's extension
// (.wav, .flac, .ogg, .aiff, .au; anything else: WAV). Returns false with the reason in error.
bool writeSoundFile(const std::string& path, const std::vector<std::int16_t>& interleaved,
                    int channels, int rate, std::string* error = nullptr);

}  // namespace platform
