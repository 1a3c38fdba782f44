// Wave input and output with the calls, buffer headers and window notifications of the
// Windows multimedia interface, over devices of our own: the machine's sound devices
// (PortAudio), a sound-file input, and scripted devices for tests.
//
// Device numbers: input devices are, in this order, the sound file named by the environment
// variable KORVELLA_INPUT_FILE (when set), the devices the program added (addWaveInDevice), then
// the machine's input devices: the system's default input device (the one the desktop's sound
// settings choose) first, then the others in PortAudio's order. Output devices: those added,
// then the machine's, the default first. The machine's devices are looked up on the first query,
// and again on a later one while no handle is open on one of them once the list may have changed:
// an open that found no such device or failed on one, a capture device that was lost.
//
// A machine capture device that stops delivering while open (its sound server went away, the card
// was removed) is noticed within a second: the notice hook is told, and the handle reopens the
// same device with the same settings as soon as it can, by itself; the buffers queued meanwhile
// wait for it.
//
// Notifications (CALLBACK_WINDOW) are posted to the callback window and so arrive at the next
// pump of the loop: MM_WIM_OPEN/MM_WOM_OPEN (wParam the handle) on open, MM_WIM_DATA/MM_WOM_DONE
// (wParam the handle, lParam the header's address) for each returned buffer in queue order,
// MM_WIM_CLOSE/MM_WOM_CLOSE on close. A header's dwUser is never touched.
//
// Only 16-bit PCM, one or two channels, is offered; rates from 1000 to 384000 samples/s. A device
// that does not run at the asked rate converts (libsamplerate).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/audio/wave_types.h"

namespace platform {

using HWAVEIN = std::int32_t;
using HWAVEOUT = std::int32_t;

inline constexpr UINT WAVE_MAPPER = 0xFFFFFFFFu;
inline constexpr std::uint32_t CALLBACK_NULL = 0x00000;
inline constexpr std::uint32_t CALLBACK_WINDOW = 0x10000;
inline constexpr std::uint32_t CALLBACK_TYPEMASK = 0x70000;
inline constexpr std::uint32_t WAVE_FORMAT_QUERY = 0x0001;
inline constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

inline constexpr std::uint32_t WHDR_DONE = 0x01;
inline constexpr std::uint32_t WHDR_PREPARED = 0x02;
inline constexpr std::uint32_t WHDR_BEGINLOOP = 0x04;
inline constexpr std::uint32_t WHDR_ENDLOOP = 0x08;
inline constexpr std::uint32_t WHDR_INQUEUE = 0x10;

// Standard format bits of the capabilities (rate 11025/22050/44100 x mono/stereo x 8/16 bits).
inline constexpr std::uint32_t WAVE_FORMAT_1M16 = 0x004;
inline constexpr std::uint32_t WAVE_FORMAT_1S16 = 0x008;
inline constexpr std::uint32_t WAVE_FORMAT_2M16 = 0x040;
inline constexpr std::uint32_t WAVE_FORMAT_2S16 = 0x080;
inline constexpr std::uint32_t WAVE_FORMAT_4M16 = 0x400;
inline constexpr std::uint32_t WAVE_FORMAT_4S16 = 0x800;

// The size the program passes for a header (the 32-bit layout); sizeof(WAVEHDR) is accepted too.
inline constexpr UINT WAVEHDR_SIZE32 = 32;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    std::uint16_t wFormatTag = 0;
    std::uint16_t nChannels = 0;
    std::uint32_t nSamplesPerSec = 0;
    std::uint32_t nAvgBytesPerSec = 0;
    std::uint16_t nBlockAlign = 0;
    std::uint16_t wBitsPerSample = 0;
    std::uint16_t cbSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

struct WAVEHDR {
    char* lpData = nullptr;
    std::uint32_t dwBufferLength = 0;
    std::uint32_t dwBytesRecorded = 0;
    DWORD_PTR dwUser = 0;
    std::uint32_t dwFlags = 0;
    std::uint32_t dwLoops = 0;
    WAVEHDR* lpNext = nullptr;
    DWORD_PTR reserved = 0;
};

inline constexpr std::size_t MAXPNAMELEN = 32;

struct WAVEINCAPSA {
    std::uint16_t wMid = 0;
    std::uint16_t wPid = 0;
    std::uint32_t vDriverVersion = 0;
    char szPname[MAXPNAMELEN] = {};
    std::uint32_t dwFormats = 0;
    std::uint16_t wChannels = 0;
    std::uint16_t wReserved1 = 0;
};
static_assert(sizeof(WAVEINCAPSA) == 48);

struct WAVEOUTCAPSA {
    std::uint16_t wMid = 0;
    std::uint16_t wPid = 0;
    std::uint32_t vDriverVersion = 0;
    char szPname[MAXPNAMELEN] = {};
    std::uint32_t dwFormats = 0;
    std::uint16_t wChannels = 0;
    std::uint16_t wReserved1 = 0;
    std::uint32_t dwSupport = 0;
};
static_assert(sizeof(WAVEOUTCAPSA) == 52);

// A PCM format record as the program builds it: 16 bits, block align and byte rate derived.
WAVEFORMATEX makePcmFormat(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits = 16);

// ---- Input ---------------------------------------------------------------------------------

UINT waveInGetNumDevs();
MMRESULT waveInGetDevCapsA(UINT device, WAVEINCAPSA* caps, UINT size);
// callback: the window (CALLBACK_WINDOW) or 0 (CALLBACK_NULL). Codes: 2 bad device number,
// 4 device already open, 6 no device at all (or a file that cannot be opened), 7 no memory,
// 32 format not offered, 1 a file that is no usable sound file; waveLastErrorText() says more.
MMRESULT waveInOpen(HWAVEIN* handle, UINT device, const WAVEFORMATEX* format, DWORD_PTR callback,
                    DWORD_PTR instance, std::uint32_t flags);
MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size);
// 33 while the header is queued.
MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size);
// Queues a prepared header (34 when unprepared, 33 when already queued). Buffers fill in queue
// order; a full one gets dwBytesRecorded, WHDR_DONE, loses WHDR_INQUEUE and is posted. The flags
// are stored last (release), so a program may poll them instead of waiting for the message.
MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size);
// Input that arrives with no buffer queued is lost.
MMRESULT waveInStart(HWAVEIN handle);
// Stops; a partly filled buffer is returned, empty queued buffers stay queued.
MMRESULT waveInStop(HWAVEIN handle);
// Stops and returns every queued buffer as done (dwBytesRecorded what it holds, maybe 0).
MMRESULT waveInReset(HWAVEIN handle);
// 33 while a buffer is queued.
MMRESULT waveInClose(HWAVEIN handle);

// ---- Output --------------------------------------------------------------------------------

UINT waveOutGetNumDevs();
MMRESULT waveOutGetDevCapsA(UINT device, WAVEOUTCAPSA* caps, UINT size);
MMRESULT waveOutOpen(HWAVEOUT* handle, UINT device, const WAVEFORMATEX* format, DWORD_PTR callback,
                     DWORD_PTR instance, std::uint32_t flags);
MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size);
MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size);
// Queues a prepared header for playing; played buffers come back with MM_WOM_DONE in order.
// A header shorter than one frame comes back as soon as it is reached.
MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size);
// Stops playing and returns every queued buffer as done.
MMRESULT waveOutReset(HWAVEOUT handle);
MMRESULT waveOutClose(HWAVEOUT handle);

// The standard text of a result code ("The specified device is already in use." ...).
std::string waveErrorText(MMRESULT code);
// What went wrong in the last failing wave call, naming the device or file; empty after a
// successful open.
std::string waveLastErrorText();

// ---- Devices -------------------------------------------------------------------------------

// Where a capture device puts what it captures. Thread-safe; the device's thread calls it.
class WaveInSink {
public:
    virtual ~WaveInSink() = default;
    // Interleaved frames in the open format, copied into the queued buffers in order; each
    // buffer filled is returned. Frames that find no buffer queued are lost.
    virtual void deliver(const std::int16_t* frames, std::size_t count) = 0;
    // Frames still needed to fill the buffer at the head of the queue; nothing while none is queued.
    virtual std::optional<std::uint64_t> framesToFill() const = 0;
    // The device lost input because nothing took it in time (an overflow).
    virtual void overflowed() {}
    // The device stopped delivering (why: the device's name and the reason) ...
    virtual void lost(const std::string& /*why*/) {}
    // ... and delivers again, reopened.
    virtual void restored(const std::string& /*device*/) {}
};

// What a device of either direction tells about itself.
class WaveDevice {
public:
    virtual ~WaveDevice() = default;
    virtual std::string name() const = 0;
    virtual std::uint16_t maxChannels() const { return 2; }
    // The system's default device of its direction (the desktop's choice).
    virtual bool systemDefault() const { return false; }
};

// An open stream of either direction, told around every change of its queue (waveInAddBuffer;
// waveOutWrite and waveOutReset), never with the queue's lock held.
class WaveQueueHooks {
public:
    virtual ~WaveQueueHooks() = default;
    virtual void beforeQueue() {}
    virtual void afterQueue() {}
};

// An open capture device.
class WaveInStream : public WaveQueueHooks {
public:
    virtual MMRESULT start() = 0;
    // After it returns, nothing more is delivered until the next start.
    virtual void stop() = 0;
};

class WaveInDevice : public WaveDevice {
public:
    // Opens for the format (already checked as 16-bit PCM, 1 or 2 channels). On failure returns
    // the code and puts a description into error.
    virtual MMRESULT open(const WAVEFORMATEX& format, WaveInSink& sink,
                          std::unique_ptr<WaveInStream>& stream, std::string& error) = 0;

    // Called once per open with the clock time (ns) at which the device takes its first sample
    // (the first waveInStart after the open; for a machine device, its first capture callback,
    // on that device's thread).
    void setInputStartHook(std::function<void(std::int64_t ns)> hook);
    void reportInputStart(std::int64_t ns);

private:
    std::function<void(std::int64_t)> inputStartHook_;
};

// Where a playing device takes what it plays from. Thread-safe.
class WaveOutSource {
public:
    virtual ~WaveOutSource() = default;
    // Copies up to count frames from the written buffers in order into dst; each buffer played
    // to its end is returned. Returns the frames taken (fewer when the queue runs dry).
    virtual std::size_t take(std::int16_t* dst, std::size_t count) = 0;
    // Frames left in the buffer at the head of the queue; nothing while none is queued.
    virtual std::optional<std::uint64_t> framesToFinish() const = 0;
};

class WaveOutStream : public WaveQueueHooks {};

class WaveOutDevice : public WaveDevice {
public:
    virtual MMRESULT open(const WAVEFORMATEX& format, WaveOutSource& source,
                          std::unique_ptr<WaveOutStream>& stream, std::string& error) = 0;
};

// Adds a device after the ones already added (before the machine's); returns its device number.
UINT addWaveInDevice(std::shared_ptr<WaveInDevice> device);
UINT addWaveOutDevice(std::shared_ptr<WaveOutDevice> device);
// Takes a device out of the list (an open handle on it stays usable until closed).
void removeWaveInDevice(const std::shared_ptr<WaveInDevice>& device);
void removeWaveOutDevice(const std::shared_ptr<WaveOutDevice>& device);
// Whether the machine's devices (PortAudio) are listed. On by default; off when the environment
// variable KORVELLA_NO_SYSTEM_AUDIO is set to anything but 0. Tests switch it off.
void setSystemWaveDevices(bool enabled);
// Back to the start: closes every open handle without notices, forgets the added devices and
// reads KORVELLA_INPUT_FILE again. For tests and the scenario runner.
void resetWaveDevices();
// Number of open handles (input and output).
std::size_t openWaveHandleCount();

// Whether an input device number is the system's default capture device.
bool waveInIsSystemDefault(UINT device);

// What happened to the device of an open input handle, told on the loop's thread that opened it.
struct WaveInNotice {
    HWAVEIN handle = 0;
    bool lost = false;  // true: it stopped delivering; false: it delivers again
    std::string text;   // the device's name and the reason
};
void setWaveInNoticeHook(std::function<void(const WaveInNotice&)> hook);
// Whether the device of an open input handle was lost and has not come back.
bool waveInDeviceLost(HWAVEIN handle);
// The overflows the device reported on the handle since the last call (then cleared).
std::uint32_t waveInTakeOverflows(HWAVEIN handle);

// The 31 bytes of a product name at most, cut on a character boundary.
std::string waveProductName(const std::string& name);

}  // namespace platform
