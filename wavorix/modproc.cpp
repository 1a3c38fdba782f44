#include "wavorix/modproc.h"

#include <atomic>
#include <map>
#include <mutex>

#include "forms/control.h"
#include "platform/loop/cpu_meter.h"
#include "platform/audio/wave.h"
#include "wavorix/fft.h"
#include "wavorix/messages.h"
#include "wavorix/recording.h"
#include "wavorix/state.h"
#include "wavorix/trail.h"
#include "wavorix/xtimer.h"

namespace wavorix::modProc {

using forms::RGB;
using namespace platform;

namespace {

// Which engine each running timer belongs to, so that the timer's thread reaches the busy flag
// and the timer window of the thread that started it.
std::mutex g_timerMutex;
std::map<UINT, EngineState*>& timerOwners() {
    static std::map<UINT, EngineState*> owners;
    return owners;
}

// One of the engine's headers, or nothing for an address that is none of them.
WAVEHDR* ownHeader(EngineState& st, LPARAM lParam) {
    auto* h = reinterpret_cast<WAVEHDR*>(lParam);
    for (auto& mine : st.headers.items())
        if (&mine == h) return h;
    return nullptr;
}

// A buffer that Reset's waveInReset handed back while capture ran: no new block, so it is neither
// counted nor analysed; the recording keeps only the samples the device had put into it.
void keepReturnedSamples(EngineState& st, LPARAM lParam) {
    if ((st.stateFlags & 7) != 7) return;
    WAVEHDR* hdr = ownHeader(st, lParam);
    if (!hdr || hdr->dwBytesRecorded == 0) return;
    if (!st.writerBusy && st.fileNumber > 0) WriteBuffer(static_cast<std::int32_t>(hdr->dwUser));
}

void onWaveData(EngineState& st, LPARAM lParam) {
    if (st.draining) {
        keepReturnedSamples(st, lParam);
        return;
    }
    st.blockCounter = nextCount(st.blockCounter);
    if (!st.stopwatch) st.stopwatch = std::make_unique<clsXTimer>();
    st.stopwatch->Stopp();
    st.arrivalTime = st.stopwatch->TimeElapsed();
    if ((st.stateFlags & 7) != 7) return;
    WAVEHDR* hdr = ownHeader(st, lParam);
    // Start may have queued the buffer again before this notice came: it is the device's now.
    if (!hdr || QueuedAtDevice(*hdr)) return;
    st.arrivedBuffer = static_cast<std::int32_t>(hdr->dwUser);
    BufferRecord& rec = st.records(st.arrivedBuffer);
    rec.arrivalTime = st.arrivalTime;
    if (st.loopMode == 1) {
        rec.arrivalTime2 = st.arrivalTime;
        rec.done = false;
    }
    // The samples are taken before the buffer goes back to the device: once queued, the device's
    // thread may fill it again at any moment.
    FFT::CopyBufferData(st.blockCounter, st.arrivedBuffer);
    if (!st.writerBusy && st.fileNumber > 0) WriteBuffer(st.arrivedBuffer);
    if (st.loopMode == 1 && static_cast<std::int32_t>(waveInGetNumDevs()) == st.devicesAtOpen)
        waveInAddBuffer(st.deviceHandle, hdr, WAVEHDR_SIZE32);
    // Input the device dropped because nothing took it in time counts as missed too.
    for (std::uint32_t n = waveInTakeOverflows(st.deviceHandle); n > 0; --n) st.missedCount = nextCount(st.missedCount);
    if (st.analysisFlags != kStopAnalysis) {
        if (!st.busy && (st.timerId == 0 || st.buffers == 1))
            FFT::Analyze(st.blockCounter, st.arrivedBuffer);
        else if (st.busy)
            st.missedCount = nextCount(st.missedCount);
    }
}

// A played output buffer comes back: analyse it (after the first round), read the next blocks
// into the headers played so far, in order, and hand each one refilled to the device again.
void onWaveOutDone(EngineState& st, LPARAM lParam) {
    WAVEHDR* hdr = ownHeader(st, lParam);
    if (!hdr) return;
    const std::int64_t blockBytes = static_cast<std::int64_t>(st.samples) * 2;
    if (blockBytes <= 0) return;
    const std::int64_t offset = hdr->lpData - reinterpret_cast<char*>(st.capture.data.data());
    const std::int32_t n = static_cast<std::int32_t>(offset / blockBytes) + 1;
    std::int32_t v = st.samples;
    if (n == st.nextPlayIndex) {
        if (st.headers(n).dwUser != 999 && st.analysisFlags > 0) {
            st.arrivedBuffer = n;
            if (!st.busy) {
                // The record of a played block is what the step analyses; mono output plays
                // exactly column n of the capture buffer.
                if (st.channels == 1) FFT::CopyBufferData(st.blockCounter, n);
                FFT::Analyze(st.blockCounter, n);
            } else {
                st.missedCount = nextCount(st.missedCount);
            }
        }
        st.headers(n).dwUser = 1;
        std::int32_t k = n;
        while (st.headers(k).dwUser == 1) {
            v = ReadBuffer(k);
            WAVEHDR& h = st.headers(k);
            if (v != st.samples) h.dwBufferLength = static_cast<std::uint32_t>(v) * 2;
            h.dwUser = 0;
            if (h.dwBufferLength > 0) waveOutWrite(st.deviceHandle, &h, WAVEHDR_SIZE32);
            k = k + 1 > st.buffers ? 1 : k + 1;
            st.nextPlayIndex = st.nextPlayIndex + 1 > st.buffers ? 1 : st.nextPlayIndex + 1;
        }
    } else {
        st.headers(n).dwUser = 1;
    }
    skip91([&] { blinkLamp(st, st.status.lampPhase, RGB(0, 0, 175), 0xFF0000); });
    if (v == 0) {
        bool allEmpty = true;
        for (const auto& h : st.headers.items()) allEmpty = allEmpty && h.dwBufferLength == 0;
        if (allEmpty) SendMsgText(st.msgWindow, "doneplay");
    }
}

// Puts proc in front of the window's procedure (flag 1; failNumber when that fails) or gives the
// window its own back (any other flag). Window is the engine's slot for it, emptied on removal;
// a template because the timer's slot is atomic (its thread reads it).
template <class WindowSlot>
void subclass(EngineState& st, std::int32_t flag, WindowSlot& window, WndProc& oldProc, WndProc proc,
              std::int32_t failNumber) {
    auto& reg = WindowRegistry::current();
    if (flag == 1) {
        if (oldProc) raise(1001, "Subclassing is already active!", kSource);
        oldProc = reg.setWindowProc(window, proc);
        if (oldProc) {
            st.procError = 0;
            return;
        }
        window = 0;
        st.procError = kProcRemoved;
        raise(failNumber, "Subclassing failed!", kSource);
    }
    if (oldProc) reg.setWindowProc(window, oldProc);
    oldProc = nullptr;
    window = 0;
    st.procError = kProcRemoved;
}

}  // namespace

bool SubClassWaveIn(std::int32_t flag) {
    EngineState& st = engine();
    return withTrail("Sub SubClassWaveIn in Wavorix", [&] {
        subclass(st, flag, st.waveWindow, st.oldWaveProc, WindowProcWave, 1001);
        if (flag != 1) skip91([&] { setLamp(st, RGB(127, 127, 127)); });
        return true;
    });
}

bool SubClassTimer(std::int32_t flag) {
    EngineState& st = engine();
    return withTrail("Sub SubClassTimer in Wavorix", [&] {
        subclass(st, flag, st.timerWindow, st.oldTimerProc, WindowProcTimer, 1002);
        return true;
    });
}

LRESULT WindowProcWave(HWND /*hwnd*/, UINT msg, WPARAM /*wParam*/, LPARAM lParam) {
    platform::cpumeter::Scope meter(platform::cpumeter::Part::Capture);
    EngineState& st = engine();
    st.nestingDepth += 1;
    if (st.nestingDepth > kMaxNesting || st.procError != 0) {
        st.nestingDepth -= 1;
        return 0;
    }
    try {
        switch (msg) {
        case MM_WIM_DATA: onWaveData(st, lParam); break;
        case MM_WIM_OPEN:
            st.stateFlags |= kFlagOpenNotified;
            SendMsgText(st.msgWindow, "start");
            skip91([&] { setLamp(st, RGB(127, 0, 0)); });
            break;
        case MM_WOM_OPEN:
            st.stateFlags |= kFlagOpenNotified;
            SendMsgText(st.msgWindow, "start");
            skip91([&] { setLamp(st, RGB(0, 0, 127)); });
            break;
        case MM_WIM_CLOSE: SendMsgText(st.msgWindow, "closed"); break;
        case MM_WOM_DONE: onWaveOutDone(st, lParam); break;
        default: break;
        }
    } catch (...) {
        const VbError e = currentError();
        st.lastError = e.description();
        st.procError = e.number();
        try {
            SubClassWaveIn(0);
        } catch (...) {
        }
    }
    st.nestingDepth -= 1;
    return 0;
}

LRESULT WindowProcTimer(HWND /*hwnd*/, UINT msg, WPARAM wParam, LPARAM /*lParam*/) {
    platform::cpumeter::Scope meter(platform::cpumeter::Part::Capture);
    EngineState& st = engine();
    try {
        // A tick still queued when Reset began finds nothing more to hand to the host.
        if (msg == kTimerTickMessage && wParam == kTimerTickWParam && !st.busy && !st.draining)
            FFT::Analyze(st.blockCounter, 0);
    } catch (...) {
        const VbError e = currentError();
        if (e.number() != 9999) {
            st.lastError = e.description();
            st.procError = e.number();
            try {
                SubClassTimer(0);
            } catch (...) {
            }
        }
    }
    return 0;
}

void TimerProc(UINT id, UINT /*msg*/, DWORD_PTR /*user*/, DWORD_PTR /*dw1*/, DWORD_PTR /*dw2*/) {
    std::lock_guard lock(g_timerMutex);
    auto it = timerOwners().find(id);
    if (it == timerOwners().end()) return;
    EngineState* st = it->second;
    if (!st->busy.load()) {
        const HWND target = st->timerWindow.load();
        if (target) {
            try {
                WindowRegistry::current().postMessage(target, kTimerTickMessage, kTimerTickWParam, 0);
            } catch (...) {
                // No registry (the host is gone): the tick has nowhere to go.
            }
        }
    }
}

std::int32_t StartTimer(std::int32_t delayMs, std::int32_t user) {
    EngineState& st = engine();
    std::lock_guard lock(g_timerMutex);
    const UINT id = timeSetEvent(static_cast<UINT>(delayMs), 1000, TimerProc, static_cast<DWORD_PTR>(user), TIME_PERIODIC);
    if (id != 0) timerOwners()[id] = &st;
    return static_cast<std::int32_t>(id);
}

void KillTimer(std::int32_t id) {
    timeKillEvent(static_cast<UINT>(id));  // no callback starts after it returns
    std::lock_guard lock(g_timerMutex);
    timerOwners().erase(static_cast<UINT>(id));
}

bool QueuedAtDevice(WAVEHDR& header) {
    // The device's thread marks a buffer done when it hands it back: read that mark as it is
    // published, so that what the device wrote before it is visible here too.
    return (std::atomic_ref<std::uint32_t>(header.dwFlags).load(std::memory_order_acquire) & WHDR_INQUEUE) != 0;
}

void NextBuffer(std::int32_t /*oneShot*/) {
    EngineState& st = engine();
    withTrail("Sub NextBuffer in Wavorix", [&] {
        st.currentBuffer = st.currentBuffer + 1 > st.buffers ? 1 : st.currentBuffer + 1;
        WAVEHDR& h = st.headers(st.currentBuffer);
        const auto full = static_cast<std::uint32_t>(st.samples * 2 * st.channels);
        // A buffer still queued is the device's: its byte count is not ours to read or clear.
        if (static_cast<std::int32_t>(waveInGetNumDevs()) == st.devicesAtOpen && !QueuedAtDevice(h) &&
            (h.dwBytesRecorded == 0 || h.dwBytesRecorded == full)) {
            h.dwBytesRecorded = 0;
            if (static_cast<std::int32_t>(waveInGetNumDevs()) == st.devicesAtOpen)
                waveInAddBuffer(st.deviceHandle, &h, WAVEHDR_SIZE32);
        }
        if (st.oldTimerProc && st.timerId == 0 && st.timerDelay != 0)
            st.timerId = StartTimer(st.timerDelay, st.currentBuffer);
    });
}

}  // namespace wavorix::modProc
