// BMOVE: the program's memory move between two buffers, with its own checks and messages.
#pragma once
#include <cstdint>

namespace vb {

// Moves byteCount bytes from source to destination; overlapping ranges are copied as if through
// a temporary buffer. A count of 0 does nothing. A negative count, or (after that) a null
// destination, shows an information box titled "BMOVE" and moves nothing; the caller goes on as
// if the move had happened. A null source with a positive count moves nothing either (the
// original would fault there).
void BMOVE(const void* source, void* destination, std::int32_t byteCount);

} // namespace vb
