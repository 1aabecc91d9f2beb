// Program files and editor tabs: new, open, save, save as, close, the modified mark, saving
// that fails without harm, unreadable files, and command lines arriving from the panel.

#include "mainwndtesting.h"

#include "tarvoprogedit.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace {

const QString filter = QStringLiteral("NC Programs (*.ncprg);;All Files (*.*)");

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

// Limits the size of files this process may write, for the life of the object.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }

private:
    rlimit saved{};
    void (*previousHandler)(int) = nullptr;
};

}  // namespace

class TestProgramFiles : public MainWndTestCase {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;

    QString path(const QString& name) const { return dir->filePath(name); }

private Q_SLOTS:
    void init()
    {
        startEnvironment();
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
    }

    void cleanup()
    {
        stopEnvironment();
        dir.reset();
    }

    void firstEditMarksTheTabOnce()
    {
        KavrixMainWnd window;
        TarvoProgEdit* const editor = window.CurrentEditor();
        QTest::keyClicks(editor, "GO_PARK;");
        editor->insertPlainText("\nWAIT 100;");
        QCOMPARE(window.GetEditorTabWidget()->tabText(0), QString("Untitled*"));
        // Undo back to the saved text keeps the mark.
        while (editor->document()->isUndoAvailable())
            editor->undo();
        QCOMPARE(editor->toPlainText(), QString());
        QCOMPARE(window.GetEditorTabWidget()->tabText(0), QString("Untitled*"));
    }

    void saveAsWritesTheFileAndRenamesTheTab()
    {
        KavrixMainWnd window;
        TarvoProgEdit* const editor = window.CurrentEditor();
        editor->setPlainText("GO_PARK;\nWAIT 100;");
        const QString target = path("park.ncprg");
        dialogs->fileAnswers.enqueue(target);
        window.GetActions().fileSave->trigger();  // untitled: asks for a name

        QCOMPARE(dialogs->count("save"), 1);
        QCOMPARE(dialogs->shown.last().title, QString("Save Program File"));
        QCOMPARE(dialogs->shown.last().text, "|" + filter);
        QCOMPARE(readAll(target), QByteArray("GO_PARK;\nWAIT 100;"));
        QCOMPARE(window.GetEditorTabWidget()->tabText(0), QString("park.ncprg"));
        QCOMPARE(window.GetEditorTabWidget()->tabToolTip(0), target);
        QCOMPARE(editor->documentTitle(), target);
        QVERIFY(!editor->document()->isModified());
        QVERIFY(!window.GetActions().fileSave->isEnabled());

        // Save again goes to the same file without asking; Save As starts at it.
        editor->appendPlainText("GO_REF;");
        QCOMPARE(window.GetEditorTabWidget()->tabText(0), QString("park.ncprg*"));
        window.GetActions().fileSave->trigger();
        QCOMPARE(dialogs->count("save"), 1);
        QCOMPARE(readAll(target), QByteArray("GO_PARK;\nWAIT 100;\nGO_REF;"));
        QCOMPARE(window.GetEditorTabWidget()->tabText(0), QString("park.ncprg"));
        window.GetActions().fileSaveAs->trigger();  // cancelled
        QCOMPARE(dialogs->shown.last().text, target + "|" + filter);
    }

    void cancelledSaveAsChangesNothing()
    {
        KavrixMainWnd window;
        window.CurrentEditor()->insertPlainText("GO_PARK;");
        window.GetActions().fileSaveAs->trigger();
        QCOMPARE(dialogs->count("save"), 1);
        QCOMPARE(window.GetEditorTabWidget()->tabText(0), QString("Untitled*"));
        QVERIFY(window.CurrentEditor()->document()->isModified());
        QCOMPARE(window.CurrentEditor()->documentTitle(), QString());
    }

    void openShowsTheFileInANewTab()
    {
        const QString file = path("ref.ncprg");
        writeFile(file, "GO_REF;\r\nGO_PARK; # back\r\n");
        KavrixMainWnd window;
        dialogs->fileAnswers.enqueue(file);
        window.GetActions().fileOpen->trigger();

        QCOMPARE(dialogs->shown.last().kind, QString("open"));
        QCOMPARE(dialogs->shown.last().title, QString("Open Program File"));
        QCOMPARE(dialogs->shown.last().text, "|" + filter);
        QTabWidget* const tabs = window.GetEditorTabWidget();
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->currentIndex(), 1);
        QCOMPARE(tabs->tabText(1), QString("ref.ncprg"));
        QCOMPARE(tabs->tabToolTip(1), file);
        QCOMPARE(window.CurrentEditor()->toPlainText(), QString("GO_REF;\nGO_PARK; # back\n"));
        QVERIFY(!window.CurrentEditor()->document()->isModified());
        QVERIFY(!window.GetActions().fileSave->isEnabled());

        // The next open dialog starts at the current editor's file.
        window.GetActions().fileOpen->trigger();
        QCOMPARE(dialogs->shown.last().text, file + "|" + filter);
    }

    void openingAnOpenFileOnlySwitchesToItsTab()
    {
        const QString file = path("a.ncprg");
        writeFile(file, "GO_REF;\n");
        KavrixMainWnd window;
        dialogs->fileAnswers.enqueue(file);
        window.GetActions().fileOpen->trigger();
        window.CurrentEditor()->appendPlainText("WAIT 5;");
        writeFile(file, "changed on disk\n");
        window.GetActions().fileNew->trigger();
        QCOMPARE(window.GetEditorTabWidget()->count(), 3);

        dialogs->fileAnswers.enqueue(file);
        window.GetActions().fileOpen->trigger();
        QCOMPARE(window.GetEditorTabWidget()->count(), 3);
        QCOMPARE(window.GetEditorTabWidget()->currentIndex(), 1);
        QCOMPARE(window.CurrentEditor()->toPlainText(), QString("GO_REF;\n\nWAIT 5;"));
        QVERIFY(window.CurrentEditor()->document()->isModified());
    }

    void unreadableFileIsReportedAndAddsNoTab_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << "missing.ncprg";
        QTest::newRow("directory") << ".";
        QTest::newRow("below a file") << "plain.txt/x.ncprg";
    }

    void unreadableFileIsReportedAndAddsNoTab()
    {
        QFETCH(QString, name);
        writeFile(path("plain.txt"), "x");
        const QString file = path(name);
        KavrixMainWnd window;
        dialogs->fileAnswers.enqueue(file);
        window.GetActions().fileOpen->trigger();
        QCOMPARE(window.GetEditorTabWidget()->count(), 1);
        QCOMPARE(dialogs->count("warning"), 1);
        const ScriptedDialogs::Shown& box = dialogs->shown.last();
        QCOMPARE(box.title, QString("Error Loading Program from File"));
        QVERIFY2(box.text.startsWith("Cannot read file " + file + ":\n"), qPrintable(box.text));
        QVERIFY(box.text.endsWith('.'));
        QVERIFY(box.text.size() > QString("Cannot read file " + file + ":\n.").size());
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    void anyBytesOpenAsText()
    {
        QByteArray bytes;
        for (int i = 0; i < 4096; ++i)
            bytes.append(char(i * 37 % 256));
        bytes.append(QByteArray(100000, 'A'));  // one long line
        const QString file = path("binary.ncprg");
        writeFile(file, bytes);
        KavrixMainWnd window;
        dialogs->fileAnswers.enqueue(file);
        window.GetActions().fileOpen->trigger();
        QCOMPARE(dialogs->count("warning"), 0);
        QCOMPARE(window.GetEditorTabWidget()->count(), 2);
        QVERIFY(window.CurrentEditor()->toPlainText().size() > 100000);
        QVERIFY(window.CurrentEditor()->toPlainText().endsWith(QString(100, 'A')));
    }

    void saveIntoAnImpossiblePlaceKeepsTheTab()
    {
        writeFile(path("plain.txt"), "x");
        const QString target = path("plain.txt/prog.ncprg");
        KavrixMainWnd window;
        window.CurrentEditor()->insertPlainText("GO_PARK;");
        dialogs->fileAnswers.enqueue(target);
        window.GetActions().fileSaveAs->trigger();

        QCOMPARE(dialogs->count("warning"), 1);
        const ScriptedDialogs::Shown& box = dialogs->shown.last();
        QCOMPARE(box.title, QString("Error Saving Program to File"));
        QVERIFY2(box.text.startsWith("Cannot write file " + target + ":\n"),
                 qPrintable(box.text));
        QVERIFY(box.text.endsWith('.'));
        QCOMPARE(window.GetEditorTabWidget()->tabText(0), QString("Untitled*"));
        QCOMPARE(window.GetEditorTabWidget()->tabToolTip(0), QString("Program is not saved yet"));
        QCOMPARE(window.CurrentEditor()->documentTitle(), QString());
        QVERIFY(window.CurrentEditor()->document()->isModified());
    }

    void failingWriteLeavesTheOldFileIntact()
    {
        const QString target = path("keep.ncprg");
        writeFile(target, "GO_REF;\n");
        KavrixMainWnd window;
        dialogs->fileAnswers.enqueue(target);
        window.GetActions().fileOpen->trigger();
        TarvoProgEdit* const editor = window.CurrentEditor();
        editor->selectAll();
        editor->insertPlainText(QString("WAIT 1;\n").repeated(20000));
        {
            // The disk "fills up" after 4 KiB.
            const FileSizeLimit limit(4096);
            window.GetActions().fileSave->trigger();
        }
        QCOMPARE(dialogs->count("warning"), 1);
        QCOMPARE(dialogs->shown.last().title, QString("Error Saving Program to File"));
        QCOMPARE(dialogs->shown.last().text,
                 "Cannot write file " + target + ":\n" + QString::fromLocal8Bit(strerror(EFBIG))
                     + ".");
        QCOMPARE(readAll(target), QByteArray("GO_REF;\n"));
        QCOMPARE(window.GetEditorTabWidget()->tabText(1), QString("keep.ncprg*"));
        QVERIFY(editor->document()->isModified());
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList({"keep.ncprg"}));

        // Space again: the save goes through.
        window.GetActions().fileSave->trigger();
        QCOMPARE(readAll(target).size(), qsizetype(8 * 20000));
        QCOMPARE(window.GetEditorTabWidget()->tabText(1), QString("keep.ncprg"));
    }

    void closeAsksForModifiedProgramsOnly()
    {
        KavrixMainWnd window;
        window.GetActions().fileClose->trigger();  // unmodified: closes without asking
        QCOMPARE(window.GetEditorTabWidget()->count(), 0);
        QCOMPARE(dialogs->shown.size(), 0);
        window.GetActions().fileClose->trigger();  // no tab: nothing
        QCOMPARE(dialogs->shown.size(), 0);

        window.GetActions().fileNew->trigger();
        window.CurrentEditor()->insertPlainText("GO_PARK;");
        dialogs->buttonAnswers.enqueue(QMessageBox::Cancel);
        window.GetActions().fileClose->trigger();
        QCOMPARE(window.GetEditorTabWidget()->count(), 1);
        const ScriptedDialogs::Shown& box = dialogs->shown.last();
        QCOMPARE(box.kind, QString("question"));
        QCOMPARE(box.title, QString("Save Modified File?"));
        QCOMPARE(box.text, QString("Save changes to Untitled?\n"));
        QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(box.defaultButton, QMessageBox::Yes);

        // Yes with a cancelled name dialog keeps the tab.
        dialogs->buttonAnswers.enqueue(QMessageBox::Yes);
        window.GetActions().fileClose->trigger();
        QCOMPARE(dialogs->count("save"), 1);
        QCOMPARE(window.GetEditorTabWidget()->count(), 1);

        // Yes with a name saves, then closes.
        const QString target = path("closing.ncprg");
        dialogs->buttonAnswers.enqueue(QMessageBox::Yes);
        dialogs->fileAnswers.enqueue(target);
        window.GetActions().fileClose->trigger();
        QCOMPARE(window.GetEditorTabWidget()->count(), 0);
        QCOMPARE(readAll(target), QByteArray("GO_PARK;"));
    }

    void closeWithNoDiscardsChangesAndNamesTheFile()
    {
        const QString target = path("named.ncprg");
        writeFile(target, "GO_REF;");
        KavrixMainWnd window;
        dialogs->fileAnswers.enqueue(target);
        window.GetActions().fileOpen->trigger();
        window.CurrentEditor()->appendPlainText("GO_PARK;");
        dialogs->buttonAnswers.enqueue(QMessageBox::No);
        // The close button of the tab itself.
        Q_EMIT window.GetEditorTabWidget()->tabCloseRequested(1);
        QCOMPARE(dialogs->shown.last().text, "Save changes to " + target + "?\n");
        QCOMPARE(window.GetEditorTabWidget()->count(), 1);
        QCOMPARE(readAll(target), QByteArray("GO_REF;"));
    }

    void failedSaveDuringCloseKeepsTheTab()
    {
        writeFile(path("plain.txt"), "x");
        KavrixMainWnd window;
        window.CurrentEditor()->insertPlainText("GO_PARK;");
        dialogs->buttonAnswers.enqueue(QMessageBox::Yes);
        dialogs->fileAnswers.enqueue(path("plain.txt/x.ncprg"));
        window.GetActions().fileClose->trigger();
        QCOMPARE(dialogs->count("warning"), 1);
        QCOMPARE(window.GetEditorTabWidget()->count(), 1);
    }

    void commandsFromThePanelLandInTheCurrentTab()
    {
        KavrixMainWnd window;
        KavrixKernel* const kernel = KavrixKernel::Instance();
        window.GetActions().commandsToEditor->trigger();
        window.GetActions().fileClose->trigger();
        QCOMPARE(window.GetEditorTabWidget()->count(), 0);

        kernel->WriteCommand("GO_PARK;");
        QCOMPARE(window.GetEditorTabWidget()->count(), 1);
        QCOMPARE(window.GetEditorTabWidget()->tabText(0), QString("Untitled*"));
        QCOMPARE(window.CurrentEditor()->toPlainText(), QString("GO_PARK;"));
        QVERIFY(window.GetActions().fileSave->isEnabled());
        kernel->WriteCommand("GO_XY_S 100 10 0;");
        QCOMPARE(window.CurrentEditor()->toPlainText(), QString("GO_PARK;\nGO_XY_S 100 10 0;"));
        QCOMPARE(window.GetEditorTabWidget()->count(), 1);
        QCOMPARE(window.GetEditorTabWidget()->tabText(0), QString("Untitled*"));
        // Nothing went to the output log.
        QVERIFY(!window.GetOutputLog()->toPlainText().contains("GO_PARK;"));
    }

    void fileNamesWithAmpersandsKeepThem()
    {
        const QString target = path("R&D.ncprg");
        writeFile(target, "GO_REF;");
        KavrixMainWnd window;
        dialogs->fileAnswers.enqueue(target);
        window.GetActions().fileOpen->trigger();
        // "&&" shows as one "&" instead of marking a mnemonic.
        QCOMPARE(window.GetEditorTabWidget()->tabText(1), QString("R&&D.ncprg"));
    }
};

QTEST_MAIN(TestProgramFiles)
#include "tst_programfiles.moc"
