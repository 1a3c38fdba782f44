// What the forms runtime holds for the whole program: its title, the observers that follow the
// forms (the view, the scenario runner), the end of the program, the screen.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/control.h"

namespace forms {

class Form;
class FormSlotBase;

struct FormsObserver {
    virtual ~FormsObserver() = default;
    virtual void formLoaded(Form&) {}
    virtual void formUnloaded(Form&) {}
    virtual void formChanged(Form&, Prop) {}
    virtual void controlChanged(Control&, Prop) {}
    // False: controlChanged is never called (asked once, when added). Every change of every
    // control passes the followers, so one that does not care stays out of the way.
    virtual bool followsControls() const { return true; }
};

class Application {
public:
    static std::string& title();
    static void addObserver(FormsObserver* o);
    static void removeObserver(FormsObserver* o);
    static const std::vector<FormsObserver*>& observers();
    // Those of observers() that follow the controls' changes.
    static const std::vector<FormsObserver*>& controlObservers();

    // End: stops at once, no unload handler runs, and no further statement of any handler: the
    // handlers on the stack unwind to the outermost entry (platform::ProgramEnded). The
    // program's hook quits the loop.
    static void End();
    static bool ended();
    static void setEndHook(std::function<void()> hook);

    // Screen size in pixels (the view reports the real one).
    static int screenWidthPx();
    static int screenHeightPx();
    static void setScreenSize(int widthPx, int heightPx);

    // Every global form instance, in the order they were declared.
    static std::vector<FormSlotBase*>& formSlots();
    // Number of loaded forms (what DoEvents returns).
    static int loadedForms();
    // Drops every instance without handlers and clears the ended state (tests).
    static void reset();
    // Frees instances unloaded while their own handlers still ran (called when the outermost
    // entry into the program's code ends, so that none of their handlers is on the stack).
    static void collectGarbage();
    static void keepUntilIdle(std::unique_ptr<Form> form);
};

// The pump as the program calls it: returns the number of loaded forms.
int DoEvents();

}  // namespace forms
