#include "platform/audio/wave_file.h"

#include <samplerate.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <optional>
#include <sstream>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/audio/wave_clocked.h"
#include "platform/audio/wave_file_cache.h"
#include "platform/error.h"
#include "platform/storage/files.h"

namespace platform {

namespace {

constexpr std::size_t kChunkFrames = 4096;

std::function<void()> gKeyHook;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Converted float samples to 16 bits, the same as src_float_to_short_array: scaled by 32768,
// rounded to nearest (ties to even), held to the 16-bit range, NaN made 0 (checked against the
// library for every float). Eight at a time: on the 1 ms path this runs for every sample.
void floatsToShorts(const float* in, std::int16_t* out, std::size_t n) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128 scale = _mm_set1_ps(32768.0f), hi = _mm_set1_ps(32767.0f), lo = _mm_set1_ps(-32768.0f);
    for (; i + 8 <= n; i += 8) {
        __m128 a = _mm_mul_ps(_mm_loadu_ps(in + i), scale);
        __m128 b = _mm_mul_ps(_mm_loadu_ps(in + i + 4), scale);
        // min and max give their second operand for NaN; the mask then clears it.
        a = _mm_and_ps(_mm_max_ps(_mm_min_ps(a, hi), lo), _mm_cmpord_ps(a, a));
        b = _mm_and_ps(_mm_max_ps(_mm_min_ps(b, hi), lo), _mm_cmpord_ps(b, b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b)));
    }
#endif
    if (i < n) src_float_to_short_array(in + i, out + i, static_cast<int>(n - i));
}

// A WAV (or similar) file whose data chunk promises more than the file holds: libsndfile plays
// what is there and notes "data : N (should be M)" in its log.
bool logShowsTruncatedData(SNDFILE* file, std::string& detail) {
    char log[8192] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        unsigned long long declared = 0, actual = 0;
        if (std::sscanf(line.c_str(), "data : %llu (should be %llu)", &declared, &actual) == 2 &&
            declared > actual && declared != 0xFFFFFFFFull) {
            detail = "its data chunk promises " + std::to_string(declared) + " bytes, the file holds " +
                     std::to_string(actual);
            return true;
        }
    }
    return false;
}

// Reads a sound file as interleaved 16-bit frames in the asked channel count and rate.
class SoundFileReader {
public:
    ~SoundFileReader() {
        if (worker_.joinable()) {
            {
                std::lock_guard lock(readyMutex_);
                stop_ = true;
            }
            readyCv_.notify_all();
            worker_.join();
        }
        if (src_) src_delete(src_);
        if (file_) sf_close(file_);
    }

    // Reads the open file (which it closes) from its start.
    MMRESULT open(int fd, const std::string& path, std::uint32_t rate, int channels, bool loop, std::string& error) {
        SF_INFO info{};
        ::lseek(fd, 0, SEEK_SET);
        file_ = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
        if (!file_) {
            ::close(fd);
            error = "Sound file cannot be read: " + path + " (" + sf_strerror(nullptr) + ")";
            return MMSYSERR_NODRIVER;
        }
        fd_ = fd;
        path_ = path;
        rate_ = rate;
        fileFrames_ = static_cast<std::uint64_t>(info.frames);
        fileChannels_ = info.channels;
        channels_ = channels;
        loop_ = loop;
        if (fileChannels_ != channels_) fileBuf_.resize(kChunkFrames * static_cast<std::size_t>(fileChannels_));
        inBuf_.resize(kChunkFrames * static_cast<std::size_t>(channels_));
        if (static_cast<std::uint32_t>(info.samplerate) != rate) {
            ratio_ = static_cast<double>(rate) / info.samplerate;
            if (src_is_valid_ratio(ratio_) == 0) {
                error = "Sound file " + path + ": cannot convert " + std::to_string(info.samplerate) +
                        " samples/s to " + std::to_string(rate);
                return WAVERR_BADFORMAT;
            }
            int err = 0;
            src_ = src_new(SRC_SINC_FASTEST, channels_, &err);
            if (!src_) {
                error = "Sound file " + path + ": rate conversion unavailable (" + src_strerror(err) + ")";
                return MMSYSERR_NOMEM;
            }
        }
        // 16-bit samples at the asked rate and channel count: read as they are. Through floats they
        // would come back the same (s / 32768 is exact, and scaled back it is s again).
        const int major = info.format & SF_FORMAT_TYPEMASK;
        direct_ = !src_ && fileChannels_ == channels_ && (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16 &&
                  (major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_AIFF || major == SF_FORMAT_AU);
        if (direct_) return MMSYSERR_NOERROR;
        const auto outCap = static_cast<std::size_t>(kChunkFrames * std::max(1.0, ratio_)) + 64;
        outBuf_.resize(outCap * static_cast<std::size_t>(channels_));
        // Kept once converted, except when looping: the converter then runs on over the file's end
        // into its start, so each pass gives other samples.
        cacheable_ = !loop_ && (src_ || fileChannels_ != channels_);
        // Made ahead in a streaming pass on a thread of its own, so that the 1 ms path only copies. The converter sees the same chunks in the same order as it would
        // there, so the samples are the same.
        worker_ = std::thread([this] { produce(); });
        return MMSYSERR_NOERROR;
    }

    // Always fills frames: after the end of the file (or a read failure) with silence.
    void read(std::int16_t* out, std::size_t frames) {
        if (direct_) return readDirect(out, frames);
        const auto ch = static_cast<std::size_t>(channels_);
        while (frames > 0) {
            const std::size_t have = current_.size() / ch - currentPos_;
            if (have > 0) {
                const std::size_t n = std::min(frames, have);
                std::memcpy(out, current_.data() + currentPos_ * ch, n * ch * sizeof(std::int16_t));
                out += n * ch;
                frames -= n;
                currentPos_ += n;
                continue;
            }
            {
                std::unique_lock lock(readyMutex_);
                // Never for ever: a producer that gives nothing for kProducerWait (a disk that
                // hangs) gets no more waits, and silence stands in for what it has not made.
                const auto wait = producerLate_ ? std::chrono::milliseconds(0) : kProducerWait;
                const bool ready = readyCv_.wait_for(lock, wait, [&] { return !ready_.empty() || producerDone_; });
                if (!ready && !producerLate_) {
                    producerLate_ = true;
                    std::fprintf(stderr, "korvella: sound file %s: samples late, silence meanwhile\n", path_.c_str());
                }
                if (ready_.empty()) {
                    std::fill(out, out + frames * ch, std::int16_t{0});
                    return;
                }
                spare_.push_back(std::move(current_));
                current_ = std::move(ready_.front());
                ready_.pop_front();
                readyFrames_ -= current_.size() / ch;
                currentPos_ = 0;
            }
            readyCv_.notify_all();
        }
    }

private:
    // The producing thread: the kept samples when the cache has this conversion, else the
    // conversion, kept when it has run to the file's end.
    void produce() {
        std::size_t delivered = 0;
        if (gKeyHook) gKeyHook();
        // The key from the file the samples come from, whatever has its name by now.
        const std::optional<wave_file_cache::Key> key =
            cacheable_ ? wave_file_cache::keyFor(fd_, rate_, channels_) : std::nullopt;
        if (key) {
            if (auto entry = wave_file_cache::Reader::open(*key, channels_)) {
                // A block that fails its check or cannot be read: converted from the start, the
                // frames already delivered skipped, and the entry replaced.
                if (fromCache(*entry, delivered)) return;
            }
        }
        std::optional<wave_file_cache::Writer> writer =
            key ? wave_file_cache::Writer::begin(*key, channels_) : std::nullopt;
        const auto ch = static_cast<std::size_t>(channels_);
        for (;;) {
            if (!waitForRoom()) return;
            if (!refill()) break;
            if (outAvail_ == 0) continue;
            std::vector<std::int16_t> buf = takeBuffer(outAvail_ * ch);
            floatsToShorts(outBuf_.data(), buf.data(), outAvail_ * ch);
            if (writer) writer->append(buf.data(), outAvail_);
            const std::size_t skip = std::min(delivered, outAvail_);
            delivered -= skip;
            buf.erase(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(skip * ch));
            outAvail_ = 0;
            if (!buf.empty()) push(std::move(buf));
        }
        finish();
        // Kept only when the whole file went through and it did not change meanwhile.
        if (writer && !convertFailed_ && framesRead_ == fileFrames_ && wave_file_cache::sourceUnchanged(fd_, *key))
            writer->commit();
    }

    // Delivers a checked cache entry; false on a read failure (`delivered` frames went out).
    bool fromCache(wave_file_cache::Reader& entry, std::size_t& delivered) {
        const auto ch = static_cast<std::size_t>(channels_);
        for (;;) {
            if (!waitForRoom()) return true;
            std::vector<std::int16_t> buf = takeBuffer(kCacheChunkFrames * ch);
            std::size_t got = 0;
            if (!entry.read(buf.data(), kCacheChunkFrames, got)) return false;
            if (got == 0) {
                finish();
                return true;
            }
            buf.resize(got * ch);
            delivered += got;
            push(std::move(buf));
        }
    }

    // False when the reader is going.
    bool waitForRoom() {
        std::unique_lock lock(readyMutex_);
        readyCv_.wait(lock, [&] { return stop_ || readyFrames_ < kAheadFrames; });
        return !stop_;
    }

    // A buffer of `samples` samples: one the caller has finished with, or a new one.
    std::vector<std::int16_t> takeBuffer(std::size_t samples) {
        std::vector<std::int16_t> buf;
        {
            std::lock_guard lock(readyMutex_);
            if (!spare_.empty()) {
                buf = std::move(spare_.back());
                spare_.pop_back();
            }
        }
        buf.resize(samples);
        return buf;
    }

    void push(std::vector<std::int16_t>&& buf) {
        {
            std::lock_guard lock(readyMutex_);
            readyFrames_ += buf.size() / static_cast<std::size_t>(channels_);
            ready_.push_back(std::move(buf));
        }
        readyCv_.notify_all();
    }

    void finish() {
        {
            std::lock_guard lock(readyMutex_);
            producerDone_ = true;
        }
        readyCv_.notify_all();
    }

    // The 16-bit file read straight into the caller's frames, over its end again when looping.
    void readDirect(std::int16_t* out, std::size_t frames) {
        const auto ch = static_cast<std::size_t>(channels_);
        while (frames > 0) {
            if (finished_) {
                std::fill(out, out + frames * ch, std::int16_t{0});
                return;
            }
            sf_count_t n = sf_readf_short(file_, out, static_cast<sf_count_t>(frames));
            if (n <= 0 && loop_ && framesRead_ > 0 && sf_seek(file_, 0, SEEK_SET) == 0)
                n = sf_readf_short(file_, out, static_cast<sf_count_t>(frames));
            if (n <= 0) {
                finished_ = true;
                continue;
            }
            framesRead_ += static_cast<std::uint64_t>(n);
            out += static_cast<std::size_t>(n) * ch;
            frames -= static_cast<std::size_t>(n);
        }
    }

    // Reads the next chunk of the file into inBuf_, mixed to the asked channels.
    void readChunk() {
        const auto fch = static_cast<std::size_t>(fileChannels_);
        const auto ch = static_cast<std::size_t>(channels_);
        // In the asked channel count the file is read straight to where the converter reads it.
        float* to = fch == ch ? inBuf_.data() : fileBuf_.data();
        sf_count_t n = sf_readf_float(file_, to, kChunkFrames);
        if (n <= 0 && loop_ && framesRead_ > 0 && sf_seek(file_, 0, SEEK_SET) == 0) {
            n = sf_readf_float(file_, to, kChunkFrames);
        }
        if (n <= 0) {
            fileEnded_ = true;
            return;
        }
        framesRead_ += static_cast<std::uint64_t>(n);
        inPos_ = 0;
        inAvail_ = static_cast<std::size_t>(n);
        if (fch == ch) return;
        for (std::size_t f = 0; f < static_cast<std::size_t>(n); ++f) {
            const float* in = fileBuf_.data() + f * fch;
            float* o = inBuf_.data() + f * ch;
            if (fch == 1) {
                std::fill(o, o + ch, in[0]);
            } else if (ch == 1) {
                float sum = 0;
                for (std::size_t c = 0; c < fch; ++c) sum += in[c];
                o[0] = sum / static_cast<float>(fch);
            } else {
                o[0] = in[0];
                o[1] = in[1];
            }
        }
    }

    // Makes output available in outBuf_; false when nothing more will come.
    bool refill() {
        if (inAvail_ == 0 && !fileEnded_) readChunk();
        const auto ch = static_cast<std::size_t>(channels_);
        if (!src_) {
            if (inAvail_ == 0) return false;
            std::copy(inBuf_.begin(), inBuf_.begin() + static_cast<std::ptrdiff_t>(inAvail_ * ch), outBuf_.begin());
            outAvail_ = inAvail_;
            inAvail_ = 0;
            return true;
        }
        SRC_DATA d{};
        d.data_in = inBuf_.data() + inPos_ * ch;
        d.input_frames = static_cast<long>(inAvail_);
        d.data_out = outBuf_.data();
        d.output_frames = static_cast<long>(outBuf_.size() / ch);
        d.end_of_input = fileEnded_ ? 1 : 0;
        d.src_ratio = ratio_;
        if (src_process(src_, &d) != 0) {
            convertFailed_ = true;
            return false;
        }
        inPos_ += static_cast<std::size_t>(d.input_frames_used);
        inAvail_ -= static_cast<std::size_t>(d.input_frames_used);
        outAvail_ = static_cast<std::size_t>(d.output_frames_gen);
        return !(outAvail_ == 0 && fileEnded_ && inAvail_ == 0);
    }

    std::string path_;
    int fd_ = -1;  // the open file, owned by file_
    std::uint32_t rate_ = 0;
    SNDFILE* file_ = nullptr;
    SRC_STATE* src_ = nullptr;
    double ratio_ = 1.0;
    std::uint64_t fileFrames_ = 0;
    int fileChannels_ = 1;
    int channels_ = 1;
    bool loop_ = false;
    bool fileEnded_ = false;
    bool finished_ = false;  // the direct path's end
    bool direct_ = false;
    bool cacheable_ = false;
    bool convertFailed_ = false;
    std::uint64_t framesRead_ = 0;
    std::vector<float> fileBuf_, inBuf_, outBuf_;
    std::size_t inPos_ = 0, inAvail_ = 0, outAvail_ = 0;

    // About 2.6 s at 50 kHz: enough that the caller never waits once it has started.
    static constexpr std::size_t kAheadFrames = std::size_t{1} << 17;
    static constexpr std::size_t kCacheChunkFrames = 16384;
    std::mutex readyMutex_;
    std::condition_variable readyCv_;
    std::deque<std::vector<std::int16_t>> ready_;
    std::vector<std::vector<std::int16_t>> spare_;  // buffers the caller is done with, for the producer
    std::size_t readyFrames_ = 0;
    bool producerDone_ = false;
    bool producerLate_ = false;  // the caller's only
    static constexpr std::chrono::milliseconds kProducerWait{3000};
    bool stop_ = false;
    std::vector<std::int16_t> current_;
    std::size_t currentPos_ = 0;
    std::thread worker_;  // last: started when everything above is in place
};

}  // namespace

struct SoundFileWaveIn::Stream final : WaveInStream, ClockedDriver::Client {
    Stream(std::shared_ptr<SoundFileWaveIn> owner, WaveInSink& sink, std::uint16_t channels)
        : owner_(std::move(owner)), sink_(sink), channels_(channels) {}

    ~Stream() override {
        driver_.reset();  // no more runs before the reader goes
        std::lock_guard lock(owner_->mutex_);
        owner_->open_ = false;
    }

    MMRESULT start() override {
        const std::int64_t t0 = driver_->start();
        if (!reported_) {
            reported_ = true;
            owner_->reportInputStart(t0);
        }
        return MMSYSERR_NOERROR;
    }
    void stop() override { driver_->stop(); }
    void beforeQueue() override { driver_->catchUp(); }
    void afterQueue() override { driver_->reschedule(); }

    std::optional<std::uint64_t> framesToEvent() override { return sink_.framesToFill(); }
    void run(std::uint64_t frames) override {
        buf_.resize(kChunkFrames * channels_);
        while (frames > 0) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(frames, kChunkFrames));
            reader_.read(buf_.data(), n);
            sink_.deliver(buf_.data(), n);
            frames -= n;
        }
    }

    std::shared_ptr<SoundFileWaveIn> owner_;
    WaveInSink& sink_;
    std::size_t channels_;
    SoundFileReader reader_;
    std::vector<std::int16_t> buf_;
    bool reported_ = false;
    std::unique_ptr<ClockedDriver> driver_;  // last: goes first
};

SoundFileWaveIn::SoundFileWaveIn(std::string path, bool loop) : path_(std::move(path)), loop_(loop) {}

SoundFileWaveIn::~SoundFileWaveIn() = default;

std::string SoundFileWaveIn::name() const {
    return "File: " + std::filesystem::path(path_).filename().string();
}

bool SoundFileWaveIn::isOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

namespace {

// Opens the sound file as every file the program reads is opened (never waiting on a pipe or a
// device); -1 with the reason in error.
int openSoundFile(const std::string& path, std::string& error) {
    if (path.empty()) {
        error = "No sound file named";
        return -1;
    }
    try {
        return openFileForReading(path);
    } catch (const VbError& e) {
        const std::string reason = lastSystemReason();
        if (e.number() == 53 || e.number() == 76)
            error = "Sound file not found: " + path;
        else if (e.number() == 75 && !reason.empty())
            error = "Sound file cannot be read: " + path + " " + reason;
        else
            error = "Sound file cannot be read: " + path + " (" + (reason.empty() ? e.description() : reason) + ")";
        return -1;
    }
}

// Checks that the open file can be played.
MMRESULT checkSoundFile(int fd, const std::string& path, std::string& error) {
    ::lseek(fd, 0, SEEK_SET);
    SF_INFO info{};
    SNDFILE* f = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
    if (!f) {
        const int code = sf_error(nullptr);
        if (code == SF_ERR_SYSTEM) {
            error = "Sound file cannot be read: " + path + " (" + sf_strerror(nullptr) + ")";
            return MMSYSERR_NODRIVER;
        }
        error = "Not a sound file: " + path + " (" + sf_strerror(nullptr) + ")";
        return MMSYSERR_ERROR;
    }
    MMRESULT result = MMSYSERR_NOERROR;
    std::string detail;
    if (info.frames <= 0 || info.channels < 1) {
        error = "Sound file holds no sound: " + path;
        result = MMSYSERR_ERROR;
    } else if (info.samplerate < 1000 || info.samplerate > 768000) {
        error = "Sound file " + path + " has an unusable sample rate (" + std::to_string(info.samplerate) + ")";
        result = MMSYSERR_ERROR;
    } else if (logShowsTruncatedData(f, detail)) {
        error = "Sound file is truncated: " + path + " (" + detail + ")";
        result = MMSYSERR_ERROR;
    } else {
        // A compressed stream cut short only shows when its last frame cannot be reached.
        std::vector<float> one(static_cast<std::size_t>(info.channels));
        if (sf_seek(f, info.frames - 1, SEEK_SET) < 0 || sf_readf_float(f, one.data(), 1) != 1) {
            error = "Sound file is truncated: " + path + " (it ends before its " + std::to_string(info.frames) +
                    " frames)";
            result = MMSYSERR_ERROR;
        }
    }
    sf_close(f);
    return result;
}

}  // namespace

MMRESULT SoundFileWaveIn::check(std::string& error) const {
    const int fd = openSoundFile(path_, error);
    if (fd < 0) return MMSYSERR_NODRIVER;
    const MMRESULT r = checkSoundFile(fd, path_, error);
    ::close(fd);
    return r;
}

MMRESULT SoundFileWaveIn::open(const WAVEFORMATEX& format, WaveInSink& sink, std::unique_ptr<WaveInStream>& stream,
                               std::string& error) {
    {
        std::lock_guard lock(mutex_);
        if (open_) {
            error = name() + " is already open";
            return MMSYSERR_ALLOCATED;
        }
    }
    // One open file for the check, the samples and their cache key.
    const int fd = openSoundFile(path_, error);
    if (fd < 0) return MMSYSERR_NODRIVER;
    if (const MMRESULT r = checkSoundFile(fd, path_, error); r != MMSYSERR_NOERROR) {
        ::close(fd);
        return r;
    }
    // Copies: the format record is packed, and its fields must not be bound to references.
    const int channels = format.nChannels;
    const std::uint32_t rate = format.nSamplesPerSec;
    auto s = std::make_unique<Stream>(shared_from_this(), sink, channels);
    if (const MMRESULT r = s->reader_.open(fd, path_, rate, channels, loop_, error);
        r != MMSYSERR_NOERROR) {
        return r;
    }
    {
        std::lock_guard lock(mutex_);
        open_ = true;
    }
    s->driver_ = std::make_unique<ClockedDriver>(*s, rate);
    stream = std::move(s);
    return MMSYSERR_NOERROR;
}

void setSoundFileKeyHook(std::function<void()> hook) { gKeyHook = std::move(hook); }

std::shared_ptr<SoundFileWaveIn> soundFileDeviceFromEnvironment() {
    const char* path = std::getenv("KORVELLA_INPUT_FILE");
    if (!path || !*path) return nullptr;
    const char* loop = std::getenv("KORVELLA_INPUT_LOOP");
    return std::make_shared<SoundFileWaveIn>(path, loop && *loop && std::strcmp(loop, "0") != 0);
}

bool writeSoundFile(const std::string& path, const std::vector<std::int16_t>& interleaved, int channels, int rate,
                    std::string* error) {
    if (channels < 1 || rate < 1) {
        if (error) *error = "bad channel count or rate";
        return false;
    }
    const std::string ext = lower(std::filesystem::path(path).extension().string());
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    if (ext == ".flac") {
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    } else if (ext == ".ogg" || ext == ".oga") {
        info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    } else if (ext == ".aiff" || ext == ".aif") {
        info.format = SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
    } else if (ext == ".au") {
        info.format = SF_FORMAT_AU | SF_FORMAT_PCM_16;
    } else {
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    }
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) {
        if (error) *error = std::string("cannot write ") + path + ": " + sf_strerror(nullptr);
        return false;
    }
    const auto frames = static_cast<sf_count_t>(interleaved.size() / static_cast<std::size_t>(channels));
    const sf_count_t written = sf_writef_short(f, interleaved.data(), frames);
    const int closeErr = sf_close(f);
    if (written != frames || closeErr != 0) {
        if (error) *error = "short write to " + path;
        return false;
    }
    return true;
}

}  // namespace platform
