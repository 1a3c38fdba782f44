// Wave input and output on the virtual clock: the scripted devices, the sound-file device and
// the virtual output. Buffers of 1024 frames at 50000 samples/s last 20.48 ms, so they come back
// at the pump after 20.48, 40.96, 61.44 ... ms: at 21, 41, 62 ... ms.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/loop/eventloop.h"
#include "platform/audio/wave.h"
#include "platform/audio/wave_file.h"
#include "platform/audio/wave_scripted.h"
#include "platform/windows/windows.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kRate = 50000;
constexpr std::size_t kFrames = 1024;

struct Msg {
    std::int64_t ms;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// A capture buffer with its header, as the engine keeps them.
struct Buffer {
    explicit Buffer(std::size_t frames, int channels = 1, DWORD_PTR user = 0) : data(frames * channels) {
        hdr.lpData = reinterpret_cast<char*>(data.data());
        hdr.dwBufferLength = static_cast<std::uint32_t>(data.size() * 2);
        hdr.dwUser = user;
    }
    std::vector<std::int16_t> data;
    WAVEHDR hdr;
};

class WaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        EventLoop::setCurrent(&loop);
        WindowRegistry::setCurrent(&reg);
        unsetenv("KORVELLA_INPUT_FILE");
        unsetenv("KORVELLA_INPUT_LOOP");
        setSystemWaveDevices(false);
        resetWaveDevices();
        hwnd = reg.create("ThunderRT6TextBox", "", 0, [this](HWND, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            messages.push_back({loop.nowNs() / 1'000'000, m, w, l});
            return 0;
        });
        dir = fs::temp_directory_path() / ("korvella-wave-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override {
        resetWaveDevices();
        unsetenv("KORVELLA_INPUT_FILE");
        std::error_code ec;
        fs::remove_all(dir, ec);
        WindowRegistry::setCurrent(nullptr);
        EventLoop::setCurrent(nullptr);
    }

    std::vector<Msg> take(UINT msg) {
        std::vector<Msg> out;
        for (const auto& m : messages)
            if (m.msg == msg) out.push_back(m);
        return out;
    }

    HWAVEIN openIn(UINT device, std::uint32_t rate = kRate, std::uint16_t channels = 1) {
        const WAVEFORMATEX f = makePcmFormat(rate, channels);
        HWAVEIN h = 0;
        EXPECT_EQ(waveInOpen(&h, device, &f, static_cast<DWORD_PTR>(hwnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR)
            << waveLastErrorText();
        return h;
    }

    void queue(HWAVEIN h, Buffer& b) {
        ASSERT_EQ(waveInPrepareHeader(h, &b.hdr, WAVEHDR_SIZE32), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(h, &b.hdr, WAVEHDR_SIZE32), MMSYSERR_NOERROR);
    }

    std::string writeFile(const std::string& name, const std::vector<std::int16_t>& samples, int channels, int rate) {
        const std::string path = (dir / name).string();
        std::string error;
        EXPECT_TRUE(writeSoundFile(path, samples, channels, rate, &error)) << error;
        return path;
    }

    EventLoop loop{std::make_unique<VirtualClock>()};
    WindowRegistry reg;
    HWND hwnd = 0;
    std::vector<Msg> messages;
    fs::path dir;
};

std::vector<std::int16_t> sine(double hz, int rate, double seconds, double amplitude = 16000) {
    std::vector<std::int16_t> s(static_cast<std::size_t>(rate * seconds));
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * M_PI * hz * i / rate)));
    return s;
}

// Upward zero crossings per second over the samples.
double crossingsPerSecond(const std::vector<std::int16_t>& s, int rate) {
    int first = -1, last = -1, count = 0;
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (first < 0) first = static_cast<int>(i);
            last = static_cast<int>(i);
            ++count;
        }
    }
    return count > 1 ? (count - 1) * static_cast<double>(rate) / (last - first) : 0;
}

}  // namespace

// ---- Capture cycle -------------------------------------------------------------------------

TEST_F(WaveTest, CaptureFillsQueuedBuffersAtTheirVirtualTimesWithTheDevicesSamples) {
    auto dev = std::make_shared<ScriptedWaveIn>("Line In");
    dev->setGenerator([](std::uint64_t frame, int) { return static_cast<std::int16_t>(frame % 30000); });
    ASSERT_EQ(addWaveInDevice(dev), 0u);

    const HWAVEIN h = openIn(0);
    ASSERT_NE(h, 0);
    EXPECT_TRUE(messages.empty()) << "the open notice is posted, not sent";
    loop.doEvents();
    ASSERT_EQ(take(MM_WIM_OPEN).size(), 1u);
    EXPECT_EQ(take(MM_WIM_OPEN)[0].wParam, static_cast<WPARAM>(h));

    Buffer b1(kFrames, 1, 1), b2(kFrames, 1, 2);
    queue(h, b1);
    queue(h, b2);
    EXPECT_EQ(b1.hdr.dwFlags, WHDR_PREPARED | WHDR_INQUEUE);
    loop.advance(30);
    EXPECT_TRUE(take(MM_WIM_DATA).empty()) << "nothing is captured before waveInStart";

    ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);  // at 30 ms
    loop.advance(20);
    EXPECT_TRUE(take(MM_WIM_DATA).empty());
    loop.advance(1);
    auto data = take(MM_WIM_DATA);
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(data[0].ms, 51);
    EXPECT_EQ(data[0].wParam, static_cast<WPARAM>(h));
    EXPECT_EQ(data[0].lParam, reinterpret_cast<LPARAM>(&b1.hdr));
    EXPECT_EQ(b1.hdr.dwBytesRecorded, kFrames * 2);
    EXPECT_EQ(b1.hdr.dwFlags, WHDR_PREPARED | WHDR_DONE);
    EXPECT_EQ(b1.hdr.dwUser, 1u) << "dwUser belongs to the program";
    for (std::size_t i = 0; i < kFrames; ++i) ASSERT_EQ(b1.data[i], static_cast<std::int16_t>(i));

    loop.advance(20);
    data = take(MM_WIM_DATA);
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(data[1].ms, 71);  // 30 + 40.96
    EXPECT_EQ(b2.data[0], static_cast<std::int16_t>(kFrames)) << "the second buffer goes on where the first ended";

    // Input with no buffer queued is lost: a buffer queued at 80 ms starts with the sample
    // taken then (frame 2500 since the start) and is full 20.48 ms later.
    loop.advance(9);
    ASSERT_EQ(loop.nowNs(), 80'000'000);
    ASSERT_EQ(waveInAddBuffer(h, &b1.hdr, WAVEHDR_SIZE32), MMSYSERR_NOERROR);
    EXPECT_EQ(b1.hdr.dwFlags, WHDR_PREPARED | WHDR_INQUEUE) << "queuing clears WHDR_DONE";
    loop.advance(21);
    data = take(MM_WIM_DATA);
    ASSERT_EQ(data.size(), 3u);
    EXPECT_EQ(data[2].ms, 101);
    EXPECT_EQ(b1.data[0], 2500);
    EXPECT_EQ(b1.data[kFrames - 1], static_cast<std::int16_t>(2500 + kFrames - 1));

    ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInClose(h), MMSYSERR_NOERROR);
    loop.doEvents();
    ASSERT_EQ(take(MM_WIM_CLOSE).size(), 1u);
    EXPECT_EQ(take(MM_WIM_CLOSE)[0].wParam, static_cast<WPARAM>(h));
}

TEST_F(WaveTest, StereoFramesAreInterleavedAndBuffersShorterThanAFrameAreRefused) {
    auto dev = std::make_shared<ScriptedWaveIn>();
    dev->setGenerator([](std::uint64_t frame, int ch) { return static_cast<std::int16_t>(ch == 0 ? frame : -1 - static_cast<int>(frame)); });
    addWaveInDevice(dev);
    const HWAVEIN h = openIn(0, 8000, 2);
    Buffer b(80, 2);
    queue(h, b);
    Buffer tiny(0, 2);
    tiny.data.resize(1);
    tiny.hdr.lpData = reinterpret_cast<char*>(tiny.data.data());
    tiny.hdr.dwBufferLength = 2;  // half a stereo frame
    waveInPrepareHeader(h, &tiny.hdr, WAVEHDR_SIZE32);
    EXPECT_EQ(waveInAddBuffer(h, &tiny.hdr, WAVEHDR_SIZE32), MMSYSERR_INVALPARAM);
    waveInStart(h);
    loop.advance(10);  // 80 frames at 8000/s: 10 ms
    ASSERT_EQ(take(MM_WIM_DATA).size(), 1u);
    EXPECT_EQ(take(MM_WIM_DATA)[0].ms, 10);
    EXPECT_EQ(b.hdr.dwBytesRecorded, 320u);
    for (int f = 0; f < 80; ++f) {
        ASSERT_EQ(b.data[2 * f], f);
        ASSERT_EQ(b.data[2 * f + 1], -1 - f);
    }
    EXPECT_EQ(dev->lastFormat().nBlockAlign, 4);
}

TEST_F(WaveTest, StopReturnsThePartlyFilledBufferAndStartGoesOn) {
    auto dev = std::make_shared<ScriptedWaveIn>();
    dev->setGenerator([](std::uint64_t frame, int) { return static_cast<std::int16_t>(frame); });
    addWaveInDevice(dev);
    const HWAVEIN h = openIn(0);
    Buffer b1(kFrames), b2(kFrames);
    queue(h, b1);
    queue(h, b2);
    waveInStart(h);
    loop.advance(10);  // 500 frames taken
    ASSERT_EQ(waveInStop(h), MMSYSERR_NOERROR);
    EXPECT_TRUE(take(MM_WIM_DATA).empty()) << "posted, not sent";
    loop.doEvents();
    ASSERT_EQ(take(MM_WIM_DATA).size(), 1u);
    EXPECT_EQ(b1.hdr.dwBytesRecorded, 1000u);
    EXPECT_EQ(b2.hdr.dwFlags & WHDR_INQUEUE, WHDR_INQUEUE) << "an empty buffer stays queued";
    loop.advance(100);
    EXPECT_EQ(take(MM_WIM_DATA).size(), 1u) << "nothing while stopped";
    waveInStart(h);  // at 110 ms; the stream goes on from where it stood
    loop.advance(21);
    ASSERT_EQ(take(MM_WIM_DATA).size(), 2u);
    EXPECT_EQ(b2.data[0], 500);
    waveInReset(h);
    waveInClose(h);
}

TEST_F(WaveTest, ResetReturnsEveryQueuedBufferAndCloseRefusesWhileOneIsQueued) {
    auto dev = std::make_shared<ScriptedWaveIn>();
    dev->setGenerator([](std::uint64_t, int) { return std::int16_t{7}; });
    addWaveInDevice(dev);
    const HWAVEIN h = openIn(0);
    std::vector<std::unique_ptr<Buffer>> bufs;
    for (int i = 1; i <= 3; ++i) {
        bufs.push_back(std::make_unique<Buffer>(kFrames, 1, i));
        queue(h, *bufs.back());
    }
    waveInStart(h);
    loop.advance(30);  // buffer 1 full, buffer 2 half
    loop.doEvents();
    messages.clear();

    EXPECT_EQ(waveInClose(h), WAVERR_STILLPLAYING);
    EXPECT_NE(waveLastErrorText().find("queued"), std::string::npos) << waveLastErrorText();
    EXPECT_EQ(waveInUnprepareHeader(h, &bufs[2]->hdr, WAVEHDR_SIZE32), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInAddBuffer(h, &bufs[2]->hdr, WAVEHDR_SIZE32), WAVERR_STILLPLAYING);

    ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
    for (auto& b : bufs) EXPECT_EQ(b->hdr.dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    EXPECT_EQ(bufs[1]->hdr.dwBytesRecorded, (30 * 50 - kFrames) * 2);
    EXPECT_EQ(bufs[2]->hdr.dwBytesRecorded, 0u);
    EXPECT_TRUE(messages.empty());
    loop.doEvents();
    auto data = take(MM_WIM_DATA);
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(data[0].lParam, reinterpret_cast<LPARAM>(&bufs[1]->hdr));
    EXPECT_EQ(data[1].lParam, reinterpret_cast<LPARAM>(&bufs[2]->hdr));

    for (auto& b : bufs) EXPECT_EQ(waveInUnprepareHeader(h, &b->hdr, WAVEHDR_SIZE32), MMSYSERR_NOERROR);
    EXPECT_EQ(bufs[0]->hdr.dwFlags & WHDR_PREPARED, 0u);
    EXPECT_EQ(waveInAddBuffer(h, &bufs[0]->hdr, WAVEHDR_SIZE32), WAVERR_UNPREPARED);
    loop.advance(50);
    EXPECT_TRUE(take(MM_WIM_DATA).size() == 2u) << "nothing arrives after a reset";
    ASSERT_EQ(waveInClose(h), MMSYSERR_NOERROR);
    EXPECT_EQ(openWaveHandleCount(), 0u);
    loop.doEvents();
    EXPECT_EQ(take(MM_WIM_CLOSE).size(), 1u);

    // The handle is gone.
    EXPECT_EQ(waveInClose(h), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInStart(h), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInAddBuffer(h, &bufs[0]->hdr, WAVEHDR_SIZE32), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInPrepareHeader(h, &bufs[0]->hdr, WAVEHDR_SIZE32), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInReset(h), MMSYSERR_INVALHANDLE);
}

TEST_F(WaveTest, HeaderCallsRefuseMissingHeadersAndShortSizes) {
    addWaveInDevice(std::make_shared<ScriptedWaveIn>());
    const HWAVEIN h = openIn(0);
    Buffer b(kFrames);
    EXPECT_EQ(waveInPrepareHeader(h, nullptr, WAVEHDR_SIZE32), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveInPrepareHeader(h, &b.hdr, 16), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveInPrepareHeader(h, &b.hdr, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInAddBuffer(h, nullptr, WAVEHDR_SIZE32), MMSYSERR_INVALPARAM);
    b.hdr.lpData = nullptr;
    EXPECT_EQ(waveInAddBuffer(h, &b.hdr, WAVEHDR_SIZE32), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
}

TEST_F(WaveTest, ManualDeviceDeliversWhatIsPushedOnlyWhileStartedAndQueued) {
    auto dev = std::make_shared<ScriptedWaveIn>();
    dev->setManual(true);
    addWaveInDevice(dev);
    const HWAVEIN h = openIn(0);
    Buffer b(4);
    queue(h, b);
    dev->push({1, 2, 3});
    waveInStart(h);
    dev->push({10, 11, 12});
    loop.advance(100);
    EXPECT_TRUE(take(MM_WIM_DATA).empty()) << "a manual device delivers nothing by itself";
    dev->push({13, 14, 15});  // fills the buffer; 15 finds none queued and is lost
    loop.doEvents();
    ASSERT_EQ(take(MM_WIM_DATA).size(), 1u);
    EXPECT_EQ(b.data, (std::vector<std::int16_t>{10, 11, 12, 13}));
    queue(h, b);
    dev->push({20, 21, 22, 23});
    loop.doEvents();
    EXPECT_EQ(b.data[0], 20);
    waveInReset(h);
    waveInClose(h);
}

// ---- Devices and open failures ---------------------------------------------------------------

TEST_F(WaveTest, DeviceListFollowsAddedAndRemovedDevicesWithCutProductNames) {
    EXPECT_EQ(waveInGetNumDevs(), 0u);
    const WAVEFORMATEX f = makePcmFormat(kRate, 1);
    HWAVEIN h = 123;
    EXPECT_EQ(waveInOpen(&h, 0, &f, static_cast<DWORD_PTR>(hwnd), 0, CALLBACK_WINDOW), MMSYSERR_NODRIVER);
    EXPECT_EQ(h, 0);

    const std::string name31(31, 'x');
    auto a = std::make_shared<ScriptedWaveIn>(name31);
    auto b = std::make_shared<ScriptedWaveIn>(std::string(40, 'y'), 1);
    // 30 ASCII bytes and a two-byte character: the cut may not split the character.
    auto c = std::make_shared<ScriptedWaveIn>(std::string(30, 'z') + "\xC3\xA4" + "tail");
    EXPECT_EQ(addWaveInDevice(a), 0u);
    EXPECT_EQ(addWaveInDevice(b), 1u);
    EXPECT_EQ(addWaveInDevice(c), 2u);
    EXPECT_EQ(waveInGetNumDevs(), 3u);

    WAVEINCAPSA caps;
    ASSERT_EQ(waveInGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(caps.szPname), name31) << "31 bytes are kept whole";
    EXPECT_EQ(caps.szPname[31], '\0');
    EXPECT_EQ(caps.wChannels, 2);
    EXPECT_EQ(caps.dwFormats & WAVE_FORMAT_4S16, WAVE_FORMAT_4S16);
    ASSERT_EQ(waveInGetDevCapsA(1, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(caps.szPname), std::string(31, 'y'));
    EXPECT_EQ(caps.wChannels, 1);
    EXPECT_EQ(caps.dwFormats & WAVE_FORMAT_4S16, 0u);
    ASSERT_EQ(waveInGetDevCapsA(2, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(caps.szPname), std::string(30, 'z'));
    EXPECT_EQ(waveInGetDevCapsA(3, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveInGetDevCapsA(0, nullptr, sizeof caps), MMSYSERR_INVALPARAM);

    // A short caps record gets only what fits.
    WAVEINCAPSA partial;
    std::memset(static_cast<void*>(&partial), 0x55, sizeof partial);
    ASSERT_EQ(waveInGetDevCapsA(0, &partial, 8), MMSYSERR_NOERROR);
    EXPECT_EQ(static_cast<unsigned char>(partial.szPname[0]), 0x55);

    removeWaveInDevice(b);
    EXPECT_EQ(waveInGetNumDevs(), 2u);
    ASSERT_EQ(waveInGetDevCapsA(1, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(caps.szPname), std::string(30, 'z'));
    EXPECT_EQ(waveInOpen(&h, 2, &f, static_cast<DWORD_PTR>(hwnd), 0, CALLBACK_WINDOW), MMSYSERR_BADDEVICEID);
    EXPECT_NE(waveLastErrorText().find("no input device 2"), std::string::npos) << waveLastErrorText();
}

TEST_F(WaveTest, OpenFailuresGiveTheirCodesAndNoHandle) {
    auto dev = std::make_shared<ScriptedWaveIn>("Mic", 1);
    addWaveInDevice(dev);
    HWAVEIN h = 99;
    auto tryOpen = [&](WAVEFORMATEX f, std::uint32_t flags = CALLBACK_WINDOW) {
        return waveInOpen(&h, 0, &f, static_cast<DWORD_PTR>(hwnd), 0, flags);
    };
    WAVEFORMATEX eightBit = makePcmFormat(kRate, 1, 8);
    EXPECT_EQ(tryOpen(eightBit), WAVERR_BADFORMAT);
    EXPECT_EQ(tryOpen(makePcmFormat(kRate, 2)), WAVERR_BADFORMAT) << "a mono device";
    EXPECT_EQ(tryOpen(makePcmFormat(0, 1)), WAVERR_BADFORMAT);
    WAVEFORMATEX badAlign = makePcmFormat(kRate, 1);
    badAlign.nBlockAlign = 4;
    EXPECT_EQ(tryOpen(badAlign), WAVERR_BADFORMAT);
    WAVEFORMATEX notPcm = makePcmFormat(kRate, 1);
    notPcm.wFormatTag = 3;
    EXPECT_EQ(tryOpen(notPcm), WAVERR_BADFORMAT);
    EXPECT_NE(waveLastErrorText().find("Mic"), std::string::npos);
    EXPECT_EQ(waveInOpen(&h, 0, nullptr, static_cast<DWORD_PTR>(hwnd), 0, CALLBACK_WINDOW), MMSYSERR_INVALPARAM);
    EXPECT_EQ(tryOpen(makePcmFormat(kRate, 1), 0x30000 /* a callback function */), MMSYSERR_INVALFLAG);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(dev->openCount(), 0);

    // A format query opens nothing.
    EXPECT_EQ(tryOpen(makePcmFormat(kRate, 1), CALLBACK_WINDOW | WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
    EXPECT_EQ(dev->openCount(), 0);

    dev->failOpen(MMSYSERR_NOMEM);
    EXPECT_EQ(tryOpen(makePcmFormat(kRate, 1)), MMSYSERR_NOMEM);
    dev->failOpen(MMSYSERR_ALLOCATED, "Mic is held by another program");
    EXPECT_EQ(tryOpen(makePcmFormat(kRate, 1)), MMSYSERR_ALLOCATED);
    EXPECT_NE(waveLastErrorText().find("held by another program"), std::string::npos);
    dev->failOpen(MMSYSERR_NOERROR);

    // The device mapper picks the first device; a second open of it is refused.
    const WAVEFORMATEX f = makePcmFormat(kRate, 1);
    HWAVEIN first = 0;
    ASSERT_EQ(waveInOpen(&first, WAVE_MAPPER, &f, static_cast<DWORD_PTR>(hwnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    EXPECT_TRUE(waveLastErrorText().empty());
    EXPECT_EQ(tryOpen(f), MMSYSERR_ALLOCATED);
    // The retry of a program whose device was left open: close the stale handle, open again.
    EXPECT_EQ(waveInClose(first), MMSYSERR_NOERROR);
    HWAVEIN second = 0;
    ASSERT_EQ(waveInOpen(&second, 0, &f, static_cast<DWORD_PTR>(hwnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    EXPECT_NE(second, first);
    EXPECT_EQ(dev->openCount(), 2);
    waveInClose(second);
}

TEST_F(WaveTest, UnpluggedDeviceStopsDeliveringAndLeavesTheList) {
    auto keep = std::make_shared<ScriptedWaveIn>("Keep");
    auto usb = std::make_shared<ScriptedWaveIn>("USB");
    addWaveInDevice(keep);
    addWaveInDevice(usb);
    const HWAVEIN h = openIn(1);
    Buffer b1(kFrames), b2(kFrames);
    queue(h, b1);
    queue(h, b2);
    waveInStart(h);
    loop.advance(25);
    ASSERT_EQ(take(MM_WIM_DATA).size(), 1u);
    usb->unplug();
    EXPECT_EQ(waveInGetNumDevs(), 1u);
    loop.advance(200);
    EXPECT_EQ(take(MM_WIM_DATA).size(), 1u);
    HWAVEIN again = 0;
    const WAVEFORMATEX f = makePcmFormat(kRate, 1);
    EXPECT_EQ(waveInOpen(&again, 1, &f, static_cast<DWORD_PTR>(hwnd), 0, CALLBACK_WINDOW), MMSYSERR_BADDEVICEID);
    // The open handle still resets and closes.
    EXPECT_EQ(waveInReset(h), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
    loop.doEvents();
    EXPECT_EQ(take(MM_WIM_DATA).size(), 2u);
    EXPECT_EQ(take(MM_WIM_CLOSE).size(), 1u);
}

TEST_F(WaveTest, NoNoticesWithoutACallbackWindowAndNoneForADeadWindow) {
    addWaveInDevice(std::make_shared<ScriptedWaveIn>());
    const WAVEFORMATEX f = makePcmFormat(kRate, 1);
    HWAVEIN h = 0;
    ASSERT_EQ(waveInOpen(&h, 0, &f, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    Buffer b(kFrames);
    queue(h, b);
    waveInStart(h);
    loop.advance(25);
    EXPECT_EQ(b.hdr.dwFlags & WHDR_DONE, WHDR_DONE) << "the buffer is still filled and returned";
    waveInReset(h);
    waveInClose(h);
    EXPECT_TRUE(messages.empty());

    const HWAVEIN h2 = openIn(0);
    reg.destroy(hwnd);
    queue(h2, b);
    waveInStart(h2);
    loop.advance(25);  // posted to a window that is gone: dropped, nothing breaks
    waveInReset(h2);
    EXPECT_EQ(waveInClose(h2), MMSYSERR_NOERROR);
    loop.doEvents();
    EXPECT_TRUE(messages.empty());
}

// ---- Output --------------------------------------------------------------------------------

TEST_F(WaveTest, VirtualOutputPlaysBuffersAtTheRealRateAndKeepsWhatItPlayed) {
    auto out = std::make_shared<VirtualWaveOut>("Speakers");
    EXPECT_EQ(waveOutGetNumDevs(), 0u);
    ASSERT_EQ(addWaveOutDevice(out), 0u);
    EXPECT_EQ(waveOutGetNumDevs(), 1u);
    WAVEOUTCAPSA caps;
    ASSERT_EQ(waveOutGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Speakers");

    const WAVEFORMATEX f = makePcmFormat(kRate, 1);
    HWAVEOUT h = 0;
    ASSERT_EQ(waveOutOpen(&h, 0, &f, static_cast<DWORD_PTR>(hwnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    loop.advance(5);
    ASSERT_EQ(take(MM_WOM_OPEN).size(), 1u);
    EXPECT_EQ(take(MM_WOM_OPEN)[0].wParam, static_cast<WPARAM>(h));

    Buffer a(500, 1, 999), b(500, 1, 999), c(250, 1, 999);
    for (int i = 0; i < 500; ++i) a.data[i] = static_cast<std::int16_t>(i), b.data[i] = static_cast<std::int16_t>(1000 + i);
    for (auto* buf : {&a, &b, &c}) ASSERT_EQ(waveOutPrepareHeader(h, &buf->hdr, WAVEHDR_SIZE32), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutWrite(h, &c.hdr, 16), MMSYSERR_INVALPARAM);
    Buffer unprepared(10);
    EXPECT_EQ(waveOutWrite(h, &unprepared.hdr, WAVEHDR_SIZE32), WAVERR_UNPREPARED);

    ASSERT_EQ(waveOutWrite(h, &a.hdr, WAVEHDR_SIZE32), MMSYSERR_NOERROR);  // at 5 ms: plays 10 ms
    ASSERT_EQ(waveOutWrite(h, &b.hdr, WAVEHDR_SIZE32), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutWrite(h, &a.hdr, WAVEHDR_SIZE32), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutUnprepareHeader(h, &a.hdr, WAVEHDR_SIZE32), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutClose(h), WAVERR_STILLPLAYING);
    loop.advance(9);
    EXPECT_TRUE(take(MM_WOM_DONE).empty());
    loop.advance(1);
    auto done = take(MM_WOM_DONE);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].ms, 15);
    EXPECT_EQ(done[0].lParam, reinterpret_cast<LPARAM>(&a.hdr));
    EXPECT_EQ(a.hdr.dwFlags, WHDR_PREPARED | WHDR_DONE);
    EXPECT_EQ(a.hdr.dwUser, 999u);
    loop.advance(10);
    done = take(MM_WOM_DONE);
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[1].ms, 25);

    // After the queue ran dry the next buffer plays from the moment it is written.
    loop.advance(7);
    ASSERT_EQ(waveOutWrite(h, &c.hdr, WAVEHDR_SIZE32), MMSYSERR_NOERROR);  // at 32 ms: 5 ms long
    loop.advance(5);
    done = take(MM_WOM_DONE);
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[2].ms, 37);

    const auto played = out->playedSamples();
    ASSERT_EQ(played.size(), 1250u);
    EXPECT_EQ(played[0], 0);
    EXPECT_EQ(played[499], 499);
    EXPECT_EQ(played[500], 1000);
    const auto blocks = out->playedBuffers();
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].startNs, 5'000'000);
    EXPECT_EQ(blocks[0].endNs, 15'000'000);
    EXPECT_EQ(blocks[2].startNs, 32'000'000);
    EXPECT_EQ(blocks[2].frames, 250u);

    ASSERT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
    loop.doEvents();
    EXPECT_EQ(take(MM_WOM_CLOSE).size(), 1u);
    EXPECT_FALSE(out->isOpen());
}

TEST_F(WaveTest, OutputResetReturnsQueuedBuffersAndEmptyBuffersComeBackAtOnce) {
    auto out = std::make_shared<VirtualWaveOut>();
    addWaveOutDevice(out);
    const WAVEFORMATEX f = makePcmFormat(kRate, 1);
    HWAVEOUT h = 0;
    ASSERT_EQ(waveOutOpen(&h, 0, &f, static_cast<DWORD_PTR>(hwnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    Buffer a(1000), b(1000), empty(0);
    empty.hdr.lpData = nullptr;
    for (auto* buf : {&a, &b, &empty}) waveOutPrepareHeader(h, &buf->hdr, WAVEHDR_SIZE32);

    ASSERT_EQ(waveOutWrite(h, &empty.hdr, WAVEHDR_SIZE32), MMSYSERR_NOERROR);
    loop.doEvents();
    ASSERT_EQ(take(MM_WOM_DONE).size(), 1u) << "a buffer with nothing to play comes back at the next pump";

    waveOutWrite(h, &a.hdr, WAVEHDR_SIZE32);
    waveOutWrite(h, &b.hdr, WAVEHDR_SIZE32);
    loop.advance(5);  // half of a played
    ASSERT_EQ(waveOutReset(h), MMSYSERR_NOERROR);
    EXPECT_EQ(a.hdr.dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    EXPECT_EQ(b.hdr.dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    loop.doEvents();
    auto done = take(MM_WOM_DONE);
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[1].lParam, reinterpret_cast<LPARAM>(&a.hdr));
    EXPECT_EQ(done[2].lParam, reinterpret_cast<LPARAM>(&b.hdr));
    EXPECT_EQ(out->playedSamples().size(), 250u);
    loop.advance(50);
    EXPECT_EQ(take(MM_WOM_DONE).size(), 3u);
    EXPECT_EQ(waveOutUnprepareHeader(h, &a.hdr, WAVEHDR_SIZE32), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(h), MMSYSERR_INVALHANDLE);

    out->failOpen(MMSYSERR_ALLOCATED);
    EXPECT_EQ(waveOutOpen(&h, 0, &f, static_cast<DWORD_PTR>(hwnd), 0, CALLBACK_WINDOW), MMSYSERR_ALLOCATED);
    EXPECT_EQ(waveOutOpen(&h, 1, &f, static_cast<DWORD_PTR>(hwnd), 0, CALLBACK_WINDOW), MMSYSERR_BADDEVICEID);
}

// ---- Sound-file device ---------------------------------------------------------------------

TEST_F(WaveTest, FileAtTheAskedRateIsDeliveredSampleForSampleThenSilence) {
    std::vector<std::int16_t> samples(3000);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int16_t>(i * 7 - 10000);
    const std::string path = writeFile("ramp.wav", samples, 1, kRate);
    auto dev = std::make_shared<SoundFileWaveIn>(path);
    std::vector<std::int64_t> starts;
    dev->setInputStartHook([&](std::int64_t ns) { starts.push_back(ns); });
    addWaveInDevice(dev);
    WAVEINCAPSA caps;
    waveInGetDevCapsA(0, &caps, sizeof caps);
    EXPECT_STREQ(caps.szPname, "File: ramp.wav");

    const HWAVEIN h = openIn(0);
    Buffer b1(kFrames), b2(kFrames), b3(kFrames), b4(kFrames);
    for (auto* b : {&b1, &b2, &b3, &b4}) queue(h, *b);
    loop.advance(3);
    EXPECT_TRUE(starts.empty());
    waveInStart(h);
    EXPECT_EQ(starts, std::vector<std::int64_t>{3'000'000});
    loop.advance(82);  // four buffers: 81.92 ms
    auto data = take(MM_WIM_DATA);
    ASSERT_EQ(data.size(), 4u);
    EXPECT_EQ(data[0].ms, 24);
    EXPECT_EQ(data[3].ms, 85);
    std::vector<std::int16_t> got;
    for (auto* b : {&b1, &b2, &b3, &b4}) {
        EXPECT_EQ(b->hdr.dwBytesRecorded, kFrames * 2);
        got.insert(got.end(), b->data.begin(), b->data.end());
    }
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), got.begin())) << "no conversion at the file's own rate";
    EXPECT_TRUE(std::all_of(got.begin() + 3000, got.end(), [](std::int16_t s) { return s == 0; }));

    // Past the end the device keeps delivering (silence) so the show goes on.
    queue(h, b1);
    loop.advance(21);
    EXPECT_EQ(take(MM_WIM_DATA).size(), 5u);
    waveInStop(h);
    waveInStart(h);
    EXPECT_EQ(starts.size(), 1u) << "the hook reports the first start of an open only";
    waveInReset(h);
    waveInClose(h);
    EXPECT_FALSE(dev->isOpen());
}

// 16-bit files at the asked rate and channel count are read as they are, others through floats:
// every container gives the samples written, the extremes included, stereo kept in order.
TEST_F(WaveTest, SixteenBitSamplesArriveUnchangedFromEveryContainer) {
    std::vector<std::int16_t> samples;
    std::uint32_t seed = 5;
    for (int i = 0; i < 1000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        samples.push_back(static_cast<std::int16_t>(seed >> 16));
        samples.push_back(static_cast<std::int16_t>(i % 3 == 0 ? -32768 : i % 3 == 1 ? 32767 : 0));
    }
    int index = 0;
    for (const char* name : {"x.wav", "x.aiff", "x.au", "x.flac"}) {
        SCOPED_TRACE(name);
        addWaveInDevice(std::make_shared<SoundFileWaveIn>(writeFile(name, samples, 2, kRate)));
        const HWAVEIN h = openIn(index++, kRate, 2);
        Buffer b(1000, 2);
        queue(h, b);
        waveInStart(h);
        loop.advance(21);
        ASSERT_EQ(b.hdr.dwBytesRecorded, 4000u);
        EXPECT_EQ(b.data, samples);
        waveInReset(h);
        waveInClose(h);
    }
}

TEST_F(WaveTest, FileIsConvertedToTheAskedRateKeepingItsPitchAndLength) {
    const std::string path = writeFile("sine.wav", sine(1000, 44100, 1.0), 1, 44100);
    auto dev = std::make_shared<SoundFileWaveIn>(path);
    addWaveInDevice(dev);
    const HWAVEIN h = openIn(0);
    constexpr int kBuffers = 60;  // 1.2288 s
    std::vector<std::unique_ptr<Buffer>> bufs;
    for (int i = 0; i < kBuffers; ++i) {
        bufs.push_back(std::make_unique<Buffer>(kFrames, 1, i + 1));
        queue(h, *bufs.back());
    }
    waveInStart(h);
    loop.advance(1229);
    auto data = take(MM_WIM_DATA);
    ASSERT_EQ(data.size(), static_cast<std::size_t>(kBuffers));
    // Buffer n (from 1) is full at n x 20.48 ms.
    for (int n = 1; n <= kBuffers; ++n) {
        EXPECT_EQ(data[n - 1].ms, static_cast<std::int64_t>(std::ceil(n * 20.48)));
        EXPECT_EQ(data[n - 1].lParam, reinterpret_cast<LPARAM>(&bufs[n - 1]->hdr));
        EXPECT_EQ(bufs[n - 1]->hdr.dwBytesRecorded, kFrames * 2);
    }
    std::vector<std::int16_t> got;
    for (auto& b : bufs) got.insert(got.end(), b->data.begin(), b->data.end());
    const std::vector<std::int16_t> body(got.begin() + 1000, got.begin() + 49000);
    EXPECT_NEAR(crossingsPerSecond(body, kRate), 1000.0, 0.5);
    int peak = 0;
    for (auto s : body) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_NEAR(peak, 16000, 200);
    // One second of sound becomes 50000 samples, then silence.
    const auto lastLoud = std::find_if(got.rbegin(), got.rend(), [](std::int16_t s) { return std::abs(s) > 200; });
    const auto soundLength = static_cast<long>(got.rend() - lastLoud);
    EXPECT_NEAR(soundLength, 50000, 20);
    EXPECT_TRUE(std::all_of(got.begin() + 50100, got.end(), [](std::int16_t s) { return std::abs(s) < 2; }));
    waveInReset(h);
    waveInClose(h);
}

TEST_F(WaveTest, FileChannelsAreMixedForMonoAndDoubledForStereo) {
    std::vector<std::int16_t> stereo;
    for (int i = 0; i < 2000; ++i) {
        stereo.push_back(1000);
        stereo.push_back(static_cast<std::int16_t>(i % 2 ? 3000 : -3000));
    }
    auto dev = std::make_shared<SoundFileWaveIn>(writeFile("lr.wav", stereo, 2, kRate));
    addWaveInDevice(dev);
    HWAVEIN h = openIn(0);
    Buffer mono(1000);
    queue(h, mono);
    waveInStart(h);
    loop.advance(20);
    ASSERT_EQ(take(MM_WIM_DATA).size(), 1u);
    EXPECT_EQ(mono.data[0], -1000) << "the average of both sides";
    EXPECT_EQ(mono.data[1], 2000);
    waveInReset(h);
    waveInClose(h);

    auto monoFile = std::make_shared<SoundFileWaveIn>(writeFile("m.flac", std::vector<std::int16_t>(2000, 1234), 1, kRate));
    addWaveInDevice(monoFile);
    h = openIn(1, kRate, 2);
    Buffer both(1000, 2);
    queue(h, both);
    waveInStart(h);
    loop.advance(20);
    ASSERT_EQ(take(MM_WIM_DATA).size(), 2u);
    EXPECT_EQ(both.data[0], 1234);
    EXPECT_EQ(both.data[1], 1234);
    EXPECT_EQ(both.data[1999], 1234);
    waveInReset(h);
    waveInClose(h);
}

TEST_F(WaveTest, LoopingFileStartsAgainAtItsEnd) {
    std::vector<std::int16_t> samples(700);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int16_t>(i + 1);
    auto dev = std::make_shared<SoundFileWaveIn>(writeFile("loop.ogg", sine(500, kRate, 0.1), 1, kRate), true);
    auto plain = std::make_shared<SoundFileWaveIn>(writeFile("loop.wav", samples, 1, kRate), true);
    addWaveInDevice(plain);
    addWaveInDevice(dev);
    HWAVEIN h = openIn(0);
    Buffer b(1500);
    queue(h, b);
    waveInStart(h);
    loop.advance(30);
    EXPECT_EQ(b.data[699], 700);
    EXPECT_EQ(b.data[700], 1);
    EXPECT_EQ(b.data[1400], 1);
    waveInReset(h);
    waveInClose(h);

    h = openIn(1);  // Ogg Vorbis, 0.1 s, looped for 0.3 s
    Buffer c(15000);
    queue(h, c);
    waveInStart(h);
    loop.advance(300);
    ASSERT_EQ(take(MM_WIM_DATA).size(), 2u);
    EXPECT_NEAR(crossingsPerSecond(c.data, kRate), 500.0, 3.0);
    waveInReset(h);
    waveInClose(h);
}

TEST_F(WaveTest, UnusableFilesFailTheOpenWithAClearErrorNamingTheFile) {
    const std::string missing = (dir / "missing.wav").string();
    std::vector<std::int16_t> second = sine(440, 44100, 1.0);
    const std::string good = writeFile("good.wav", second, 1, 44100);
    const std::string flac = writeFile("good.flac", second, 1, 44100);

    auto copyCut = [&](const std::string& from, const std::string& to, double fraction) {
        std::ifstream in(from, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(to, std::ios::binary) << bytes.substr(0, static_cast<std::size_t>(bytes.size() * fraction));
        return to;
    };
    const std::string cutWav = copyCut(good, (dir / "cut.wav").string(), 0.5);
    const std::string cutFlac = copyCut(flac, (dir / "cut.flac").string(), 0.5);
    const std::string headerOnly = copyCut(good, (dir / "stub.wav").string(), 30.0 / 88244);
    const std::string garbage = (dir / "notes.wav").string();
    std::ofstream(garbage) << "these are notes, not music\n";
    const std::string empty = (dir / "empty.wav").string();
    std::ofstream{empty};
    const std::string silent = writeFile("nothing.wav", {}, 1, kRate);
    const std::string folder = (dir / "folder.wav").string();
    fs::create_directory(folder);
    // Opening a pipe would wait for a writer for ever, on the thread that pressed "Start".
    const std::string fifo = (dir / "pipe.wav").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string linkToFifo = (dir / "link.wav").string();
    fs::create_symlink(fifo, linkToFifo);

    struct Case {
        std::string path;
        MMRESULT code;
        std::string words;
    };
    const std::vector<Case> cases = {
        {missing, MMSYSERR_NODRIVER, "not found"},     {folder, MMSYSERR_NODRIVER, "cannot be read"},
        {garbage, MMSYSERR_ERROR, "Not a sound file"}, {empty, MMSYSERR_ERROR, "Not a sound file"},
        {headerOnly, MMSYSERR_ERROR, "Not a sound file"}, {silent, MMSYSERR_ERROR, "no sound"},
        {cutWav, MMSYSERR_ERROR, "truncated"},         {cutFlac, MMSYSERR_ERROR, "truncated"},
        {fifo, MMSYSERR_NODRIVER, "is a pipe (FIFO), not a file"},
        {linkToFifo, MMSYSERR_NODRIVER, "is a pipe (FIFO), not a file"},
        {"/dev/zero", MMSYSERR_NODRIVER, "is a device or special file, not a file"},
    };
    for (const auto& c : cases) {
        resetWaveDevices();
        auto dev = std::make_shared<SoundFileWaveIn>(c.path);
        addWaveInDevice(dev);
        const WAVEFORMATEX f = makePcmFormat(kRate, 1);
        HWAVEIN h = 77;
        EXPECT_EQ(waveInOpen(&h, 0, &f, static_cast<DWORD_PTR>(hwnd), 0, CALLBACK_WINDOW), c.code) << c.path;
        EXPECT_EQ(h, 0);
        const std::string text = waveLastErrorText();
        EXPECT_NE(text.find(c.words), std::string::npos) << text;
        EXPECT_NE(text.find(c.path), std::string::npos) << text;
        std::string checked;
        EXPECT_EQ(dev->check(checked), c.code);
        EXPECT_FALSE(dev->isOpen());
    }
    loop.doEvents();
    EXPECT_TRUE(take(MM_WIM_OPEN).empty());

    // The intact files open.
    for (const auto& path : {good, flac}) {
        resetWaveDevices();
        addWaveInDevice(std::make_shared<SoundFileWaveIn>(path));
        const HWAVEIN h = openIn(0);
        EXPECT_NE(h, 0) << path;
        EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
    }
}

TEST_F(WaveTest, EnvironmentFileComesFirstWithItsNameCut) {
    const std::string longName = "a-rather-long-recording-of-the-band.wav";
    const std::string path = writeFile(longName, sine(200, kRate, 0.2), 1, kRate);
    addWaveInDevice(std::make_shared<ScriptedWaveIn>("Scripted"));
    setenv("KORVELLA_INPUT_FILE", path.c_str(), 1);
    resetWaveDevices();  // reads the variable again
    const UINT scripted = addWaveInDevice(std::make_shared<ScriptedWaveIn>("Scripted"));
    EXPECT_EQ(scripted, 1u);
    ASSERT_EQ(waveInGetNumDevs(), 2u);
    WAVEINCAPSA caps;
    ASSERT_EQ(waveInGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(caps.szPname), ("File: " + longName).substr(0, 31));
    ASSERT_EQ(waveInGetDevCapsA(1, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Scripted");

    const HWAVEIN h = openIn(0);
    Buffer b(kFrames);
    queue(h, b);
    waveInStart(h);
    loop.advance(21);
    ASSERT_EQ(take(MM_WIM_DATA).size(), 1u);
    EXPECT_NEAR(crossingsPerSecond(b.data, kRate), 200.0, 2.0);
    waveInReset(h);
    waveInClose(h);

    setenv("KORVELLA_INPUT_FILE", (dir / "gone.wav").string().c_str(), 1);
    resetWaveDevices();
    ASSERT_EQ(waveInGetNumDevs(), 1u) << "a named file is listed even when it cannot be opened";
    const WAVEFORMATEX f = makePcmFormat(kRate, 1);
    HWAVEIN bad = 0;
    EXPECT_EQ(waveInOpen(&bad, 0, &f, static_cast<DWORD_PTR>(hwnd), 0, CALLBACK_WINDOW), MMSYSERR_NODRIVER);
    EXPECT_NE(waveLastErrorText().find("gone.wav"), std::string::npos);
}

TEST(WaveFormat, PcmRecordAndErrorTexts) {
    const WAVEFORMATEX f = makePcmFormat(50000, 2);
    EXPECT_EQ(f.wFormatTag, 1);
    EXPECT_EQ(f.nBlockAlign, 4);
    EXPECT_EQ(f.nAvgBytesPerSec, 200000u);
    EXPECT_EQ(f.cbSize, 0);
    EXPECT_EQ(waveErrorText(WAVERR_STILLPLAYING), "Cannot perform this operation while media data is still playing.");
    EXPECT_NE(waveErrorText(12345).find("12345"), std::string::npos);
    EXPECT_EQ(waveProductName(""), "");
    EXPECT_EQ(waveProductName(std::string(32, 'q')).size(), 31u);
}
