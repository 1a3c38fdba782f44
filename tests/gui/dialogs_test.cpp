#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "gui/dialogs.h"
#include "platform/storage/files.h"
#include "support.h"

using namespace platform;

namespace {

class QtDialogsTest : public testsupport::VirtualTest {
protected:
    QtDialogsTest() {
        guitest::app();
        // Should a hook miss its box, the box is closed after ten virtual seconds.
        safety.setInterval(10000);
        safety.setEnabled(true);
    }
    ~QtDialogsTest() override { forms::Application::reset(); }

    // Runs on the open box as soon as the box's loop pumps (a zero-delay hook).
    template <class Box>
    void whenOpen(std::function<void(Box&)> fn) {
        QTimer::singleShot(0, [fn] {
            auto* box = qobject_cast<Box*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr) << "no box open";
            fn(*box);
        });
    }

    struct Seen {
        QStringList buttons;
        QString defaultButton, text, title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    };
    // Opens a box, notes what it shows and presses the button with the given caption.
    int answer(const std::string& text, int style, const std::string& title, const QString& press, Seen& seen) {
        whenOpen<QMessageBox>([&seen, press](QMessageBox& box) {
            for (auto* b : box.buttons()) seen.buttons << b->text();
            std::sort(seen.buttons.begin(), seen.buttons.end(), [&box](const QString& a, const QString& b) {
                auto pos = [&box](const QString& t) {
                    for (auto* btn : box.buttons())
                        if (btn->text() == t) return btn->x();
                    return -1;
                };
                return pos(a) < pos(b);
            });
            seen.defaultButton = box.defaultButton() ? box.defaultButton()->text() : QString();
            seen.text = box.text();
            seen.title = box.windowTitle();
            seen.icon = box.icon();
            for (auto* b : box.buttons())
                if (b->text() == press) b->click();
        });
        return dialogs.msgBox(text, style, title);
    }

    gui::QtDialogs dialogs;
    LoopTimer safety{[] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            ADD_FAILURE() << "a box stayed open";
            w->close();
            if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
        }
    }};
};

TEST_F(QtDialogsTest, MessageBoxesShowTheirButtonsIconAndDefaultByStyle) {
    forms::Application::title() = "Korvella";
    Seen seen;
    EXPECT_EQ(answer("Playlist speichern?", MB_YESNO, "", "&Nein", seen), IDNO);
    EXPECT_EQ(seen.buttons, QStringList({"&Ja", "&Nein"}));
    EXPECT_EQ(seen.defaultButton, "&Ja");
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.title, "Korvella") << "an empty title is the application's";

    seen = {};
    EXPECT_EQ(answer("Zeile 1\r\nZeile 2", MB_YESNOCANCEL + MB_ICONQUESTION + MB_DEFBUTTON2, "Frage", "Abbrechen", seen),
              IDCANCEL);
    EXPECT_EQ(seen.buttons, QStringList({"&Ja", "&Nein", "Abbrechen"}));
    EXPECT_EQ(seen.defaultButton, "&Nein");
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.text, "Zeile 1\nZeile 2");
    EXPECT_EQ(seen.title, "Frage");

    seen = {};
    EXPECT_EQ(answer("Fehler", MB_ABORTRETRYIGNORE + MB_ICONCRITICAL + MB_DEFBUTTON3, "x", "&Wiederholen", seen), IDRETRY);
    EXPECT_EQ(seen.buttons, QStringList({"&Abbrechen", "&Wiederholen", "&Ignorieren"}));
    EXPECT_EQ(seen.defaultButton, "&Ignorieren");
    EXPECT_EQ(seen.icon, QMessageBox::Critical);

    seen = {};
    EXPECT_EQ(answer("Gerät fehlt", MB_RETRYCANCEL + MB_ICONEXCLAMATION, "x", "&Wiederholen", seen), IDRETRY);
    EXPECT_EQ(seen.buttons, QStringList({"&Wiederholen", "Abbrechen"}));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);

    seen = {};
    EXPECT_EQ(answer("Fertig", MB_OKCANCEL + MB_ICONINFORMATION + MB_DEFBUTTON4, "x", "OK", seen), IDOK);
    EXPECT_EQ(seen.buttons, QStringList({"OK", "Abbrechen"}));
    EXPECT_EQ(seen.defaultButton, "OK") << "a default naming a missing button falls back to the first";
    EXPECT_EQ(seen.icon, QMessageBox::Information);

    seen = {};
    EXPECT_EQ(answer("Unbekannt", 9, "x", "OK", seen), IDOK) << "an unknown button set is an OK box";
    EXPECT_EQ(seen.buttons, QStringList({"OK"}));
}

TEST_F(QtDialogsTest, EscapeAndTheCloseBoxAnswerOnlyWhereTheBoxAllows) {
    // Yes/No: neither Esc nor the close box closes it.
    bool stillOpen = false;
    whenOpen<QMessageBox>([&stillOpen](QMessageBox& box) {
        QTest::keyClick(&box, Qt::Key_Escape);
        box.close();
        stillOpen = box.isVisible();
        box.buttons().front()->click();
    });
    EXPECT_EQ(dialogs.msgBox("Beenden?", MB_YESNO, "x"), IDYES);
    EXPECT_TRUE(stillOpen);

    whenOpen<QMessageBox>([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
    EXPECT_EQ(dialogs.msgBox("Speichern?", MB_YESNOCANCEL, "x"), IDCANCEL);
    whenOpen<QMessageBox>([](QMessageBox& box) { box.close(); });
    EXPECT_EQ(dialogs.msgBox("Hinweis", MB_OK, "x"), IDOK);
    whenOpen<QMessageBox>([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); });
    EXPECT_EQ(dialogs.msgBox("Weiter?", MB_YESNO + MB_DEFBUTTON2, "x"), IDNO) << "Enter presses the default";
}

TEST_F(QtDialogsTest, TheLoopRunsWhileABoxIsOpen) {
    std::vector<double> ticks;
    bool posted = false;
    LoopTimer timer([&] {
        ticks.push_back(now());
        if (ticks.size() == 3)
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->buttons().front()->click();
    });
    timer.setInterval(100);
    timer.setEnabled(true);
    loop().post([&] { posted = true; });
    EXPECT_EQ(dialogs.msgBox("Warten", MB_OK, "x"), IDOK);
    EXPECT_TRUE(posted);
    EXPECT_EQ(ticks, (std::vector<double>{100, 200, 300}));
    EXPECT_DOUBLE_EQ(now(), 300) << "the box closed in the tick that answered it";

    // The program ending while a box is open leaves the box with its default answer.
    timer.setEnabled(false);
    whenOpen<QMessageBox>([](QMessageBox&) { forms::Application::End(); });
    EXPECT_EQ(dialogs.msgBox("Ende", MB_YESNO + MB_DEFBUTTON2, "x"), IDNO);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(QtDialogsTest, FileBoxesUseTheFilterAndReturnTheFullPath) {
    EXPECT_EQ(gui::QtDialogs::nameFilters("Flash-Filme (*.swf)|*.swf|Bilder|*.jpg; *.gif|Alle Dateien|*.*|"),
              (std::vector<std::string>{"Flash-Filme (*.swf)", "Bilder (*.jpg *.gif)", "Alle Dateien (*)"}));
    EXPECT_EQ(gui::QtDialogs::nameFilters(""), (std::vector<std::string>{"Alle Dateien (*)"}));
    EXPECT_EQ(gui::QtDialogs::nameFilters("nur Text|"), (std::vector<std::string>{"Alle Dateien (*)"}));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath("liste.kpl"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    QStringList filters;
    QString title;
    whenOpen<QFileDialog>([&](QFileDialog& box) {
        filters = box.nameFilters();
        title = box.windowTitle();
        box.selectFile(QStringLiteral("liste.kpl"));
        static_cast<QDialog&>(box).accept();
    });
    auto chosen = dialogs.fileOpen("Playlisten|*.kpl", "", dir.path().toStdString());
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, dir.filePath("liste.kpl").toStdString());
    EXPECT_EQ(filters, QStringList({"Playlisten (*.kpl)"}));
    EXPECT_EQ(title, "Öffnen");

    whenOpen<QFileDialog>([](QFileDialog& box) { box.reject(); });
    EXPECT_FALSE(dialogs.fileOpen("Playlisten|*.kpl", "Laden", dir.path().toStdString()).has_value());

    whenOpen<QFileDialog>([&](QFileDialog& box) {
        title = box.windowTitle();
        box.selectFile(QStringLiteral("neu.kpl"));
        static_cast<QDialog&>(box).accept();
    });
    chosen = dialogs.fileSave("Playlisten|*.kpl", "", dir.path().toStdString());
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, dir.filePath("neu.kpl").toStdString());
    EXPECT_EQ(title, "Speichern unter");
}

TEST_F(QtDialogsTest, FileBoxesSpeakGermanAndStartInTheProgramFolderThenWhereTheOperatorWas) {
    ASSERT_TRUE(gui::useGermanQtTexts()) << "Qt's German translations (qt6-translations-l10n) are missing";
    struct Look {
        QString lookIn, fileName, fileType, accept, cancel, folder;
    };
    auto look = [](QFileDialog& box, QDialogButtonBox::StandardButton acceptButton) {
        Look l;
        auto text = [&box](const char* name) {
            auto* label = box.findChild<QLabel*>(QString::fromLatin1(name));
            return label ? label->text() : QString();
        };
        l.lookIn = text("lookInLabel");
        l.fileName = text("fileNameLabel");
        l.fileType = text("fileTypeLabel");
        if (auto* buttons = box.findChild<QDialogButtonBox*>()) {
            if (auto* b = buttons->button(acceptButton)) l.accept = b->text();
            if (auto* b = buttons->button(QDialogButtonBox::Cancel)) l.cancel = b->text();
        }
        l.folder = QDir(box.directory()).canonicalPath();
        return l;
    };
    const QString program = QDir(QString::fromStdString(platform::appPath())).canonicalPath();
    Look open, save;
    whenOpen<QFileDialog>([&](QFileDialog& box) {
        open = look(box, QDialogButtonBox::Open);
        box.reject();
    });
    EXPECT_FALSE(dialogs.fileOpen("Recorder Files (*.bpl)|*bpl|", "", "").has_value());
    EXPECT_EQ(open.lookIn, "Suchen in:");
    EXPECT_EQ(open.fileName, "Datei&name:");
    EXPECT_EQ(open.fileType, "Dateien des Typs:");
    EXPECT_EQ(open.accept, "&Öffnen");
    EXPECT_EQ(open.cancel, "Abbrechen");
    EXPECT_EQ(open.folder, program) << "a box the program names no folder for opens in the program folder";

    // A file chosen elsewhere: the next box opens there.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath("show.bpl"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    whenOpen<QFileDialog>([&](QFileDialog& box) {
        box.setDirectory(dir.path());
        box.selectFile(QStringLiteral("show.bpl"));
        static_cast<QDialog&>(box).accept();
    });
    ASSERT_TRUE(dialogs.fileOpen("Recorder Files (*.bpl)|*bpl|", "", "").has_value());
    whenOpen<QFileDialog>([&](QFileDialog& box) {
        save = look(box, QDialogButtonBox::Save);
        box.reject();
    });
    EXPECT_FALSE(dialogs.fileSave("Recorder Files (*.bpl)|*bpl|", "", "").has_value());
    EXPECT_EQ(save.folder, QDir(dir.path()).canonicalPath());
    EXPECT_EQ(save.accept, "S&peichern");
    EXPECT_EQ(dialogs.startFolder(), QDir(dir.path()).absolutePath().toStdString());

    // A folder the program names wins; a remembered folder since removed gives way to the program folder.
    dir.remove();
    EXPECT_EQ(dialogs.startFolder(), platform::appPath());
}

}  // namespace
