// Loading a large playlist through the editor's "Lade Playlist": the CPU time headless (the
// forms runtime alone) and with the Qt view on the offscreen platform showing every row, and
// their ratio. Prints the figures:
//
//   playlist_view_bench [ROWS]     (default 100000)
#include <QApplication>
#include <QListWidget>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "forms/application.h"
#include "forms/errors.h"
#include "forms/runtime.h"
#include "gui/view.h"
#include "korvella/windows.h"
#include "platform/windows/dialogs.h"
#include "platform/storage/files.h"

namespace {

double cpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Loads the file through the editor's button; with a view, until its list shows every row.
double load(const std::string& file, int rows, bool withView) {
    forms::Runtime rt(forms::Runtime::ClockKind::Virtual);
    platform::ScriptedDialogs dialogs;
    platform::setDialogs(&dialogs);
    std::unique_ptr<gui::View> view;
    if (withView) view = std::make_unique<gui::View>(rt.loop(), rt.windows());
    auto& editor = korvella::Form2();
    if (withView) korvella::Form2.Show();
    rt.loop().advance(50);
    dialogs.pushFile(file);
    const double start = cpuSeconds();
    forms::runHandler([&] { editor.Command6.setValue(true); });
    if (withView) {
        rt.loop().advance(gui::View::kFrameMs);
        auto* list = qobject_cast<QListWidget*>(view->widget(editor.List1));
        if (!list || list->count() != rows) std::fprintf(stderr, "playlist_view_bench: the view shows %d rows\n", list ? list->count() : -1);
    }
    const double used = cpuSeconds() - start;
    if (editor.List1.ListCount() != rows) std::fprintf(stderr, "playlist_view_bench: %d rows loaded\n", editor.List1.ListCount());
    forms::Application::reset();
    view.reset();
    platform::setDialogs(nullptr);
    return used;
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    if (rows <= 0) {
        std::fprintf(stderr, "usage: playlist_view_bench [ROWS]\n");
        return 2;
    }
    std::string tmpl = (std::filesystem::temp_directory_path() / "korvella-list-bench-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) return 1;
    const std::filesystem::path dir = tmpl;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("KORVELLA_NO_SYSTEM_AUDIO", "1", 1);
    ::setenv("KORVELLA_HOME", (dir / "home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    int qargc = 1;
    char name[] = "playlist_view_bench";
    char* qargv[] = {name, nullptr};
    QApplication app(qargc, qargv);

    const std::string file = (dir / "gross.bpl").string();
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(rows));
    for (int i = 0; i < rows; ++i) lines.push_back("Warte Millisekunden " + std::to_string(100 + i % 900) + "_");
    platform::writeTextLines(file, lines);

    const double headless = load(file, rows, false);
    const double viewed = load(file, rows, true);
    std::printf("rows %d\nheadless %.3f s CPU\nview %.3f s CPU\nratio %.2f\n", rows, headless, viewed,
                headless > 0 ? viewed / headless : 0.0);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
