#include "forms/application.h"

#include "forms/form.h"
#include "platform/loop/eventloop.h"

namespace forms {

namespace {
struct AppState {
    std::string title = "Korvella";
    std::vector<FormsObserver*> observers;
    std::vector<FormsObserver*> controlObservers;  // those of observers that follow controls
    std::function<void()> endHook;
    bool ended = false;
    int screenW = 1920, screenH = 1080;
    std::vector<std::unique_ptr<Form>> graveyard;
};
AppState& app() {
    static AppState s;
    return s;
}
}  // namespace

std::string& Application::title() { return app().title; }
void Application::addObserver(FormsObserver* o) {
    app().observers.push_back(o);
    if (o->followsControls()) app().controlObservers.push_back(o);
}
void Application::removeObserver(FormsObserver* o) {
    std::erase(app().observers, o);
    std::erase(app().controlObservers, o);
}
const std::vector<FormsObserver*>& Application::observers() { return app().observers; }
const std::vector<FormsObserver*>& Application::controlObservers() { return app().controlObservers; }

void Application::End() {
    if (!app().ended) {
        app().ended = true;
        platform::setProgramEnded(true);
        if (app().endHook) app().endHook();
    }
    // No statement after End runs: the handlers below unwind to the outermost entry.
    platform::unwindIfEnded();
}

bool Application::ended() { return app().ended; }
void Application::setEndHook(std::function<void()> hook) { app().endHook = std::move(hook); }

int Application::screenWidthPx() { return app().screenW; }
int Application::screenHeightPx() { return app().screenH; }
void Application::setScreenSize(int widthPx, int heightPx) {
    app().screenW = widthPx;
    app().screenH = heightPx;
}

std::vector<FormSlotBase*>& Application::formSlots() {
    static std::vector<FormSlotBase*> s;
    return s;
}

int Application::loadedForms() {
    int n = 0;
    for (auto* s : formSlots())
        if (s->isLoaded()) ++n;
    return n;
}

void Application::reset() {
    for (auto* s : formSlots()) s->discard();
    collectGarbage();
    app().ended = false;
    platform::setProgramEnded(false);
}

void Application::collectGarbage() {
    // A control that pumps while it goes (the audio control does) may come back here: free a
    // batch taken out of the list, never the list being freed.
    while (!app().graveyard.empty()) {
        std::vector<std::unique_ptr<Form>> batch;
        batch.swap(app().graveyard);
        batch.clear();
    }
}

void Application::keepUntilIdle(std::unique_ptr<Form> form) { app().graveyard.push_back(std::move(form)); }

int DoEvents() {
    platform::EventLoop::current().doEvents();
    return Application::loadedForms();
}

}  // namespace forms
