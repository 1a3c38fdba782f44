#include "forms/bmove.h"

#include <cstring>

#include "platform/windows/dialogs.h"

namespace vb {

void BMOVE(const void* source, void* destination, std::int32_t byteCount) {
    if (byteCount == 0)
        return;
    if (byteCount < 0) {
        platform::dialogs().msgBox("Versuchte Verwendug von BMOVE mit negativer Anzahl von Bytes!",
                                   platform::MB_ICONINFORMATION, "BMOVE");
        return;
    }
    if (destination == nullptr) {
        platform::dialogs().msgBox("Zieladresse ist 0 ", platform::MB_ICONINFORMATION, "BMOVE");
        return;
    }
    if (source == nullptr)
        return;
    std::memmove(destination, source, static_cast<std::size_t>(byteCount));
}

} // namespace vb
