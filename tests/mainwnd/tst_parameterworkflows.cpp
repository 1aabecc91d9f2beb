// The parameter workflows of the main window: load, save, save as, read, write, reset and
// edit, with their boxes, status bar texts, file names and the watchdogs around file dialogs.

#include "mainwndtesting.h"

#include "parametertable.h"
#include "simdevice.h"
#include "tarvoparameters.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/resource.h>

namespace {

const QString Filter = "Kavrix parameter files(*.ncp);;All files(*.*)";
const QString TransferDone = "Parameterübertragung ist abgeschlossen.";

// Records, for every file dialog, whether the watched controller's watchdog was running.
class WatchingDialogs : public ScriptedDialogs {
public:
    const TarvoController* watched = nullptr;
    QList<bool> watchdogDuringFileDialog;

    QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override
    {
        watchdogDuringFileDialog.append(watched && watched->IsTimerActive());
        return ScriptedDialogs::openFileName(parent, caption, dir, filter);
    }
    QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override
    {
        watchdogDuringFileDialog.append(watched && watched->IsTimerActive());
        return ScriptedDialogs::saveFileName(parent, caption, dir, filter);
    }
};

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Replaces the value of one key line of a parameter text.
QString WithValue(const QString& text, const QString& key, const QString& value)
{
    QStringList lines = text.split('\n');
    for (QString& line : lines)
        if (line.startsWith(key + "="))
            line = key + "=" + value + " " + line.mid(line.indexOf('%'));
    return lines.join('\n');
}

}  // namespace

class TestParameterWorkflows : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScriptedPorts> ports;
    std::unique_ptr<WatchingDialogs> dialogs;
    std::unique_ptr<KavrixMainWnd> window;
    std::unique_ptr<QTemporaryDir> dir;
    TarvoController* controller = nullptr;
    std::shared_ptr<quenta::ScriptedDevice> device;

    TarvoParameters& Set() { return controller->GetParameters(); }
    QString Status() const { return window->statusBar()->currentMessage(); }
    QString Path(const QString& name) const { return dir->filePath(name); }

    // Connects COM3, which reads its parameters, and forgets the boxes and calls so far.
    void Connect()
    {
        window->SlotControllerConnect();
        QVERIFY(controller->IsConnected());
        dialogs->clear();
        device->clearCalls();
        window->statusBar()->clearMessage();
    }

private Q_SLOTS:
    void initTestCase() { Q_INIT_RESOURCE(images); }

    void init()
    {
        initTestSettings();
        ports = std::make_unique<ScriptedPorts>();
        dialogs = std::make_unique<WatchingDialogs>();
        dir = std::make_unique<QTemporaryDir>();
        device = ports->device("COM3");
        KavrixKernel::Instance();
        controller = registerController("COM3");
        dialogs->watched = controller;
        window = std::make_unique<KavrixMainWnd>();
    }

    void cleanup()
    {
        window.reset();
        delete KavrixKernel::ExistingInstance();
        dialogs.reset();
        ports.reset();
        dir.reset();
    }

    // --- read and write ---

    void connectReadsTheControllersParameters()
    {
        const float speed = 12.5f;
        std::vector<uint8_t> bytes(4);
        std::memcpy(bytes.data(), &speed, 4);
        device->setParameterReply(0x0101, bytes);
        QVERIFY(!window->GetActions().parameterSave->isEnabled());

        window->SlotControllerConnect();
        QCOMPARE(device->countCalls("ParameterLesen("), 42);
        QCOMPARE(device->calls().back(), std::string("BetriebsArtenWechsel(2)"));
        QCOMPARE(Set().GESCHWINDIGKEITEN_FAHR_FLOAT, speed);
        QVERIFY(Set().IsDefined());
        QCOMPARE(Set().GetFileName(), QString());
        QCOMPARE(Status(), TransferDone);
        QCOMPARE(dialogs->shown.size(), 0);
        QVERIFY(window->GetActions().parameterSave->isEnabled());
        QVERIFY(window->GetActions().parameterWrite->isEnabled());
    }

    void transferFailuresAreShownInOneBox_data()
    {
        QTest::addColumn<bool>("write");
        QTest::newRow("read") << false;
        QTest::newRow("write") << true;
    }

    void transferFailuresAreShownInOneBox()
    {
        QFETCH(bool, write);
        Connect();
        device->setDefaultResult(0);  // the controller answers nothing
        dialogs->expectBox();
        if (write)
            window->SlotParameterWriteToController();
        else
            window->SlotParameterReadFromController();

        QCOMPARE(dialogs->shown.size(), 1);
        const ScriptedDialogs::Shown& box = dialogs->shown[0];
        QCOMPARE(box.kind, QString("warning"));
        QCOMPARE(box.title, write ? QString("SlotParameterWriteToController")
                                  : QString("SlotParameterReadFromController"));
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        const QStringList lines = box.text.split('\n');
        QCOMPARE(lines.size(), 43);
        QCOMPARE(lines[0], QString("Fehler bei der Parameterübertragung:"));
        QCOMPARE(lines[1], write ? QString("Fehler bei Parameterübertragung    HBYTE_MOTORTEST  "
                                           "LBYTE_MOTORTEST_WEGLAENGE_LONG.")
                                 : QString("Fehler bei ParameterLesen    HBYTE_MOTORTEST  "
                                           "LBYTE_MOTORTEST_WEGLAENGE_LONG."));
        QVERIFY(Status() != TransferDone);
    }

    void writeSendsTheSet()
    {
        Connect();
        Set().ResetToDefaults();
        window->SlotParameterWriteToController();
        QCOMPARE(Status(), TransferDone);
        QCOMPARE(device->countCalls("ParameterAendern_float(0101,4)"), 1);
        QCOMPARE(dialogs->shown.size(), 0);
    }

    void theListShowsTheNameReadOrWritten()
    {
        const QByteArray name("Mill in workshop");
        device->setParameterReply(0x0505, std::vector<uint8_t>(name.begin(), name.end()));
        Connect();
        const auto listed = [] {
            KavrixKernel* const kernel = KavrixKernel::Instance();
            return kernel->FindControllerIndex("COM3").siblingAtColumn(1).data().toString();
        };
        QCOMPARE(listed(), QString(name));  // the read that follows the connect

        Set().SONSTIGE_CONTROLLERNAME_CHAR = "Fräse 2";
        window->SlotParameterWriteToController();
        QCOMPARE(listed(), QString("Fräse 2"));
    }

    // --- save and save as ---

    void saveOfASetFromTheControllerAsksForAName()
    {
        Connect();
        dialogs->expectCancelledFile();
        window->SlotParameterSave();
        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(dialogs->shown[0].kind, QString("save"));
        QCOMPARE(dialogs->shown[0].title, QString("Save Parameters to File"));
        QCOMPARE(dialogs->shown[0].text, "|" + Filter);
        QCOMPARE(dialogs->watchdogDuringFileDialog, QList<bool>({false}));
        QVERIFY(controller->IsTimerActive());
        QCOMPARE(Set().GetFileName(), QString());
        QVERIFY(QDir(dir->path()).isEmpty());
        QVERIFY(Status().isEmpty());
    }

    void saveAsWritesTheFileAndAdoptsItsName()
    {
        Connect();
        const QString path = Path("machine.ncp");
        dialogs->fileAnswers.enqueue(path);
        window->SlotParameterSaveAs();
        QCOMPARE(ReadFile(path), Set().SaveToText().toUtf8());
        QCOMPARE(Set().GetFileName(), path);
        QCOMPARE(Status(), QString("File saved"));

        // The next save goes to the same file without asking, replacing all of it.
        dialogs->clear();
        QVERIFY(WriteFile(path, QByteArray(100000, 'x')));
        Set().MOTORTEST_WEGLAENGE_LONG = 1234;
        window->SlotParameterSave();
        QCOMPARE(dialogs->shown.size(), 0);
        QCOMPARE(ReadFile(path), Set().SaveToText().toUtf8());
        QVERIFY(ReadFile(path).startsWith("0000=1234 "));

        // Save as starts where the set's file is.
        dialogs->expectCancelledFile();
        window->SlotParameterSaveAs();
        QCOMPARE(dialogs->shown.last().text, path + "|" + Filter);
    }

    void saveAsAddsTheExtension_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("no extension") << "params1" << "params1.ncp";
        QTest::newRow("dot in the folder") << "my.dir/params1" << "my.dir/params1.ncp";
        QTest::newRow("other extension") << "a.txt" << "a.txt";
        QTest::newRow("own extension") << "b.ncp" << "b.ncp";
        QTest::newRow("empty extension") << "c." << "c.";
    }

    void saveAsAddsTheExtension()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        QVERIFY(QDir(dir->path()).mkdir("my.dir"));
        Connect();
        dialogs->fileAnswers.enqueue(Path(chosen));
        window->SlotParameterSaveAs();
        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(ReadFile(Path(written)), Set().SaveToText().toUtf8());
        QCOMPARE(Set().GetFileName(), Path(written));
        QCOMPARE(Status(), QString("File saved"));
        if (chosen != written)
            QVERIFY(!QFileInfo::exists(Path(chosen)));

        // The load dialog's filter shows what was saved.
        QStringList visible = QDir(QFileInfo(Path(written)).path()).entryList({"*.ncp"});
        QCOMPARE(visible.contains(QFileInfo(written).fileName()), written.endsWith(".ncp"));
    }

    void saveAsAsksBeforeReplacingTheFileWithTheExtension()
    {
        Connect();
        const QString existing = Path("params1.ncp");
        QVERIFY(WriteFile(existing, "0000=5\n"));

        // The file dialog confirmed "params1" only; "params1.ncp" is another file.
        dialogs->fileAnswers.enqueue(Path("params1"));
        dialogs->buttonAnswers.enqueue(QMessageBox::No);
        window->SlotParameterSaveAs();
        QCOMPARE(dialogs->count("question"), 1);
        const ScriptedDialogs::Shown& box = dialogs->shown.last();
        QCOMPARE(box.title, QString("Save Parameters to File"));
        QCOMPARE(box.text, QString("params1.ncp already exists.\nDo you want to replace it?"));
        QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.defaultButton, QMessageBox::No);
        QCOMPARE(ReadFile(existing), QByteArray("0000=5\n"));
        QCOMPARE(Set().GetFileName(), QString());
        QVERIFY(controller->IsTimerActive());

        dialogs->fileAnswers.enqueue(Path("params1"));
        dialogs->buttonAnswers.enqueue(QMessageBox::Yes);
        window->SlotParameterSaveAs();
        QCOMPARE(ReadFile(existing), Set().SaveToText().toUtf8());
        QCOMPARE(Set().GetFileName(), existing);

        // A name the dialog returned as it is was confirmed there: no second question.
        dialogs->clear();
        dialogs->fileAnswers.enqueue(existing);
        window->SlotParameterSaveAs();
        QCOMPARE(dialogs->count("question"), 0);
        QCOMPARE(Status(), QString("File saved"));
    }

    void saveAndEditNeedADefinedSet()
    {
        // Never connected, never loaded: nothing to save.
        window->SlotParameterSave();
        window->SlotParameterSaveAs();
        QCOMPARE(dialogs->shown.size(), 0);
        QVERIFY(!window->GetActions().parameterEdit->isEnabled());
        QVERIFY(window->GetActions().parameterLoad->isEnabled());
    }

    void failedSaveKeepsFileNameAndOldFile_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("missing folder") << "nowhere/machine.ncp";
        QTest::newRow("a folder") << "folder";
    }

    void failedSaveKeepsFileNameAndOldFile()
    {
        QFETCH(QString, target);
        Connect();
        QVERIFY(QDir(dir->path()).mkdir("folder"));
        const QString old = Path("old.ncp");
        dialogs->fileAnswers.enqueue(old);
        window->SlotParameterSaveAs();
        const QByteArray oldContent = ReadFile(old);

        dialogs->clear();
        const QString path = Path(target);
        dialogs->fileAnswers.enqueue(path);
        dialogs->expectBox();
        Set().MOTORTEST_WEGLAENGE_LONG = 99;
        window->SlotParameterSaveAs();
        QCOMPARE(dialogs->count("warning"), 1);
        const ScriptedDialogs::Shown& box = dialogs->shown.last();
        QCOMPARE(box.title, QString("Error Saving Parameters to File"));
        QVERIFY2(box.text.startsWith("Cannot write file " + path + ":\n"), qPrintable(box.text));
        QVERIFY(box.text.endsWith('.'));
        QVERIFY(box.text.size() > QString("Cannot write file " + path + ":\n.").size());
        QCOMPARE(Set().GetFileName(), old);
        QCOMPARE(ReadFile(old), oldContent);
        QVERIFY(QFileInfo(Path("folder")).isDir());
        QVERIFY(QDir(dir->path()).entryList(QDir::Files) == QStringList({"old.ncp"}));
    }

    void writeErrorLeavesTheOldFileIntact()
    {
        Connect();
        const QString path = Path("machine.ncp");
        dialogs->fileAnswers.enqueue(path);
        window->SlotParameterSaveAs();
        const QByteArray oldContent = ReadFile(path);
        QVERIFY(oldContent.size() > 2000);

        // Writes beyond 1000 bytes fail (EFBIG) while the limit holds.
        dialogs->clear();
        Set().MOTORTEST_WEGLAENGE_LONG = 4321;
        Set().SetFileName(Path("other.ncp"));
        dialogs->fileAnswers.enqueue(path);
        dialogs->expectBox();
        struct rlimit saved {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = saved;
        limit.rlim_cur = 1000;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        window->SlotParameterSaveAs();
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        QCOMPARE(dialogs->count("warning"), 1);
        QCOMPARE(dialogs->shown.last().title, QString("Error Saving Parameters to File"));
        QVERIFY(dialogs->shown.last().text.startsWith("Cannot write file " + path + ":\n"));
        // The system's reason for the failed write, not what is left after the stream failed.
        QCOMPARE(dialogs->shown.last().text,
                 "Cannot write file " + path + ":\n" + QString::fromLocal8Bit(strerror(EFBIG))
                     + ".");
        QCOMPARE(ReadFile(path), oldContent);
        QCOMPARE(Set().GetFileName(), Path("other.ncp"));
        QVERIFY(QDir(dir->path()).entryList(QDir::Files) == QStringList({"machine.ncp"}));
    }

    // --- load ---

    void loadAdoptsTheFile()
    {
        QVERIFY(!Set().IsDefined());
        const QString path = Path("in.ncp");
        QString text = ParameterTable::defaultText();
        text = WithValue(text, "0102", "77.5");
        QVERIFY(WriteFile(path, text.toUtf8()));
        dialogs->fileAnswers.enqueue(path);
        window->SlotParameterLoadFromFile();

        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(dialogs->shown[0].kind, QString("open"));
        QCOMPARE(dialogs->shown[0].title, QString("Load Parameters from File"));
        QCOMPARE(dialogs->shown[0].text, "|" + Filter);
        QCOMPARE(Set().GESCHWINDIGKEITEN_EILGANG_FLOAT, 77.5f);
        QVERIFY(Set().IsDefined());
        QCOMPARE(Set().GetFileName(), path);
        QCOMPARE(Status(), QString("File loaded"));
        QVERIFY(window->GetActions().parameterEdit->isEnabled());
        // Comments written by older programs in Latin-1 survive, as do UTF-8 ones.
        QVERIFY(Set().comments.value(0x0107).contains("mm/s²"));
    }

    void loadReadsLatin1Files()
    {
        const QString path = Path("latin1.ncp");
        QVERIFY(WriteFile(path, ParameterTable::defaultText().toLatin1()));
        dialogs->fileAnswers.enqueue(path);
        window->SlotParameterLoadFromFile();
        QCOMPARE(Status(), QString("File loaded"));
        QVERIFY(Set().comments.value(0x0107).contains("mm/s²"));
        QVERIFY(Set().comments.value(0x0500).contains("übernehmen"));
    }

    void loadRunsWithTheWatchdogsStopped()
    {
        Connect();
        dialogs->expectCancelledFile();
        window->SlotParameterLoadFromFile();
        QCOMPARE(dialogs->watchdogDuringFileDialog, QList<bool>({false}));
        QVERIFY(controller->IsTimerActive());
        QVERIFY(Set().IsDefined());
    }

    void outOfRangeValueKeepsTheOldFileName()
    {
        Connect();
        Set().ResetToDefaults();  // the scripted controller reported zeros
        const QString old = Path("old.ncp");
        dialogs->fileAnswers.enqueue(old);
        window->SlotParameterSaveAs();

        const QString bad = Path("bad.ncp");
        QString text = Set().SaveToText();
        text = WithValue(text, "0101", "1000");
        text = WithValue(text, "0000", "777");
        QVERIFY(WriteFile(bad, text.toUtf8()));
        dialogs->clear();
        dialogs->fileAnswers.enqueue(bad);
        dialogs->expectBox();
        window->SlotParameterLoadFromFile();

        QCOMPARE(dialogs->count("warning"), 1);
        const ScriptedDialogs::Shown& box = dialogs->shown.last();
        QCOMPARE(box.title, QString("Parameter Load Error"));
        QCOMPARE(box.text,
                 "Error parsing parameter file '" + bad + "'\n"
                     + "Geschwindigkeiten -> Fahrgeschwindigkeit war ungültig\nund ist mit "
                       "DEFAULT Wert (4.0 mm/s) initialisiert.\nBitte definieren Sie den Wert "
                       "richtig im Dialog.");
        QCOMPARE(Set().MOTORTEST_WEGLAENGE_LONG, 777);
        QCOMPARE(Set().GESCHWINDIGKEITEN_FAHR_FLOAT, 4.0f);
        QCOMPARE(Set().GetFileName(), old);
        QVERIFY(Status() != QString("File loaded"));

        // The next save goes to the old file.
        dialogs->clear();
        window->SlotParameterSave();
        QCOMPARE(dialogs->shown.size(), 0);
        QVERIFY(ReadFile(old).startsWith("0000=777 "));
    }

    void anyContentEndsInOneBoxAndKeepsTheSet_data()
    {
        QTest::addColumn<QByteArray>("content");
        QByteArray binary(4096, '\0');
        QRandomGenerator gen(42);
        for (char& c : binary)
            c = char(gen.bounded(256));
        QTest::newRow("binary") << binary;
        QTest::newRow("no equals sign") << QByteArray("0000=5\nhello\n0001=1\n");
        QTest::newRow("bad key") << QByteArray("0000=5\nzz=1\n");
        QTest::newRow("bad value") << QByteArray("0000=400.5\n");
        QTest::newRow("nul bytes") << QByteArray("0000=\0\0\0\n", 10);
        QTest::newRow("cut array") << QByteArray("040A=[1;2;3\n");
    }

    void anyContentEndsInOneBoxAndKeepsTheSet()
    {
        QFETCH(QByteArray, content);
        Connect();
        Set().SetFileName(Path("previous.ncp"));
        const QString before = Set().SaveToText();
        const QString path = Path("garbage.ncp");
        QVERIFY(WriteFile(path, content));
        dialogs->fileAnswers.enqueue(path);
        dialogs->expectBox();
        window->SlotParameterLoadFromFile();

        QCOMPARE(dialogs->count("warning"), 1);
        QCOMPARE(dialogs->shown.last().title, QString("Parameter Load Error"));
        QVERIFY(dialogs->shown.last().text.startsWith("Error parsing parameter file '" + path
                                                      + "'\n"));
        QCOMPARE(Set().SaveToText(), before);
        QCOMPARE(Set().GetFileName(), Path("previous.ncp"));
    }

    void emptyFileIsLoadedWithoutChange()
    {
        Connect();
        const QString before = Set().SaveToText();
        const QString path = Path("empty.ncp");
        QVERIFY(WriteFile(path, QByteArray()));
        dialogs->fileAnswers.enqueue(path);
        window->SlotParameterLoadFromFile();
        QCOMPARE(Status(), QString("File loaded"));
        QCOMPARE(Set().GetFileName(), path);
        QCOMPARE(Set().SaveToText(), before);
        QCOMPARE(dialogs->count("warning"), 0);
    }

    void unreadableFileIsReported_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << "missing.ncp";
        QTest::newRow("folder") << ".";
        QTest::newRow("endless device") << "/dev/zero";
    }

    void unreadableFileIsReported()
    {
        QFETCH(QString, name);
        Connect();
        const QString path = name.startsWith('/') ? name : Path(name);
        dialogs->fileAnswers.enqueue(path);
        dialogs->expectBox();
        window->SlotParameterLoadFromFile();
        QCOMPARE(dialogs->count("warning"), 1);
        const ScriptedDialogs::Shown& box = dialogs->shown.last();
        QCOMPARE(box.title, QString("Error Loading Parameters from File"));
        QVERIFY2(box.text.startsWith("Cannot read file " + path + ":\n"), qPrintable(box.text));
        QVERIFY(box.text.endsWith('.'));
        QCOMPARE(Set().GetFileName(), QString());
    }

    // --- reset ---

    void resetOfAnUndefinedSetAsksNothing()
    {
        QVERIFY(!Set().IsDefined());
        window->SlotParameterReset();
        QCOMPARE(dialogs->shown.size(), 0);
        QVERIFY(Set().IsDefined());
        QCOMPARE(Set().comments.size(), 46);
        QVERIFY(window->GetActions().parameterSave->isEnabled());
    }

    void resetOfADefinedSetAsks()
    {
        Connect();
        Set().MOTORTEST_WEGLAENGE_LONG = 5;
        Set().SetFileName(Path("kept.ncp"));
        dialogs->buttonAnswers.enqueue(QMessageBox::No);
        window->SlotParameterReset();
        QCOMPARE(dialogs->shown.size(), 1);
        const ScriptedDialogs::Shown& box = dialogs->shown[0];
        QCOMPARE(box.kind, QString("warning"));
        QCOMPARE(box.title, QString("Parameter Reset"));
        QCOMPARE(box.text, QString("Do you want to reset parameter values to their defaults?"));
        QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.defaultButton, QMessageBox::Yes);
        QCOMPARE(Set().MOTORTEST_WEGLAENGE_LONG, 5);
        QCOMPARE(Set().GetFileName(), Path("kept.ncp"));

        dialogs->buttonAnswers.enqueue(QMessageBox::Yes);
        window->SlotParameterReset();
        QCOMPARE(Set().MOTORTEST_WEGLAENGE_LONG, 400);
        QCOMPARE(Set().GetFileName(), QString());
    }

    // --- edit ---

    void editWithOkStoresAndLogs()
    {
        Connect();
        Set().ResetToDefaults();  // the scripted controller reported zeros
        bool watchdogRunning = false;
        dialogs->execAnswers.enqueue([&](QDialog* dialog) {
            watchdogRunning = controller->IsTimerActive();
            dialog->findChild<QLineEdit*>("gesFahrEdit")->setText("5");
            dialog->accept();
            return dialog->result();
        });
        window->SlotParameterEdit();
        QCOMPARE(dialogs->shown.last().kind, QString("exec"));
        QCOMPARE(dialogs->shown.last().title, QString("Edit Controller Parameter"));
        QVERIFY(watchdogRunning);
        QCOMPARE(Set().GESCHWINDIGKEITEN_FAHR_FLOAT, 5.0f);
        QCOMPARE(outputLines(*window).last(),
                 QString("Edit parameter for active controller COM3"));
    }

    void editCancelledLogsNothing()
    {
        Connect();
        const int lines = outputLines(*window).size();
        dialogs->execAnswers.enqueue([](QDialog* dialog) {
            dialog->findChild<QLineEdit*>("gesFahrEdit")->setText("5");
            dialog->reject();
            return dialog->result();
        });
        window->SlotParameterEdit();
        QCOMPARE(outputLines(*window).size(), lines);
        QVERIFY(Set().GESCHWINDIGKEITEN_FAHR_FLOAT != 5.0f);
    }

    // --- end to end against the simulated controller ---

    void roundTripThroughFileAndSimulatedController()
    {
        // The scripted ports give way to the port map, which serves COM6 by the simulator.
        window.reset();
        delete KavrixKernel::ExistingInstance();
        ports.reset();
        quenta::SimDevice::forgetPorts();
        KavrixKernel::Instance();
        controller = registerController("COM6");
        dialogs->watched = controller;
        window = std::make_unique<KavrixMainWnd>();

        window->SlotControllerConnect();
        QVERIFY(controller->IsConnected());
        QCOMPARE(Status(), TransferDone);
        QCOMPARE(Set().MECHANIK_AUFLOESUNG_X_FLOAT, 100.0f);

        dialogs->execAnswers.enqueue([](QDialog* dialog) {
            dialog->findChild<QLineEdit*>("gesEilgangEdit")->setText("12.5");
            dialog->accept();
            return dialog->result();
        });
        window->SlotParameterEdit();
        const QString path = Path("sim.ncp");
        dialogs->fileAnswers.enqueue(path);
        window->SlotParameterSaveAs();
        Set().ResetToDefaults();
        dialogs->fileAnswers.enqueue(path);
        window->SlotParameterLoadFromFile();
        QCOMPARE(Set().GESCHWINDIGKEITEN_EILGANG_FLOAT, 12.5f);

        window->SlotParameterWriteToController();
        QCOMPARE(Status(), TransferDone);
        Set().ResetToDefaults();
        window->SlotParameterReadFromController();
        QCOMPARE(Set().GESCHWINDIGKEITEN_EILGANG_FLOAT, 12.5f);
        QCOMPARE(dialogs->count("warning"), 0);
        window->SlotControllerDisconnect();
        quenta::SimDevice::forgetPorts();
    }

    void workflowsWithoutActiveControllerDoNothing()
    {
        KavrixKernel::Instance()->RemoveController("COM3");
        controller = nullptr;
        dialogs->watched = nullptr;
        window->SlotParameterLoadFromFile();
        window->SlotParameterSave();
        window->SlotParameterSaveAs();
        window->SlotParameterReadFromController();
        window->SlotParameterWriteToController();
        window->SlotParameterReset();
        window->SlotParameterEdit();
        QCOMPARE(dialogs->shown.size(), 0);
    }
};

QTEST_MAIN(TestParameterWorkflows)
#include "tst_parameterworkflows.moc"
