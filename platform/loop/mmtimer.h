// The multimedia timer: periodic (or one-shot) callbacks at a period in milliseconds.
//
// On the real clock each timer has a thread that sleeps to each period; the callback runs on that
// thread (it should only post). On the virtual clock (the current loop is virtual) the callbacks
// run on the loop's thread at the virtual times they fall due: start + k x delay, exactly.
//
// A callback never overlaps itself: a tick that falls due while the callback still runs is
// dropped and the next one keeps the grid. timeKillEvent waits for a callback that is running
// on the timer's thread to finish (unless called from inside that callback) and no callback
// starts after it returns; a message the callback posted before may still arrive.
#pragma once
#include <cstdint>
#include <functional>

#include "platform/audio/wave_types.h"

namespace platform {

inline constexpr UINT TIME_ONESHOT = 0x0000;
inline constexpr UINT TIME_PERIODIC = 0x0001;
inline constexpr UINT TIME_CALLBACK_FUNCTION = 0x0000;
inline constexpr UINT TIME_KILL_SYNCHRONOUS = 0x0100;

using LPTIMECALLBACK = void (*)(UINT id, UINT msg, DWORD_PTR user, DWORD_PTR dw1, DWORD_PTR dw2);

// Returns the timer's id, or 0 when the delay is 0 or above 1000000 ms, or no callback is given.
// The resolution is accepted and ignored.
UINT timeSetEvent(UINT delayMs, UINT resolutionMs, LPTIMECALLBACK callback, DWORD_PTR user, UINT flags);
// The same with any callable (it gets the timer's id).
UINT timeSetEvent(UINT delayMs, UINT resolutionMs, std::function<void(UINT id)> callback, UINT flags);
// TIMERR_NOERROR, or MMSYSERR_INVALPARAM for an id that is not running.
MMRESULT timeKillEvent(UINT id);
// Number of timers running (a one-shot timer stops by itself after its tick).
std::size_t activeTimerCount();

}  // namespace platform
