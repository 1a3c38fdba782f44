#include "korvella/sim/ScenarioRunner.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <sstream>
#include <string_view>

#include "dmxc-standin/DmxcStandin.h"
#include "forms/application.h"
#include "forms/conv.h"
#include "forms/errors.h"
#include "forms/runtime.h"
#include "korvella/main/FlashPlayerControl.h"
#include "korvella/windows.h"
#include "platform/storage/files.h"
#include "platform/windows/keyboard.h"
#include "player/assets.h"
#include "platform/component.h"
#include "platform/windows/dialogs.h"
#include "platform/audio/wave.h"
#include "platform/audio/wave_file.h"
#include "platform/windows/windows.h"

namespace korvella::sim {

namespace {

std::string formatMs(double ms) {
    char buf[64];
    if (std::fabs(ms - std::round(ms)) < 1e-6)
        std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(std::llround(ms)));
    else
        std::snprintf(buf, sizeof buf, "%.3f", ms);
    return buf;
}

std::string oneLine(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (text[i] == '\r' || text[i] == '\n')
            out += "\\n";
        else
            out += text[i];
    }
    return out;
}

bool parseNumber(const std::string& s, double& v) {
    if (s.empty()) return false;
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return end && *end == '\0' && std::isfinite(v);
}

constexpr int kMaxDmxcButtons = 500;
// The longest run (a day of virtual time): every time is then exact in nanoseconds, and a run
// asked for longer ends with a message instead of never.
constexpr double kMaxRunMs = 24.0 * 3600 * 1000;

forms::FormSlotBase* findForm(const std::string& name) {
    for (auto* slot : forms::Application::formSlots())
        if (slot->name() == name) return slot;
    return nullptr;
}

// The length of a sound file in seconds, 0 when it cannot be read.
double soundFileSeconds(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return 0;
    sf_close(f);
    return info.samplerate > 0 ? static_cast<double>(info.frames) / info.samplerate : 0;
}

class Printer {
public:
    Printer(std::ostream& out, platform::EventLoop& loop) : out_(out), loop_(loop) {}
    void line(double ms, const std::string& kind, const std::string& details) {
        out_ << formatMs(ms) << ' ' << kind;
        if (!details.empty()) out_ << ' ' << details;
        out_ << '\n';
    }
    void line(const std::string& kind, const std::string& details) { line(loop_.nowMs(), kind, details); }

private:
    std::ostream& out_;
    platform::EventLoop& loop_;
};

// Message boxes become lines, answered with their default button; file boxes are cancelled.
class PrintingDialogs final : public platform::DialogService {
public:
    explicit PrintingDialogs(Printer& p) : p_(p) {}
    int msgBox(const std::string& text, int style, const std::string& title) override {
        p_.line("msgbox", oneLine(title) + " | " + oneLine(text));
        return platform::msgBoxDefaultAnswer(style);
    }
    std::optional<std::string> fileOpen(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> fileSave(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }

private:
    Printer& p_;
};

// Follows frmBeats.Text1 and the messages to windows that are not the program's own.
class Watcher final : public forms::FormsObserver, public platform::WindowRegistry::Observer {
public:
    Watcher(Printer& p, platform::WindowRegistry& windows) : p_(p), windows_(windows) {}
    void controlChanged(forms::Control& c, forms::Prop prop) override {
        // Design values set while a window is being built are no change.
        // (Names compared as views: every change of every control passes here.)
        using namespace std::string_view_literals;
        if (prop == forms::Prop::Text && c.name() == "Text1"sv && c.form() && c.form()->name() == "frmBeats"sv && c.form()->isLoaded() &&
            c.kind() == forms::Kind::TextBox)
            p_.line("beat", static_cast<forms::TextBox&>(c).Text());
    }
    // Only the messages, never the registry's changes.
    bool followsWindowChanges() const override { return false; }
    void messageSent(platform::HWND hwnd, platform::UINT msg, platform::WPARAM w, platform::LPARAM l) override {
        // Every window of the program keeps its form or control in the user data slot.
        if (windows_.userData(hwnd)) return;
        char buf[96];
        if (msg == platform::WM_GETTEXT || msg == platform::WM_SETTEXT)
            // lParam is the address of a text buffer: no number worth a line.
            std::snprintf(buf, sizeof buf, "%d 0x%X %llu buffer", hwnd, msg, static_cast<unsigned long long>(w));
        else
            std::snprintf(buf, sizeof buf, "%d 0x%X %llu %lld", hwnd, msg, static_cast<unsigned long long>(w),
                          static_cast<long long>(l));
        p_.line("send", buf);
    }

private:
    Printer& p_;
    platform::WindowRegistry& windows_;
};

// F1 .. F12 as their virtual keys; 0 for other names.
int functionKey(const std::string& name) {
    if (name.size() < 2 || name.size() > 3 || (name[0] != 'F' && name[0] != 'f')) return 0;
    double n = 0;
    if (!parseNumber(name.substr(1), n) || n != std::floor(n) || n < 1 || n > 12) return 0;
    return 0x6F + static_cast<int>(n);
}

std::string performRow(const Action& a, forms::Control* c) {
    using forms::Kind;
    if (c->kind() != Kind::ListBox && c->kind() != Kind::FileListBox && c->kind() != Kind::DirListBox)
        return a.control + " is not a list";
    auto* l = static_cast<forms::ListBox*>(c);
    double v = 0;
    if (!parseNumber(a.value, v) || v != std::floor(v)) return "\"" + a.value + "\" is not a row number";
    const int lowest = c->kind() == Kind::DirListBox ? -static_cast<forms::DirListBox*>(c)->ancestorCount() : 0;
    if (v < lowest || v >= l->ListCount()) {
        if (lowest == 0 && l->ListCount() == 0) return "no row " + a.value + " in " + a.control + " (the list is empty)";
        return "no row " + a.value + " in " + a.control + " (rows " + std::to_string(lowest) + " to " +
               std::to_string(l->ListCount() - 1) + ")";
    }
    if (!c->Enabled()) return a.control + " is disabled";
    const int row = static_cast<int>(v);
    if (a.kind == Action::Kind::ClickRow) l->userClickRow(row);
    if (a.kind == Action::Kind::DblClickRow) l->userDblClickRow(row);
    if (a.kind == Action::Kind::RightClickRow) l->userRightClickRow(row);
    return {};
}

std::string perform(const Action& a, platform::ScriptedKeyboard& keyboard) {
    if (a.kind == Action::Kind::Key) {
        keyboard.press(functionKey(a.control));
        return {};
    }
    forms::FormSlotBase* slot = findForm(a.form);
    if (!slot) return "no window " + a.form;
    if (a.kind == Action::Kind::Close) {
        if (!slot->isLoaded()) return a.form + " is not open";
        // Loaded but hidden: the operator has no close box to click.
        if (!slot->form().Visible()) return a.form + " is hidden (its close box is not on the screen)";
        slot->form().unloadWithHooks(0);
        return {};
    }
    forms::Form& form = slot->form();
    forms::Control* c = form.control(a.control);
    if (!c) return "no control " + a.control + " on " + a.form;
    using forms::Kind;
    try {
        switch (a.kind) {
        case Action::Kind::Click:
            switch (c->kind()) {
            case Kind::CommandButton: static_cast<forms::CommandButton*>(c)->userClick(); return {};
            case Kind::CheckBox: static_cast<forms::CheckBox*>(c)->userClick(); return {};
            case Kind::OptionButton: static_cast<forms::OptionButton*>(c)->userClick(); return {};
            case Kind::Menu: static_cast<forms::Menu*>(c)->userClick(); return {};
            case Kind::PictureBox: {
                auto* p = static_cast<forms::PictureBox*>(c);
                if (p->onMouseDown) p->onMouseDown(1, 0, 0, 0);
                if (p->onMouseUp) p->onMouseUp(1, 0, 0, 0);
                if (p->onClick) p->onClick();
                return {};
            }
            case Kind::Label: {
                auto* l = static_cast<forms::Label*>(c);
                if (l->onClick) l->onClick();
                return {};
            }
            default: return a.control + " cannot be clicked";
            }
        case Action::Kind::Set: {
            double v = 0;
            if (!parseNumber(a.value, v) || v != std::floor(v)) return "\"" + a.value + "\" is not a whole number";
            switch (c->kind()) {
            case Kind::HScrollBar:
            case Kind::VScrollBar: static_cast<forms::ScrollBar*>(c)->setValue(static_cast<long long>(v)); return {};
            case Kind::CheckBox: static_cast<forms::CheckBox*>(c)->setValue(static_cast<int>(v)); return {};
            case Kind::OptionButton: static_cast<forms::OptionButton*>(c)->setValue(v != 0); return {};
            default: return a.control + " has no value to set (text boxes take 'text')";
            }
        }
        case Action::Kind::Text:
            if (c->kind() != Kind::TextBox) return a.control + " is not a text box";
            static_cast<forms::TextBox*>(c)->userEdit(a.value);
            return {};
        case Action::Kind::ClickRow:
        case Action::Kind::DblClickRow:
        case Action::Kind::RightClickRow: return performRow(a, c);
        case Action::Kind::Pick: {
            if (c->kind() != Kind::ComboBox) return a.control + " is not a drop-down list";
            auto* combo = static_cast<forms::ComboBox*>(c);
            for (int i = 0; i < combo->ListCount(); ++i) {
                if (combo->List(i) == a.value) {
                    // The operator's pick: Click only when the choice changes.
                    combo->setListIndex(i);
                    return {};
                }
            }
            return "no item \"" + a.value + "\" in " + a.control;
        }
        case Action::Kind::Key:
        case Action::Kind::Close: break;
        }
    } catch (const platform::VbError& e) {
        return "run-time error " + std::to_string(e.number()) + ": " + oneLine(e.description());
    }
    return {};
}

}  // namespace

std::string Action::describe() const {
    switch (kind) {
    case Kind::Click: return "click " + form + "." + control;
    case Kind::Set: return "set " + form + "." + control + " " + value;
    case Kind::Text: return "text " + form + "." + control + " " + value;
    case Kind::ClickRow: return "clickrow " + form + "." + control + " " + value;
    case Kind::DblClickRow: return "dblclickrow " + form + "." + control + " " + value;
    case Kind::RightClickRow: return "rightclickrow " + form + "." + control + " " + value;
    case Kind::Pick: return "pick " + form + "." + control + " " + value;
    case Kind::Key: return "key " + control + " " + value;
    case Kind::Close: return "close " + form;
    }
    return {};
}

std::string usage() {
    return "usage: korvella-sim --input FILE [--seconds S] [--loop] [--library PATH] [--dmxc N] [--at MS ACTION]...\n"
           "  ACTION: click FORM.CONTROL | set FORM.CONTROL VALUE | text FORM.CONTROL TEXT\n"
           "          | clickrow FORM.LIST ROW | dblclickrow FORM.LIST ROW | rightclickrow FORM.LIST ROW\n"
           "          | pick FORM.COMBO ITEM | key F1..F12 HOLD_MS | close FORM\n"
           "  The program starts at 0 ms; press \"Start\" with --at 0 click frmBeats.cmdStart.\n"
           "  --dmxc N: DMXControl's stand-in runs, its KommandoBox with N effect buttons (0 to 500).\n";
}

std::optional<Options> parseArguments(const std::vector<std::string>& args, std::string& error) {
    Options o;
    auto need = [&](std::size_t i, std::size_t n, const std::string& what) {
        if (i + n < args.size()) return true;
        error = what + " needs " + (n == 1 ? "a value" : std::to_string(n) + " values");
        return false;
    };
    // What an action's last value is, for the message when it is missing.
    auto valueName = [](Action::Kind k) -> std::string {
        switch (k) {
        case Action::Kind::Set: return "a VALUE";
        case Action::Kind::Text: return "a TEXT";
        case Action::Kind::ClickRow:
        case Action::Kind::DblClickRow:
        case Action::Kind::RightClickRow: return "a ROW";
        case Action::Kind::Pick: return "an ITEM";
        case Action::Kind::Key: return "the time it is held in ms (key F1..F12 HOLD_MS)";
        default: return "a value";
        }
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--input") {
            if (!need(i, 1, a)) return std::nullopt;
            o.input = args[++i];
        } else if (a == "--seconds") {
            if (!need(i, 1, a)) return std::nullopt;
            double s = 0;
            if (!parseNumber(args[++i], s) || s <= 0 || s * 1000 > kMaxRunMs) {
                error = "--seconds takes a positive number up to " + std::to_string(static_cast<long>(kMaxRunMs / 1000)) +
                        ", not \"" + args[i] + "\"";
                return std::nullopt;
            }
            o.seconds = s;
        } else if (a == "--loop") {
            o.loopInput = true;
        } else if (a == "--library") {
            if (!need(i, 1, a)) return std::nullopt;
            o.library = args[++i];
        } else if (a == "--dmxc") {
            if (!need(i, 1, a)) return std::nullopt;
            double n = 0;
            if (!parseNumber(args[++i], n) || n != std::floor(n) || n < 0 || n > kMaxDmxcButtons) {
                error = "--dmxc takes a number of buttons from 0 to " + std::to_string(kMaxDmxcButtons) + ", not \"" +
                        args[i] + "\"";
                return std::nullopt;
            }
            o.dmxcButtons = static_cast<int>(n);
        } else if (a == "--at") {
            if (i + 3 >= args.size()) {
                error = "--at needs MS ACTION (" + std::to_string(args.size() - 1 - i) + " of its 3 values given)";
                return std::nullopt;
            }
            Action act;
            if (!parseNumber(args[i + 1], act.ms) || act.ms < 0 || act.ms > kMaxRunMs) {
                error = "--at takes a time in ms from 0 to " + std::to_string(static_cast<long>(kMaxRunMs)) + ", not \"" +
                        args[i + 1] + "\"";
                return std::nullopt;
            }
            const std::string& verb = args[i + 2];
            const std::string& target = args[i + 3];
            static const std::pair<const char*, Action::Kind> withValue[] = {
                {"set", Action::Kind::Set},           {"text", Action::Kind::Text},
                {"clickrow", Action::Kind::ClickRow}, {"dblclickrow", Action::Kind::DblClickRow},
                {"rightclickrow", Action::Kind::RightClickRow}, {"pick", Action::Kind::Pick},
                {"key", Action::Kind::Key}};
            bool valued = false;
            if (verb == "click") {
                act.kind = Action::Kind::Click;
            } else if (verb == "close") {
                act.kind = Action::Kind::Close;
            } else {
                const auto* found = std::find_if(std::begin(withValue), std::end(withValue),
                                                 [&](const auto& v) { return verb == v.first; });
                if (found == std::end(withValue)) {
                    error = "unknown action \"" + verb +
                            "\" (click, set, text, clickrow, dblclickrow, rightclickrow, pick, key or close)";
                    return std::nullopt;
                }
                act.kind = found->second;
                valued = true;
                if (i + 4 >= args.size()) {
                    error = "--at " + args[i + 1] + " " + verb + " " + target + " needs " + valueName(act.kind);
                    return std::nullopt;
                }
                act.value = args[i + 4];
            }
            if (act.kind == Action::Kind::Key) {
                double hold = 0;
                if (!functionKey(target)) {
                    error = "\"" + target + "\" is not a key (F1 to F12)";
                    return std::nullopt;
                }
                if (!parseNumber(act.value, hold) || hold < 0) {
                    error = "key takes the time it is held in ms, not \"" + act.value + "\"";
                    return std::nullopt;
                }
                act.control = target;
            } else if (act.kind == Action::Kind::Close) {
                act.form = target;
            } else {
                const auto dot = target.find('.');
                if (dot == std::string::npos || dot == 0 || dot + 1 == target.size()) {
                    error = "\"" + target + "\" is not FORM.CONTROL";
                    return std::nullopt;
                }
                act.form = target.substr(0, dot);
                act.control = target.substr(dot + 1);
            }
            if (act.kind != Action::Kind::Key && !findForm(act.form)) {
                error = "no window \"" + act.form + "\" (frmBeats, Form1 ... Form5, frmCustom)";
                return std::nullopt;
            }
            i += valued ? 4 : 3;
            o.actions.push_back(std::move(act));
        } else {
            error = "unknown argument \"" + a + "\"";
            return std::nullopt;
        }
    }
    if (o.input.empty()) {
        error = "--input FILE is required";
        return std::nullopt;
    }
    // "close frmBeats" ends the program: nothing after it can run (at the same time, what is
    // given after it runs after it).
    std::size_t end = o.actions.size();
    for (std::size_t k = 0; k < o.actions.size(); ++k)
        if (o.actions[k].kind == Action::Kind::Close && o.actions[k].form == "frmBeats" &&
            (end == o.actions.size() || o.actions[k].ms < o.actions[end].ms))
            end = k;
    for (std::size_t k = 0; end < o.actions.size() && k < o.actions.size(); ++k) {
        const Action &a = o.actions[k], &e = o.actions[end];
        if (a.ms > e.ms || (a.ms == e.ms && k > end)) {
            error = "--at " + vb::CStr(a.ms) + " " + a.describe() + " is after the end of the program (--at " +
                    vb::CStr(e.ms) + " " + e.describe() + ")";
            return std::nullopt;
        }
    }
    for (const Action& a : o.actions)
        if (o.seconds && a.ms > *o.seconds * 1000) {
            error = "--at " + vb::CStr(a.ms) + " " + a.describe() + " is after the end of the run (--seconds " +
                    vb::CStr(*o.seconds) + ")";
            return std::nullopt;
        }
    return o;
}

int run(const Options& o, std::ostream& out, std::ostream& err) {
    forms::Runtime rt(forms::Runtime::ClockKind::Virtual);
    platform::EventLoop& loop = rt.loop();
    Printer printer(out, loop);

    // The file given is device 0, and the only one.
    ::unsetenv("KORVELLA_INPUT_FILE");
    platform::setSystemWaveDevices(false);
    platform::resetWaveDevices();
    auto device = std::make_shared<platform::SoundFileWaveIn>(o.input, o.loopInput);
    {
        std::string why;
        if (device->check(why) != 0) {
            err << "korvella-sim: cannot play " << o.input << ": " << why << '\n';
            return 1;
        }
    }
    const double fileSeconds = soundFileSeconds(o.input);
    std::optional<double> inputStartMs;
    device->setInputStartHook([&](std::int64_t ns) {
        inputStartMs = static_cast<double>(ns) / 1e6;
        printer.line(*inputStartMs, "input", "start");
    });
    platform::addWaveInDevice(device);

    if (!o.library.empty() && platform::com::callRegistrationEntry(o.library, false) != platform::com::S_OK) {
        err << "korvella-sim: cannot register " << o.library << ": " << platform::com::lastCreateError() << '\n';
        platform::resetWaveDevices();
        return 1;
    }

    // The keys the actions hold, as the desktop's key state.
    platform::ScriptedKeyboard keyboard;
    platform::setKeyboard(&keyboard);
    PrintingDialogs dialogs(printer);
    platform::DialogService* previousDialogs = &platform::dialogs();
    platform::setDialogs(&dialogs);
    Watcher watcher(printer, rt.windows());
    forms::Application::addObserver(&watcher);
    rt.windows().addObserver(&watcher);
    FlashPlayerControl::setCallObserver([&](const FlashPlayerControl& c, const std::string& call) {
        if (c.form() && c.form()->name() == "Form1") printer.line("player", call);
    });
    forms::Application::title() = "Korvella";
    forms::Application::setEndHook(nullptr);
    // The program folder gets the dimmer movies and sample effects, as at the program's start.
    try {
        player::installAssets(platform::appPath(), player::defaultAssetsFolder());
    } catch (const platform::VbError& e) {
        err << "korvella-sim: the program folder cannot be used: " << e.description() << "\n";
    }

    // DMXControl runs before the program starts, as on the show machine.
    std::optional<dmxc::Standin> dmxcStandin;
    if (o.dmxcButtons) {
        dmxcStandin.emplace(rt.windows());
        dmxcStandin->openKommandoBox(dmxc::Standin::defaultNames(*o.dmxcButtons));
        dmxcStandin->openManualBeat();
        for (const auto& [hwnd, role] : dmxcStandin->openWindows())
            printer.line("dmxc", "window " + std::to_string(hwnd) + " " + role);
        dmxcStandin->onEvent = [&printer](const dmxc::Event& e) { printer.line(e.ms, "dmxc", e.what); };
    }

    int analysed = 0;
    std::int32_t newest = 0;
    int failures = 0;
    forms::runHandler([&] {
        frmBeats.Show();
        auto previous = frmBeats->Vorix1.onComplete;
        frmBeats->Vorix1.onComplete = [&, previous](std::int32_t block, std::int32_t buffer, double dt) {
            ++analysed;
            newest = block;
            if (previous) previous(block, buffer, dt);
        };
        if (o.prepare) o.prepare();
    });

    // Each action runs at the first pump at or after its time, in a wait of the program too.
    double lastActionMs = 0;
    auto at = [&](double ms, std::function<void()> fn) {
        const auto due = static_cast<std::int64_t>(std::llround(ms * 1e6));
        if (due <= loop.nowNs())
            loop.post(std::move(fn));
        else
            rt.virtualClock()->schedule(due, [&loop, fn] { loop.post(fn); });
    };
    for (const Action& a : o.actions) {
        lastActionMs = std::max(lastActionMs, a.ms);
        at(a.ms, [&printer, &failures, &keyboard, a] {
            const std::string why = perform(a, keyboard);
            if (!why.empty()) {
                ++failures;
                printer.line("error", a.describe() + ": " + why);
            }
        });
        if (a.kind == Action::Kind::Key) {
            const double release = a.ms + std::strtod(a.value.c_str(), nullptr);
            lastActionMs = std::max(lastActionMs, release);
            at(release, [&keyboard, a] { keyboard.release(functionKey(a.control)); });
        }
    }

    auto endMs = [&] {
        if (o.seconds) return *o.seconds * 1000.0;
        double end = lastActionMs + 1000.0;
        if (inputStartMs) end = std::max(end, *inputStartMs + fileSeconds * 1000.0 + 1000.0);
        return end;
    };
    loop.doEvents();
    while (!forms::Application::ended() && loop.nowMs() < endMs()) loop.advance(1);

    std::string missed = "?";
    forms::tryStmt([&] {
        if (auto* f = frmBeats.peekAs()) missed = std::to_string(f->Vorix1.get(korvella::vorix::MissedCount).toInt32());
    });
    const std::string text1 = frmBeats.peekAs() ? frmBeats.peekAs()->Text1.Text() : "?";
    printer.line("end", "Text1=" + text1 + " MissedCount=" + missed + " Blocks=" + std::to_string(newest) +
                            " Analysed=" + std::to_string(analysed));
    out.flush();

    if (dmxcStandin) {
        dmxcStandin->onEvent = nullptr;
        dmxcStandin.reset();
    }
    FlashPlayerControl::setCallObserver(nullptr);
    rt.windows().removeObserver(&watcher);
    forms::Application::removeObserver(&watcher);
    forms::Application::reset();
    platform::setDialogs(previousDialogs);
    platform::setKeyboard(nullptr);
    platform::resetWaveDevices();
    return failures ? 3 : 0;
}

}  // namespace korvella::sim
