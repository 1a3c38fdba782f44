// The capture module: the window procedures that replace those of the hidden text boxes txtSub
// (wave notifications) and txtTim (timer ticks) while the device is open, the multimedia timer's
// callback, and NextBuffer, which queues buffers again in the polling mode.
#pragma once
#include <cstdint>

#include "platform/loop/mmtimer.h"
#include "platform/audio/wave.h"
#include "platform/windows/windows.h"

namespace wavorix::modProc {

inline constexpr platform::UINT kTimerTickMessage = 0x3B7;
inline constexpr platform::WPARAM kTimerTickWParam = 0x41;
inline constexpr int kMaxNesting = 20;

bool SubClassWaveIn(std::int32_t flag);
bool SubClassTimer(std::int32_t flag);
platform::LRESULT WindowProcWave(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wParam,
                                 platform::LPARAM lParam);
platform::LRESULT WindowProcTimer(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wParam,
                                  platform::LPARAM lParam);
// Runs on the multimedia timer's thread (or the virtual clock's): posts the tick to the timer
// window of the engine that started the timer, only while that engine's step is not busy.
void TimerProc(platform::UINT id, platform::UINT msg, platform::DWORD_PTR user, platform::DWORD_PTR dw1,
               platform::DWORD_PTR dw2);
void NextBuffer(std::int32_t oneShot);
// Whether the buffer is queued at the device (its samples may change under us).
bool QueuedAtDevice(platform::WAVEHDR& header);

// The periodic timer of the calling thread's engine (TimerProc as its callback).
std::int32_t StartTimer(std::int32_t delayMs, std::int32_t user);
void KillTimer(std::int32_t id);

}  // namespace wavorix::modProc
