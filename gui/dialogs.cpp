#include "gui/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeView>
#include <map>
#include <memory>

#include "forms/application.h"
#include "gui/bindings.h"
#include "platform/loop/eventloop.h"
#include "platform/error.h"
#include "platform/storage/files.h"

namespace gui {

namespace {
bool haveWidgets() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

QString crlfToLf(const std::string& text) {
    QString s = detail::toQString(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(u'\r', u'\n');
    return s;
}
}  // namespace

std::string QtDialogs::buttonText(int answer) {
    switch (answer) {
    case platform::IDOK: return "OK";
    case platform::IDCANCEL: return "Abbrechen";
    case platform::IDABORT: return "&Abbrechen";
    case platform::IDRETRY: return "&Wiederholen";
    case platform::IDIGNORE: return "&Ignorieren";
    case platform::IDYES: return "&Ja";
    case platform::IDNO: return "&Nein";
    default: return "OK";
    }
}

std::vector<std::string> QtDialogs::nameFilters(const std::string& filter) {
    std::vector<std::string> out;
    static const QRegularExpression trailingPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    for (const auto& f : platform::parseFileFilter(filter)) {
        // Qt reads the patterns from the last parentheses; the text may carry its own.
        QString text = detail::toQString(f.text);
        text.remove(trailingPatterns);
        QStringList patterns;
        for (const auto& p : f.patterns) patterns << detail::toQString(p == "*.*" ? std::string("*") : p);
        out.push_back(detail::fromQString(text + QStringLiteral(" (") + patterns.join(u' ') + u')'));
    }
    if (out.empty()) out.push_back("Alle Dateien (*)");
    return out;
}

void QtDialogs::runUntilClosed(QWidget& box, const bool& closed) {
    platform::EventLoop* loop = platform::EventLoop::currentOrNull();
    QPointer<QWidget> alive(&box);
    // The cooperative wait of the program: pump, then a millisecond's sleep, until the box is done.
    while (!closed && alive && !forms::Application::ended()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (loop) {
            loop->doEvents();
            if (closed || loop->quitting()) break;
            loop->sleepMs(1);
        }
    }
    // The program ended while the box was open: the handler that opened it does not go on.
    platform::unwindIfEnded();
}

int QtDialogs::msgBox(const std::string& text, int style, const std::string& title) {
    if (!haveWidgets()) return platform::StderrDialogs().msgBox(text, style, title);
    const std::vector<int> answers = platform::msgBoxButtons(style);
    const std::optional<int> escape = platform::msgBoxEscapeAnswer(style);

    auto box = std::make_unique<QMessageBox>();
    box->setWindowTitle(detail::toQString(title.empty() ? forms::Application::title() : title));
    box->setText(crlfToLf(text));
    box->setTextFormat(Qt::PlainText);
    switch (style & 0x70) {
    case platform::MB_ICONCRITICAL: box->setIcon(QMessageBox::Critical); break;
    case platform::MB_ICONQUESTION: box->setIcon(QMessageBox::Question); break;
    case platform::MB_ICONEXCLAMATION: box->setIcon(QMessageBox::Warning); break;
    case platform::MB_ICONINFORMATION: box->setIcon(QMessageBox::Information); break;
    default: break;
    }
    // Every button plays the same role, so Qt neither reorders them nor picks an escape button
    // of its own: a Yes/No box cannot be closed by Esc or the close box, as on the desktop.
    std::map<QAbstractButton*, int> answerOf;
    for (int a : answers) {
        QPushButton* b = box->addButton(detail::toQString(buttonText(a)), QMessageBox::ActionRole);
        b->setObjectName(QStringLiteral("answer%1").arg(a));
        answerOf[b] = a;
        if (a == platform::msgBoxDefaultAnswer(style)) box->setDefaultButton(b);
        if (escape && a == *escape) box->setEscapeButton(b);
    }
    if (style & platform::MB_SYSTEMMODAL) box->setWindowFlag(Qt::WindowStaysOnTopHint);
    box->setWindowModality(Qt::ApplicationModal);

    bool closed = false;
    QObject::connect(box.get(), &QDialog::finished, box.get(), [&closed] { closed = true; });
    box->show();
    runUntilClosed(*box, closed);
    // Closed by its close box (only where an escape answer exists) counts as that answer; a box
    // abandoned because the program ended answers its default.
    auto it = answerOf.find(box->clickedButton());
    if (it != answerOf.end()) return it->second;
    return escape ? *escape : platform::msgBoxDefaultAnswer(style);
}

std::string QtDialogs::startFolder() const {
    if (!lastFolder_.empty() && QFileInfo(detail::toQString(lastFolder_)).isDir()) return lastFolder_;
    try {
        return platform::appPath();
    } catch (const platform::VbError&) {
        return {};  // Qt's own choice then
    }
}

std::optional<std::string> QtDialogs::fileBox(bool save, const std::string& filter, const std::string& title,
                                              const std::string& initialDir) {
    auto box = std::make_unique<QFileDialog>();
    // Qt's own dialog: a platform one would run a loop of its own and stop the program's.
    box->setOption(QFileDialog::DontUseNativeDialog);
    box->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    box->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The common dialog asks before overwriting only when told to; the program never tells it.
    box->setOption(QFileDialog::DontConfirmOverwrite);
    box->setWindowTitle(detail::toQString(title.empty() ? (save ? "Speichern unter" : "Öffnen") : title));
    QStringList filters;
    for (const auto& f : QtDialogs::nameFilters(filter)) filters << detail::toQString(f);
    box->setNameFilters(filters);
    const std::string folder = initialDir.empty() ? startFolder() : initialDir;
    if (!folder.empty()) box->setDirectory(detail::toQString(folder));
    box->setWindowModality(Qt::ApplicationModal);
    // Room for the names, and the size, type and date columns as wide as what they show: Qt's
    // own widths cut a size to "273…tes".
    box->resize(820, 520);
    if (auto* files = box->findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = files->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column = 1; column < header->count(); ++column)
            header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }

    bool closed = false;
    QObject::connect(box.get(), &QDialog::finished, box.get(), [&closed] { closed = true; });
    box->show();
    runUntilClosed(*box, closed);
    if (box->result() != QDialog::Accepted || box->selectedFiles().isEmpty()) return std::nullopt;
    const QString chosen = box->selectedFiles().front();
    lastFolder_ = detail::fromQString(QFileInfo(chosen).absolutePath());
    return detail::fromQString(chosen);
}

std::optional<std::string> QtDialogs::fileOpen(const std::string& filter, const std::string& title,
                                               const std::string& initialDir) {
    if (!haveWidgets()) return platform::StderrDialogs().fileOpen(filter, title, initialDir);
    return fileBox(false, filter, title, initialDir);
}

std::optional<std::string> QtDialogs::fileSave(const std::string& filter, const std::string& title,
                                               const std::string& initialDir) {
    if (!haveWidgets()) return platform::StderrDialogs().fileSave(filter, title, initialDir);
    return fileBox(true, filter, title, initialDir);
}

bool useGermanQtTexts() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return false;
    auto* texts = new QTranslator(app);
    if (texts->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(texts))
        return true;
    delete texts;
    return false;
}

}  // namespace gui
