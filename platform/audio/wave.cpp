#include "platform/audio/wave.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <new>
#include <vector>

#include "platform/audio/wave_file.h"
#include "platform/audio/wave_portaudio.h"
#include "platform/loop/eventloop.h"

namespace platform {

namespace {

// ---- Last error ----------------------------------------------------------------------------

std::mutex g_errorMutex;
std::string g_lastError;

void setLastError(std::string text) {
    std::lock_guard lock(g_errorMutex);
    g_lastError = std::move(text);
}

MMRESULT fail(MMRESULT code, const std::string& call, const std::string& detail = {}) {
    setLastError(call + ": " + (detail.empty() ? waveErrorText(code) : detail));
    return code;
}

// ---- Device lists --------------------------------------------------------------------------

bool systemDevicesByDefault() {
    const char* off = std::getenv("KORVELLA_NO_SYSTEM_AUDIO");
    return !(off && *off && std::strcmp(off, "0") != 0);
}

struct DeviceLists {
    std::mutex mutex;
    bool envRead = false;
    std::shared_ptr<WaveInDevice> envDevice;
    std::vector<std::shared_ptr<WaveInDevice>> addedIn;
    std::vector<std::shared_ptr<WaveOutDevice>> addedOut;
    bool systemEnabled = systemDevicesByDefault();
    bool systemScanned = false;
    // The machine's devices may have changed: read them again at the next query that may.
    bool systemStale = false;
    std::vector<std::shared_ptr<WaveInDevice>> systemIn;
    std::vector<std::shared_ptr<WaveOutDevice>> systemOut;

    std::chrono::steady_clock::time_point lastScan{};

    void prepareLocked();
    bool handleOpenLocked() const;
};

DeviceLists& lists() {
    static DeviceLists l;
    return l;
}

bool systemDevicesListed() {
    auto& l = lists();
    std::lock_guard lock(l.mutex);
    return l.systemEnabled;
}

void markSystemDevicesStale() {
    auto& l = lists();
    std::lock_guard lock(l.mutex);
    l.systemStale = true;
}

std::vector<std::shared_ptr<WaveInDevice>> inputDevices() {
    auto& l = lists();
    std::lock_guard lock(l.mutex);
    l.prepareLocked();
    std::vector<std::shared_ptr<WaveInDevice>> all;
    if (l.envDevice) all.push_back(l.envDevice);
    all.insert(all.end(), l.addedIn.begin(), l.addedIn.end());
    if (l.systemEnabled) all.insert(all.end(), l.systemIn.begin(), l.systemIn.end());
    return all;
}

std::size_t inputDeviceCount() {
    auto& l = lists();
    std::lock_guard lock(l.mutex);
    l.prepareLocked();
    return (l.envDevice ? 1 : 0) + l.addedIn.size() + (l.systemEnabled ? l.systemIn.size() : 0);
}

std::vector<std::shared_ptr<WaveOutDevice>> outputDevices() {
    auto& l = lists();
    std::lock_guard lock(l.mutex);
    l.prepareLocked();
    std::vector<std::shared_ptr<WaveOutDevice>> all = l.addedOut;
    if (l.systemEnabled) all.insert(all.end(), l.systemOut.begin(), l.systemOut.end());
    return all;
}

// ---- Common checks -------------------------------------------------------------------------

bool headerSizeOk(UINT size) { return size >= WAVEHDR_SIZE32; }

MMRESULT checkFormat(const WAVEFORMATEX& f, std::uint16_t maxChannels, std::string& why) {
    if (f.wFormatTag != WAVE_FORMAT_PCM) {
        why = "only PCM is offered (format tag " + std::to_string(f.wFormatTag) + ")";
    } else if (f.wBitsPerSample != 16) {
        why = "only 16 bits per sample are offered (asked " + std::to_string(f.wBitsPerSample) + ")";
    } else if (f.nChannels < 1 || f.nChannels > maxChannels) {
        why = "the device offers 1 to " + std::to_string(maxChannels) + " channels (asked " +
              std::to_string(f.nChannels) + ")";
    } else if (f.nSamplesPerSec < 1000 || f.nSamplesPerSec > 384000) {
        why = "rate " + std::to_string(f.nSamplesPerSec) + " outside 1000 to 384000 samples/s";
    } else if (f.nBlockAlign != f.nChannels * 2u ||
               f.nAvgBytesPerSec != static_cast<std::uint32_t>(f.nBlockAlign) * f.nSamplesPerSec) {
        why = "block align or bytes per second do not match channels and rate";
    } else {
        return MMSYSERR_NOERROR;
    }
    return WAVERR_BADFORMAT;
}

MMRESULT checkCallback(std::uint32_t flags, DWORD_PTR callback, HWND& hwnd) {
    const std::uint32_t type = flags & CALLBACK_TYPEMASK;
    if (type == CALLBACK_NULL) {
        hwnd = 0;
        return MMSYSERR_NOERROR;
    }
    if (type != CALLBACK_WINDOW) return MMSYSERR_INVALFLAG;
    hwnd = static_cast<HWND>(callback);
    return MMSYSERR_NOERROR;
}

std::uint32_t formatBits(std::uint16_t channels) {
    std::uint32_t bits = WAVE_FORMAT_1M16 | WAVE_FORMAT_2M16 | WAVE_FORMAT_4M16;
    if (channels >= 2) bits |= WAVE_FORMAT_1S16 | WAVE_FORMAT_2S16 | WAVE_FORMAT_4S16;
    return bits;
}

// Where the notifications of one handle go. The registry is taken at open, so that a device
// thread never has to find it.
struct Notifier {
    WindowRegistry* registry = nullptr;
    HWND hwnd = 0;
    void post(UINT msg, WPARAM wParam, LPARAM lParam) const {
        if (registry && hwnd) registry->postMessage(hwnd, msg, wParam, lParam);
    }
};

Notifier makeNotifier(HWND hwnd) {
    Notifier n;
    n.hwnd = hwnd;
    if (hwnd) {
        try {
            n.registry = &WindowRegistry::current();
        } catch (const std::exception&) {
            n.registry = nullptr;
        }
    }
    return n;
}

std::size_t capacityOf(const WAVEHDR* h, std::uint16_t blockAlign) {
    return h->dwBufferLength / blockAlign * blockAlign;
}

// ---- Open handles --------------------------------------------------------------------------

// What an open handle of either direction keeps: its device and backend, the buffers queued in
// order, and where their notifications go.
template <class Device, class Backend>
struct OpenHandle {
    OpenHandle(std::int32_t handle, Notifier notifier, const WAVEFORMATEX& format, std::shared_ptr<Device> dev)
        : handle_(handle), notifier_(notifier), format_(format), device(std::move(dev)) {}

    // Frames of the head buffer past its first used bytes.
    std::uint64_t headFramesLeftLocked(std::size_t used) const {
        return (capacityOf(queue.front(), format_.nBlockAlign) - used) / format_.nBlockAlign;
    }

    // The head buffer marked done and handed back with msg.
    void returnHeadLocked(UINT msg) {
        WAVEHDR* h = queue.front();
        queue.pop_front();
        // Published last, so that a program polling WHDR_DONE sees the samples and the count.
        std::atomic_ref<std::uint32_t>(h->dwFlags).store((h->dwFlags | WHDR_DONE) & ~WHDR_INQUEUE,
                                                         std::memory_order_release);
        notifier_.post(msg, static_cast<WPARAM>(handle_), reinterpret_cast<LPARAM>(h));
    }

    const std::int32_t handle_;
    const Notifier notifier_;
    const WAVEFORMATEX format_;
    std::shared_ptr<Device> device;
    std::unique_ptr<Backend> backend;
    mutable std::mutex mutex;
    std::deque<WAVEHDR*> queue;
};

void tellNotice(const WaveInNotice& notice);

class InStream final : public WaveInSink, public OpenHandle<WaveInDevice, WaveInStream> {
public:
    using OpenHandle::OpenHandle;

    void deliver(const std::int16_t* frames, std::size_t count) override {
        std::lock_guard lock(mutex);
        if (!started) return;
        auto src = reinterpret_cast<const char*>(frames);
        std::size_t bytes = count * format_.nBlockAlign;
        while (bytes > 0 && !queue.empty()) {
            WAVEHDR* h = queue.front();
            const std::size_t cap = capacityOf(h, format_.nBlockAlign);
            const std::size_t n = std::min(bytes, cap - fill);
            std::memcpy(h->lpData + fill, src, n);
            fill += n;
            src += n;
            bytes -= n;
            if (fill == cap) completeHeadLocked();
        }
    }

    std::optional<std::uint64_t> framesToFill() const override {
        std::lock_guard lock(mutex);
        if (queue.empty() || !started) return std::nullopt;
        return headFramesLeftLocked(fill);
    }

    void completeHeadLocked() {
        queue.front()->dwBytesRecorded = static_cast<std::uint32_t>(fill);
        fill = 0;
        returnHeadLocked(MM_WIM_DATA);
    }

    void overflowed() override { overflows.fetch_add(1, std::memory_order_relaxed); }

    void lost(const std::string& why) override {
        deviceLost = true;
        markSystemDevicesStale();
        notice(true, why);
    }

    void restored(const std::string& device) override {
        deviceLost = false;
        notice(false, device + " delivers again");
    }

    // Told on the loop's thread that opened the handle.
    void notice(bool isLost, std::string text) {
        WaveInNotice n{handle_, isLost, std::move(text)};
        if (loop)
            loop->post([n] { tellNotice(n); });
        else
            tellNotice(n);
    }

    // Stops the device for good (closing, or every handle dropped).
    void releaseBackend() {
        if (backend) backend->stop();
        {
            std::lock_guard lock(mutex);
            started = false;
        }
        backend.reset();
    }

    std::size_t fill = 0;  // bytes in the buffer at the head
    bool started = false;
    std::atomic<bool> deviceLost{false};
    std::atomic<std::uint32_t> overflows{0};
    EventLoop* loop = EventLoop::currentOrNull();
};

class OutStream final : public WaveOutSource, public OpenHandle<WaveOutDevice, WaveOutStream> {
public:
    using OpenHandle::OpenHandle;

    std::size_t take(std::int16_t* dst, std::size_t count) override {
        std::lock_guard lock(mutex);
        std::size_t taken = 0;
        auto out = reinterpret_cast<char*>(dst);
        finishEmptyLocked();
        while (taken < count && !queue.empty()) {
            WAVEHDR* h = queue.front();
            const std::size_t cap = capacityOf(h, format_.nBlockAlign);
            const std::size_t frames = std::min((cap - offset) / format_.nBlockAlign, count - taken);
            const std::size_t bytes = frames * format_.nBlockAlign;
            std::memcpy(out, h->lpData + offset, bytes);
            out += bytes;
            offset += bytes;
            taken += frames;
            if (offset == cap) completeHeadLocked();
            finishEmptyLocked();
        }
        return taken;
    }

    std::optional<std::uint64_t> framesToFinish() const override {
        std::lock_guard lock(mutex);
        if (queue.empty()) return std::nullopt;
        return headFramesLeftLocked(offset);
    }

    void finishEmptyLocked() {
        while (!queue.empty() && capacityOf(queue.front(), format_.nBlockAlign) == 0) completeHeadLocked();
    }

    void completeHeadLocked() {
        offset = 0;
        returnHeadLocked(MM_WOM_DONE);
    }

    void releaseBackend() { backend.reset(); }

    std::size_t offset = 0;  // bytes of the head buffer already played
};

struct Handles {
    std::mutex mutex;
    std::map<std::int32_t, std::shared_ptr<InStream>> in;
    std::map<std::int32_t, std::shared_ptr<OutStream>> out;
    std::int32_t next = 0x7A01;

    std::int32_t allocate() {
        std::lock_guard lock(mutex);
        for (;;) {
            const std::int32_t h = next;
            next = next >= 0x7FFFFFF0 ? 0x7A01 : next + 1;
            if (!in.count(h) && !out.count(h)) return h;
        }
    }
};

Handles& handles() {
    static Handles h;
    return h;
}

std::string handleText(std::int32_t h) { return "handle " + std::to_string(h); }

bool DeviceLists::handleOpenLocked() const {
    auto& t = handles();
    std::lock_guard lock(t.mutex);
    return !t.in.empty() || !t.out.empty();
}

// The device numbers stay as they were while a handle is open (the program compares the count
// with the one at its open), and PortAudio is started again at most once a second.
void DeviceLists::prepareLocked() {
    if (!envRead) {
        envRead = true;
        envDevice = soundFileDeviceFromEnvironment();
    }
    if (!systemEnabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (systemScanned && (!systemStale || now - lastScan < std::chrono::seconds(1) || handleOpenLocked())) return;
    if (systemScanned && !portAudioRestart()) return;
    systemScanned = true;
    lastScan = now;
    systemIn = portAudioInputDevices();
    systemOut = portAudioOutputDevices();
    // Nothing found: a later query looks again (a sound server that starts after the program).
    systemStale = systemIn.empty();
}

std::mutex g_noticeMutex;
std::function<void(const WaveInNotice&)> g_noticeHook;

void tellNotice(const WaveInNotice& notice) {
    std::function<void(const WaveInNotice&)> hook;
    {
        std::lock_guard lock(g_noticeMutex);
        hook = g_noticeHook;
    }
    if (hook) hook(notice);
}

// ---- The steps both directions share -------------------------------------------------------

struct Input {
    using Stream = InStream;
    static constexpr const char* noun = "input";
    static constexpr std::uint16_t productId = 1;
    static constexpr UINT openMessage = MM_WIM_OPEN;
    static constexpr UINT closeMessage = MM_WIM_CLOSE;
    static constexpr const char* stillQueued = " buffers are still queued";
    // A capture buffer takes one frame at least.
    static bool usable(const WAVEHDR& h, std::uint16_t blockAlign) { return h.lpData && h.dwBufferLength >= blockAlign; }
    static std::vector<std::shared_ptr<WaveInDevice>> devices() { return inputDevices(); }
    static std::map<std::int32_t, std::shared_ptr<InStream>>& open(Handles& t) { return t.in; }
};

struct Output {
    using Stream = OutStream;
    static constexpr const char* noun = "output";
    static constexpr std::uint16_t productId = 2;
    static constexpr UINT openMessage = MM_WOM_OPEN;
    static constexpr UINT closeMessage = MM_WOM_CLOSE;
    static constexpr const char* stillQueued = " buffers are still playing";
    // An empty buffer may be played: it comes back as soon as it is reached.
    static bool usable(const WAVEHDR& h, std::uint16_t) { return h.lpData || h.dwBufferLength == 0; }
    static std::vector<std::shared_ptr<WaveOutDevice>> devices() { return outputDevices(); }
    static std::map<std::int32_t, std::shared_ptr<OutStream>>& open(Handles& t) { return t.out; }
};

// The index of a device number (WAVE_MAPPER: the first device) among those present.
MMRESULT pickDevice(UINT device, std::size_t present, const char* noun, const char* call, std::size_t& index) {
    index = device == WAVE_MAPPER ? 0 : device;
    if (index < present) return MMSYSERR_NOERROR;
    return fail(MMSYSERR_BADDEVICEID, call,
                std::string("no ") + noun + " device " + std::to_string(device) + " (" + std::to_string(present) +
                    " present)");
}

// The open handle h, or nothing after a failure of call naming it.
template <class Side>
std::shared_ptr<typename Side::Stream> findOpen(std::int32_t h, const char* call) {
    {
        auto& t = handles();
        std::lock_guard lock(t.mutex);
        const auto& open = Side::open(t);
        if (auto it = open.find(h); it != open.end()) return it->second;
    }
    fail(MMSYSERR_INVALHANDLE, call, handleText(h) + " is not open");
    return nullptr;
}

template <class Side, class Caps>
MMRESULT getDevCaps(UINT device, Caps* caps, UINT size, const char* call) {
    if (!caps) return fail(MMSYSERR_INVALPARAM, call);
    const auto all = Side::devices();
    std::size_t index = 0;
    if (const MMRESULT rc = pickDevice(device, all.size(), Side::noun, call, index); rc != MMSYSERR_NOERROR) return rc;
    Caps c;
    c.wMid = 1;
    c.wPid = Side::productId;
    c.vDriverVersion = 0x0100;
    const std::string name = waveProductName(all[index]->name());
    std::memcpy(c.szPname, name.data(), name.size());
    c.wChannels = all[index]->maxChannels();
    c.dwFormats = formatBits(c.wChannels);
    std::memcpy(caps, &c, std::min<std::size_t>(size, sizeof c));
    return MMSYSERR_NOERROR;
}

template <class Side>
MMRESULT openHandle(std::int32_t* handle, UINT device, const WAVEFORMATEX* format, DWORD_PTR callback,
                    std::uint32_t flags, const char* call) {
    if (handle) *handle = 0;
    HWND hwnd = 0;
    if (checkCallback(flags, callback, hwnd) != MMSYSERR_NOERROR) {
        return fail(MMSYSERR_INVALFLAG, call, "only window callbacks are offered");
    }
    if (!format) return fail(MMSYSERR_INVALPARAM, call, "no format given");
    auto all = Side::devices();
    const std::size_t wanted = device == WAVE_MAPPER ? 0 : device;
    if (wanted >= all.size()) {
        // The device may have come since the list was read (a sound server started later).
        markSystemDevicesStale();
        all = Side::devices();
    }
    if (all.empty()) {
        std::string why = std::string("there is no wave ") + Side::noun + " device";
        if (systemDevicesListed()) why += ": " + portAudioNoDeviceReason();
        return fail(MMSYSERR_NODRIVER, call, why);
    }
    std::size_t index = 0;
    if (const MMRESULT rc = pickDevice(device, all.size(), Side::noun, call, index); rc != MMSYSERR_NOERROR) return rc;
    const auto& dev = all[index];
    std::string why;
    if (checkFormat(*format, dev->maxChannels(), why) != MMSYSERR_NOERROR) {
        return fail(WAVERR_BADFORMAT, call, dev->name() + ": " + why);
    }
    if (flags & WAVE_FORMAT_QUERY) {
        setLastError({});
        return MMSYSERR_NOERROR;
    }
    if (!handle) return fail(MMSYSERR_INVALPARAM, call, "no place for the handle");

    const std::int32_t h = handles().allocate();
    auto stream = std::make_shared<typename Side::Stream>(h, makeNotifier(hwnd), *format, dev);
    MMRESULT rc = MMSYSERR_NOERROR;
    std::string error;
    try {
        rc = dev->open(*format, *stream, stream->backend, error);
    } catch (const std::bad_alloc&) {
        rc = MMSYSERR_NOMEM;
    } catch (const std::exception& e) {
        rc = MMSYSERR_ERROR;
        error = e.what();
    }
    if (rc == MMSYSERR_NOERROR && !stream->backend) rc = MMSYSERR_ERROR;
    if (rc != MMSYSERR_NOERROR) {
        markSystemDevicesStale();  // the machine's devices may be others now
        return fail(rc, call, error.empty() ? dev->name() + ": " + waveErrorText(rc) : error);
    }
    {
        auto& t = handles();
        std::lock_guard lock(t.mutex);
        Side::open(t)[h] = stream;
    }
    *handle = h;
    setLastError({});
    stream->notifier_.post(Side::openMessage, static_cast<WPARAM>(h), 0);
    return MMSYSERR_NOERROR;
}

// Marks a header prepared, or unprepared when it is not queued.
template <class Side>
MMRESULT markPrepared(std::int32_t handle, WAVEHDR* header, UINT size, bool prepared, const char* call) {
    auto s = findOpen<Side>(handle, call);
    if (!s) return MMSYSERR_INVALHANDLE;
    if (!header || !headerSizeOk(size)) return fail(MMSYSERR_INVALPARAM, call);
    std::lock_guard lock(s->mutex);
    if (prepared) {
        header->dwFlags |= WHDR_PREPARED;
    } else {
        if (header->dwFlags & WHDR_INQUEUE) return fail(WAVERR_STILLPLAYING, call);
        header->dwFlags &= ~WHDR_PREPARED;
    }
    return MMSYSERR_NOERROR;
}

// Queues a prepared header that is not queued yet.
template <class Side>
MMRESULT queueHeader(std::int32_t handle, WAVEHDR* header, UINT size, const char* call) {
    auto s = findOpen<Side>(handle, call);
    if (!s) return MMSYSERR_INVALHANDLE;
    if (!header || !headerSizeOk(size) || !Side::usable(*header, s->format_.nBlockAlign)) {
        return fail(MMSYSERR_INVALPARAM, call);
    }
    {
        std::lock_guard lock(s->mutex);
        if (!(header->dwFlags & WHDR_PREPARED)) return fail(WAVERR_UNPREPARED, call);
        if (header->dwFlags & WHDR_INQUEUE) return fail(WAVERR_STILLPLAYING, call, "the buffer is already queued");
    }
    s->backend->beforeQueue();
    {
        std::lock_guard lock(s->mutex);
        header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
        header->lpNext = nullptr;
        s->queue.push_back(header);
    }
    s->backend->afterQueue();
    return MMSYSERR_NOERROR;
}

template <class Side>
MMRESULT closeHandle(std::int32_t handle, const char* call) {
    auto s = findOpen<Side>(handle, call);
    if (!s) return MMSYSERR_INVALHANDLE;
    {
        std::lock_guard lock(s->mutex);
        if (!s->queue.empty()) return fail(WAVERR_STILLPLAYING, call, std::to_string(s->queue.size()) + Side::stillQueued);
    }
    {
        auto& t = handles();
        std::lock_guard lock(t.mutex);
        Side::open(t).erase(handle);
    }
    s->releaseBackend();
    s->notifier_.post(Side::closeMessage, static_cast<WPARAM>(handle), 0);
    return MMSYSERR_NOERROR;
}

}  // namespace

// ---- Devices -------------------------------------------------------------------------------

void WaveInDevice::setInputStartHook(std::function<void(std::int64_t)> hook) { inputStartHook_ = std::move(hook); }

void WaveInDevice::reportInputStart(std::int64_t ns) {
    if (inputStartHook_) inputStartHook_(ns);
}

WAVEFORMATEX makePcmFormat(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits) {
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = f.nBlockAlign * rate;
    f.cbSize = 0;
    return f;
}

std::string waveProductName(const std::string& name) {
    if (name.size() < MAXPNAMELEN) return name;
    std::size_t cut = MAXPNAMELEN - 1;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return name.substr(0, cut);
}

UINT addWaveInDevice(std::shared_ptr<WaveInDevice> device) {
    auto& l = lists();
    std::lock_guard lock(l.mutex);
    l.prepareLocked();
    l.addedIn.push_back(std::move(device));
    return static_cast<UINT>(l.addedIn.size() - 1 + (l.envDevice ? 1 : 0));
}

UINT addWaveOutDevice(std::shared_ptr<WaveOutDevice> device) {
    auto& l = lists();
    std::lock_guard lock(l.mutex);
    l.addedOut.push_back(std::move(device));
    return static_cast<UINT>(l.addedOut.size() - 1);
}

void removeWaveInDevice(const std::shared_ptr<WaveInDevice>& device) {
    auto& l = lists();
    std::lock_guard lock(l.mutex);
    std::erase(l.addedIn, device);
    if (l.envDevice == device) l.envDevice.reset();
}

void removeWaveOutDevice(const std::shared_ptr<WaveOutDevice>& device) {
    auto& l = lists();
    std::lock_guard lock(l.mutex);
    std::erase(l.addedOut, device);
}

void setSystemWaveDevices(bool enabled) {
    auto& l = lists();
    std::lock_guard lock(l.mutex);
    l.systemEnabled = enabled;
}

void resetWaveDevices() {
    std::map<std::int32_t, std::shared_ptr<InStream>> in;
    std::map<std::int32_t, std::shared_ptr<OutStream>> out;
    {
        auto& t = handles();
        std::lock_guard lock(t.mutex);
        in.swap(t.in);
        out.swap(t.out);
    }
    // Backends stop (and their threads end) outside every lock of ours.
    for (auto& [h, s] : in) s->releaseBackend();
    for (auto& [h, s] : out) s->releaseBackend();
    {
        auto& l = lists();
        std::lock_guard lock(l.mutex);
        l.addedIn.clear();
        l.addedOut.clear();
        l.envRead = false;
        l.envDevice.reset();
    }
    setLastError({});
}

bool waveInIsSystemDefault(UINT device) {
    const auto all = inputDevices();
    return device < all.size() && all[device]->systemDefault();
}

void setWaveInNoticeHook(std::function<void(const WaveInNotice&)> hook) {
    std::lock_guard lock(g_noticeMutex);
    g_noticeHook = std::move(hook);
}

bool waveInDeviceLost(HWAVEIN handle) {
    auto& t = handles();
    std::lock_guard lock(t.mutex);
    auto it = t.in.find(handle);
    return it != t.in.end() && it->second->deviceLost;
}

std::uint32_t waveInTakeOverflows(HWAVEIN handle) {
    std::shared_ptr<InStream> s;
    {
        auto& t = handles();
        std::lock_guard lock(t.mutex);
        auto it = t.in.find(handle);
        if (it == t.in.end()) return 0;
        s = it->second;
    }
    return s->overflows.exchange(0, std::memory_order_relaxed);
}

std::size_t openWaveHandleCount() {
    auto& t = handles();
    std::lock_guard lock(t.mutex);
    return t.in.size() + t.out.size();
}

std::string waveErrorText(MMRESULT code) {
    switch (code) {
    case MMSYSERR_NOERROR: return "The command was successful.";
    case MMSYSERR_ERROR: return "An unspecified error occurred.";
    case MMSYSERR_BADDEVICEID: return "The device identifier is out of range.";
    case MMSYSERR_NOTENABLED: return "The driver failed enable.";
    case MMSYSERR_ALLOCATED: return "The specified device is already in use.";
    case MMSYSERR_INVALHANDLE: return "The device handle is invalid.";
    case MMSYSERR_NODRIVER: return "There is no driver installed on your system.";
    case MMSYSERR_NOMEM: return "There is not enough memory available for this task.";
    case MMSYSERR_NOTSUPPORTED: return "This function is not supported.";
    case MMSYSERR_INVALFLAG: return "An invalid flag was passed to a system function.";
    case MMSYSERR_INVALPARAM: return "An invalid parameter was passed to a system function.";
    case WAVERR_BADFORMAT: return "The specified format is not supported or cannot be translated.";
    case WAVERR_STILLPLAYING: return "Cannot perform this operation while media data is still playing.";
    case WAVERR_UNPREPARED: return "The wave header was not prepared.";
    default: return "Unknown error " + std::to_string(code) + ".";
    }
}

std::string waveLastErrorText() {
    std::lock_guard lock(g_errorMutex);
    return g_lastError;
}

// ---- Input ---------------------------------------------------------------------------------

UINT waveInGetNumDevs() { return static_cast<UINT>(inputDeviceCount()); }

MMRESULT waveInGetDevCapsA(UINT device, WAVEINCAPSA* caps, UINT size) {
    return getDevCaps<Input>(device, caps, size, "waveInGetDevCaps");
}

MMRESULT waveInOpen(HWAVEIN* handle, UINT device, const WAVEFORMATEX* format, DWORD_PTR callback,
                    DWORD_PTR /*instance*/, std::uint32_t flags) {
    return openHandle<Input>(handle, device, format, callback, flags, "waveInOpen");
}

MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) {
    return markPrepared<Input>(handle, header, size, true, "waveInPrepareHeader");
}

MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) {
    return markPrepared<Input>(handle, header, size, false, "waveInUnprepareHeader");
}

MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size) {
    return queueHeader<Input>(handle, header, size, "waveInAddBuffer");
}

MMRESULT waveInStart(HWAVEIN handle) {
    auto s = findOpen<Input>(handle, "waveInStart");
    if (!s) return MMSYSERR_INVALHANDLE;
    {
        std::lock_guard lock(s->mutex);
        if (s->started) return MMSYSERR_NOERROR;
        s->started = true;
    }
    const MMRESULT rc = s->backend->start();
    if (rc != MMSYSERR_NOERROR) {
        std::lock_guard lock(s->mutex);
        s->started = false;
        return fail(rc, "waveInStart", s->device->name() + ": " + waveErrorText(rc));
    }
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStop(HWAVEIN handle) {
    auto s = findOpen<Input>(handle, "waveInStop");
    if (!s) return MMSYSERR_INVALHANDLE;
    s->backend->stop();
    std::lock_guard lock(s->mutex);
    s->started = false;
    if (!s->queue.empty() && s->fill > 0) s->completeHeadLocked();
    return MMSYSERR_NOERROR;
}

MMRESULT waveInReset(HWAVEIN handle) {
    auto s = findOpen<Input>(handle, "waveInReset");
    if (!s) return MMSYSERR_INVALHANDLE;
    s->backend->stop();
    std::lock_guard lock(s->mutex);
    s->started = false;
    while (!s->queue.empty()) s->completeHeadLocked();
    return MMSYSERR_NOERROR;
}

MMRESULT waveInClose(HWAVEIN handle) { return closeHandle<Input>(handle, "waveInClose"); }

// ---- Output --------------------------------------------------------------------------------

UINT waveOutGetNumDevs() { return static_cast<UINT>(outputDevices().size()); }

MMRESULT waveOutGetDevCapsA(UINT device, WAVEOUTCAPSA* caps, UINT size) {
    return getDevCaps<Output>(device, caps, size, "waveOutGetDevCaps");
}

MMRESULT waveOutOpen(HWAVEOUT* handle, UINT device, const WAVEFORMATEX* format, DWORD_PTR callback,
                     DWORD_PTR /*instance*/, std::uint32_t flags) {
    return openHandle<Output>(handle, device, format, callback, flags, "waveOutOpen");
}

MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    return markPrepared<Output>(handle, header, size, true, "waveOutPrepareHeader");
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    return markPrepared<Output>(handle, header, size, false, "waveOutUnprepareHeader");
}

MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    return queueHeader<Output>(handle, header, size, "waveOutWrite");
}

MMRESULT waveOutReset(HWAVEOUT handle) {
    auto s = findOpen<Output>(handle, "waveOutReset");
    if (!s) return MMSYSERR_INVALHANDLE;
    s->backend->beforeQueue();
    {
        std::lock_guard lock(s->mutex);
        while (!s->queue.empty()) s->completeHeadLocked();
    }
    s->backend->afterQueue();
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT handle) { return closeHandle<Output>(handle, "waveOutClose"); }

}  // namespace platform
