#include "wavorix/trail.h"

#include <new>
#include <stdexcept>

#include "platform/loop/eventloop.h"
#include "wavorix/state.h"

namespace wavorix {

platform::VbError currentError() {
    try {
        throw;
    } catch (const platform::ProgramEnded&) {
        // The program's end is no error: it goes on unwinding through every handler.
        throw;
    } catch (const platform::VbError& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return platform::VbError(7, {}, kSource);
    } catch (const std::exception& e) {
        return platform::VbError(51, std::string("Internal error: ") + e.what(), kSource);
    } catch (...) {
        return platform::VbError(51, "Internal error", kSource);
    }
}

void reraise(const platform::VbError& e, std::string_view procedure) {
    engine().lastError = e.description();
    throw platform::VbError(e.number(), e.description() + kLineBreak + std::string(procedure), kSource);
}

}  // namespace wavorix
