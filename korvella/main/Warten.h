// The one way for the windows to pause without freezing: sleep in slices, pump between them.
#pragma once
#include <cstdint>

namespace korvella {

// Waits Milliseconds (0 or less: returns at once, nothing pumped). Flag is unused (callers pass -1);
// SliceMs is the sleep per pass (0 or less: only pump). Handlers, other waits included, run inside.
void WartenMs(double Milliseconds, std::int32_t Flag = -1, std::int32_t SliceMs = 1);

}  // namespace korvella
