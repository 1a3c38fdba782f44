#include "forms/errors.h"

#include <cstdio>
#include <optional>

#include "forms/application.h"
#include "platform/windows/dialogs.h"
#include "platform/loop/eventloop.h"

namespace forms {

namespace {
UnhandledPolicy g_policy = UnhandledPolicy::LogAndContinue;
platform::ErrState g_lastUnhandled;

void note(const VbError& e, platform::ErrState& into) {
    into.number = e.number();
    into.description = e.description();
    into.source = e.source();
}
}  // namespace

bool tryStmt(FunctionRef<void()> statement) {
    try {
        statement();
        return true;
    } catch (const VbError& e) {
        note(e, platform::Err());
        return false;
    }
}

void noteSkipped(int number) {
    // The same failure every tick: its standard text is looked up once.
    thread_local std::optional<VbError> last;
    if (!last || last->number() != number) last.emplace(number);
    note(*last, platform::Err());
}

bool condOrTrue(FunctionRef<bool()> condition) {
    try {
        return condition();
    } catch (const VbError& e) {
        note(e, platform::Err());
        return true;
    }
}

void setUnhandledPolicy(UnhandledPolicy policy) { g_policy = policy; }
UnhandledPolicy unhandledPolicy() { return g_policy; }
const platform::ErrState& lastUnhandled() { return g_lastUnhandled; }

void runHandler(const std::function<void()>& handler) {
    if (platform::programEnded()) return;
    platform::runAsEntry([&] {
        try {
            handler();
        } catch (const VbError& e) {
            note(e, g_lastUnhandled);
            const std::string text = "Run-time error '" + std::to_string(e.number()) + "':\r\n\r\n" + e.description();
            if (g_policy == UnhandledPolicy::ShowAndEnd) {
                platform::dialogs().msgBox(text, 16, Application::title());
                Application::End();
            } else {
                std::fprintf(stderr, "%s: run-time error %d: %s\n", Application::title().c_str(), e.number(),
                             e.description().c_str());
            }
        }
    });
}

}  // namespace forms
