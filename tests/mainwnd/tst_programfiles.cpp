// Program files and editor tabs: new, open, save, save as, close, the modified mark, saving
// that fails without harm, unreadable files, the encoding a file is written back in, the
// program extension added by the save dialog, files that are refused before they are read,
// and command lines arriving from the panel.

#include "mainwndtesting.h"

#include "tarvoprogedit.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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

// Should a reader block in opening the pipe at path, this opens the writing end after a
// while and closes it again, so the reader sees an empty file and the test fails instead of
// hanging. Nobody reading: the non-blocking open fails and nothing happens.
class PipeUnblocker {
public:
    explicit PipeUnblocker(const QString& path)
        : fifo(QFile::encodeName(path).toStdString())
        , thread([this] {
            std::unique_lock<std::mutex> lock(mutex);
            if (done.wait_for(lock, std::chrono::seconds(10), [this] { return finished; }))
                return;
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        })
    {
    }
    ~PipeUnblocker()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            finished = true;
        }
        done.notify_one();
        thread.join();
    }

private:
    std::string fifo;
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::thread thread;
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
        dialogs->expectCancelledFile();
        window.GetActions().fileSaveAs->trigger();
        QCOMPARE(dialogs->shown.last().text, target + "|" + filter);
    }

    void cancelledSaveAsChangesNothing()
    {
        KavrixMainWnd window;
        window.CurrentEditor()->insertPlainText("GO_PARK;");
        dialogs->expectCancelledFile();
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
        dialogs->expectCancelledFile();
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
        dialogs->expectBox();
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

    // Old programs are Latin-1; they come back byte for byte, non-breaking spaces included,
    // and what is added is written in the file's own encoding.
    void programIsWrittenBackInItsEncoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("appended");
        const QByteArray latin1("# Fr\xe4sen der Nut\nGO_XY_S 100 10 0;\xa0# \xb0\n");
        const QByteArray utf8("# Fr\xc3\xa4sen der Nut\nGO_XY_S 100 10 0;\xc2\xa0# \xc2\xb0\n");
        QTest::newRow("Latin-1 as it is") << latin1 << "Latin-1" << QString();
        QTest::newRow("Latin-1 with a line") << latin1 << "Latin-1" << "WAIT 1; # \u00fcber";
        QTest::newRow("UTF-8 as it is") << utf8 << "UTF-8" << QString();
        QTest::newRow("UTF-8 with a line") << utf8 << "UTF-8" << "WAIT 1; # \u00fcber";
    }

    void programIsWrittenBackInItsEncoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, codec);
        QFETCH(QString, appended);
        const QString file = path("nut.ncprg");
        writeFile(file, bytes);
        KavrixMainWnd window;
        dialogs->fileAnswers.enqueue(file);
        window.GetActions().fileOpen->trigger();
        TarvoProgEdit* const editor = window.CurrentEditor();
        QVERIFY(editor->toPlainText().startsWith(QString("# Fr\u00e4sen der Nut\n")));

        QByteArray expected = bytes;
        if (appended.isEmpty()) {
            // Unchanged: Save As onto the same file writes it again.
            dialogs->fileAnswers.enqueue(file);
            window.GetActions().fileSaveAs->trigger();
        } else {
            editor->appendPlainText(appended);
            window.GetActions().fileSave->trigger();
            expected += '\n';
            expected += codec == "UTF-8" ? appended.toUtf8() : appended.toLatin1();
        }
        QCOMPARE(dialogs->count("warning") + dialogs->count("question"), 0);
        QCOMPARE(readAll(file), expected);
        QVERIFY(!editor->document()->isModified());
    }

    // New programs are UTF-8. A character that Latin-1 cannot hold is not replaced by "?":
    // the operator is asked whether the file may become UTF-8.
    void characterOutsideLatin1AsksForUtf8()
    {
        KavrixMainWnd window;
        window.CurrentEditor()->insertPlainText("# Fr\u00e4sen 5 \u20ac");
        dialogs->fileAnswers.enqueue(path("new.ncprg"));
        window.GetActions().fileSave->trigger();
        QCOMPARE(dialogs->count("question"), 0);
        QCOMPARE(readAll(path("new.ncprg")), QByteArray("# Fr\xc3\xa4sen 5 \xe2\x82\xac"));

        const QString file = path("old.ncprg");
        writeFile(file, "# Fr\xe4sen\n");
        dialogs->fileAnswers.enqueue(file);
        window.GetActions().fileOpen->trigger();
        TarvoProgEdit* const editor = window.CurrentEditor();
        editor->appendPlainText("# 5 \u20ac");
        dialogs->buttonAnswers.enqueue(QMessageBox::Cancel);
        window.GetActions().fileSave->trigger();
        QCOMPARE(dialogs->count("question"), 1);
        const ScriptedDialogs::Shown box = dialogs->shown.last();
        QCOMPARE(box.title, QString("Save Program File"));
        QCOMPARE(box.text, file + " is stored in Latin-1, which cannot hold every character of "
                                  "the program.\nSave it as UTF-8 instead?");
        QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::Cancel);
        QCOMPARE(box.defaultButton, QMessageBox::Cancel);
        QCOMPARE(readAll(file), QByteArray("# Fr\xe4sen\n"));
        QVERIFY(editor->document()->isModified());
        QCOMPARE(window.GetEditorTabWidget()->tabText(1), QString("old.ncprg*"));

        dialogs->buttonAnswers.enqueue(QMessageBox::Yes);
        window.GetActions().fileSave->trigger();
        QCOMPARE(readAll(file), QByteArray("# Fr\xc3\xa4sen\n\n# 5 \xe2\x82\xac"));
        QVERIFY(!editor->document()->isModified());
        // From now on the file is UTF-8: no more questions.
        editor->appendPlainText("# \u00fc");
        window.GetActions().fileSave->trigger();
        QCOMPARE(dialogs->count("question"), 2);
        QCOMPARE(readAll(file), QByteArray("# Fr\xc3\xa4sen\n\n# 5 \xe2\x82\xac\n# \xc3\xbc"));
    }

    // A name typed without extension gets ".ncprg", so the open dialog's filter shows it.
    void saveDialogAddsTheProgramExtension_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::newRow("no extension") << "prog1" << "prog1.ncprg";
        QTest::newRow("other extension") << "a.txt" << "a.txt";
        QTest::newRow("dot in the folder") << "v1.2/prog1" << "v1.2/prog1.ncprg";
        QTest::newRow("program extension") << "v1.2/p.ncprg" << "v1.2/p.ncprg";
    }

    void saveDialogAddsTheProgramExtension()
    {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QVERIFY(QDir(dir->path()).mkdir("v1.2"));
        KavrixMainWnd window;
        window.CurrentEditor()->insertPlainText("GO_PARK;");
        dialogs->fileAnswers.enqueue(path(typed));
        window.GetActions().fileSaveAs->trigger();
        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(readAll(path(written)), QByteArray("GO_PARK;"));
        QCOMPARE(window.CurrentEditor()->documentTitle(), path(written));
        QCOMPARE(window.GetEditorTabWidget()->tabText(0), QFileInfo(written).fileName());
        if (typed != written)
            QVERIFY(!QFile::exists(path(typed)));
    }

    // The dialog asked about the name typed, not about the one with the extension: that one
    // is asked here; No goes back to the dialog, and nothing is replaced unasked.
    void addedExtensionAsksBeforeReplacingAFile()
    {
        const QString existing = path("prog1.ncprg");
        writeFile(existing, "GO_REF;");
        KavrixMainWnd window;
        window.CurrentEditor()->insertPlainText("GO_PARK;");
        dialogs->fileAnswers.enqueue(path("prog1"));
        dialogs->buttonAnswers.enqueue(QMessageBox::No);
        dialogs->expectCancelledFile();
        window.GetActions().fileSaveAs->trigger();  // No, then the dialog is cancelled

        QCOMPARE(dialogs->shown.size(), 3);
        const ScriptedDialogs::Shown question = dialogs->shown.at(1);
        QCOMPARE(question.kind, QString("question"));
        QCOMPARE(question.title, QString("Save Program File"));
        QCOMPARE(question.text,
                 QString("prog1.ncprg already exists.\nDo you want to replace it?"));
        QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(question.defaultButton, QMessageBox::No);
        QCOMPARE(dialogs->shown.at(2).kind, QString("save"));
        QCOMPARE(dialogs->shown.at(2).text, existing + "|" + filter);
        QCOMPARE(readAll(existing), QByteArray("GO_REF;"));
        QVERIFY(!QFile::exists(path("prog1")));
        QCOMPARE(window.GetEditorTabWidget()->tabText(0), QString("Untitled*"));

        dialogs->clear();
        dialogs->fileAnswers.enqueue(path("prog1"));
        dialogs->buttonAnswers.enqueue(QMessageBox::Yes);
        window.GetActions().fileSaveAs->trigger();
        QCOMPARE(dialogs->shown.size(), 2);
        QCOMPARE(readAll(existing), QByteArray("GO_PARK;"));
        QCOMPARE(window.GetEditorTabWidget()->tabText(0), QString("prog1.ncprg"));
    }

    // Only the save dialog adds the extension: a file opened without one is saved under its
    // own name.
    void saveKeepsTheNameOfAnOpenedFile()
    {
        const QString file = path("prog1");
        writeFile(file, "GO_REF;\n");
        KavrixMainWnd window;
        dialogs->fileAnswers.enqueue(file);
        window.GetActions().fileOpen->trigger();
        window.CurrentEditor()->appendPlainText("GO_PARK;");
        window.GetActions().fileSave->trigger();
        QCOMPARE(readAll(file), QByteArray("GO_REF;\n\nGO_PARK;"));
        QVERIFY(!QFile::exists(path("prog1.ncprg")));
    }

    // A pipe would block the open without end, a device deliver without end, a huge file
    // freeze the window: each is refused before it is read.
    void nonRegularOrHugeFileIsRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("pipe") << "pipe.ncprg" << "Not a regular file";
        QTest::newRow("device") << "/dev/zero" << "Not a regular file";
        QTest::newRow("over 4 MiB") << "huge.ncprg" << "The file is larger than 4 MiB";
    }

    void nonRegularOrHugeFileIsRefused()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        const QString file = name.startsWith('/') ? name : path(name);
        QVERIFY(::mkfifo(QFile::encodeName(path("pipe.ncprg")).constData(), 0600) == 0);
        {
            QFile huge(path("huge.ncprg"));
            QVERIFY(huge.open(QIODevice::WriteOnly));
            QVERIFY(huge.resize(4 * 1024 * 1024 + 1));  // sparse: costs no disk space
        }
        const PipeUnblocker unblocker(path("pipe.ncprg"));
        KavrixMainWnd window;
        dialogs->fileAnswers.enqueue(file);
        dialogs->expectBox();
        window.GetActions().fileOpen->trigger();
        QCOMPARE(dialogs->count("warning"), 1);
        const ScriptedDialogs::Shown& box = dialogs->shown.last();
        QCOMPARE(box.title, QString("Error Loading Program from File"));
        QCOMPARE(box.text, "Cannot read file " + file + ":\n" + reason + ".");
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(window.GetEditorTabWidget()->count(), 1);
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
        dialogs->expectBox();
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
            dialogs->expectBox();
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
        dialogs->expectCancelledFile();
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
        dialogs->expectBox();
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
