// The German translation: a German session shows the windows in German (Qt's own texts too),
// an English one keeps every text as written, and every translatable text of the sources has
// a German translation that keeps its placeholders, mnemonic and shortcut.

#include "kavrixkernel.h"
#include "kavrixmainwnd.h"
#include "manualcontrolwnd.h"
#include "scripteddialogs.h"
#include "startup.h"
#include "tarvocontroller.h"
#include "testenv.h"

#include <QApplication>
#include <QDebug>
#include <QFile>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QStandardItemModel>
#include <QXmlStreamReader>

#include <memory>

namespace {

struct Message {
    QString context;
    QString source;
    QString translation;
    bool unfinished = false;
};

QList<Message> readTs(const QString& path)
{
    QList<Message> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            messages.append({context, {}, {}, false});
        } else if (xml.name() == QLatin1String("source") && !messages.isEmpty()) {
            messages.last().source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation") && !messages.isEmpty()) {
            const QString type = xml.attributes().value(QLatin1String("type")).toString();
            messages.last().unfinished = !type.isEmpty();  // unfinished, vanished, obsolete
            messages.last().translation = xml.readElementText();
        }
    }
    if (xml.hasError())
        qWarning() << path << xml.errorString();
    return xml.hasError() ? QList<Message>() : messages;
}

QStringList menuTexts(const QMenuBar* bar)
{
    QStringList texts;
    for (const QAction* action : bar->actions()) {
        if (!action->isSeparator())
            texts << action->text();
    }
    return texts;
}

// The mnemonic marks of a text: single '&', not the escaped "&&".
int mnemonics(QString text)
{
    return text.remove(QStringLiteral("&&")).count(QLatin1Char('&'));
}

QStringList placeholders(const QString& text)
{
    static const QRegularExpression marker(QStringLiteral("%(\\d+|[vm])"));
    QStringList found;
    for (auto it = marker.globalMatch(text); it.hasNext();)
        found << it.next().captured();
    found.sort();
    return found;
}

const QString tsPath = QStringLiteral(KAVRO_SOURCE_DIR "/translations/kavro_de.ts");

}  // namespace

class TestTranslations : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScriptedPorts> ports;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<QObject> translators;

private Q_SLOTS:
    void init()
    {
        initTestSettings();
        ports = std::make_unique<ScriptedPorts>();
        dialogs = std::make_unique<ScriptedDialogs>();
        KavrixKernel::Instance();
        translators = std::make_unique<QObject>();
    }

    void cleanup()
    {
        translators.reset();  // removes the translators again
        delete KavrixKernel::ExistingInstance();
        dialogs.reset();
        ports.reset();
    }

    void englishLocaleKeepsEveryText()
    {
        KavroStartup::installTranslations(QLocale(QLocale::English, QLocale::UnitedStates),
                                          translators.get());
        KavrixMainWnd window;
        QCOMPARE(window.windowTitle(), QString("KavrixMulti"));
        QCOMPARE(menuTexts(window.menuBar()),
                 QStringList({"&File", "&Controller", "&Parameters", "&Programm", "&View",
                              "&Help"}));
        QCOMPARE(KavrixKernel::Instance()->GetControllerModel()->headerData(2, Qt::Horizontal),
                 QVariant("State"));
    }

    // main.cpp passes the system locale, which Qt takes from LANG (set by main() below);
    // the locale need not be generated on the machine.
    void germanSessionShowsGermanWindows()
    {
        QCOMPARE(QLocale().name(), QString("de_DE"));
        QCOMPARE(KavroStartup::installTranslations(QLocale(), translators.get()), 2);

        KavrixMainWnd window;
        QCOMPARE(window.windowTitle(), QString("KavrixMulti"));
        const QList<QAction*> bar = window.menuBar()->actions();
        QCOMPARE(menuTexts(window.menuBar()),
                 QStringList({"&Datei", "&Controller", "&Parameter", "P&rogramm", "&Ansicht",
                              "&Hilfe"}));
        QStringList fileMenu;
        for (const QAction* action : bar.at(0)->menu()->actions()) {
            if (!action->isSeparator())
                fileMenu << action->text();
        }
        QCOMPARE(fileMenu, QStringList({"&Neu", "Ö&ffnen", "&Schließen", "&Speichern",
                                        "Speichern &unter", "&G-Code öffnen...",
                                        "&Zuletzt geöffnete G-Code-Dateien",
                                        "Auf &Maschinen ausführen...", "&Beenden"}));
        // The shortcut is still the one built from the portable text.
        QCOMPARE(bar.at(0)->menu()->actions().last()->shortcut(), QKeySequence("Ctrl+Q"));

        // Machine-facing texts are German already and stay as they are.
        auto* const controller = new TarvoController(QStringLiteral("COM3"), 115200);
        QVERIFY(KavrixKernel::Instance()->AddController(controller));
        ManualControlWnd panel(controller);
        QCOMPARE(panel.findChild<QPushButton*>("ReferenzfahrtButton")->text(),
                 QString("Referenzfahrt"));

        // The command guard speaks in its caller's context: here the panel's.
        dialogs->expectBox();
        panel.SlotXneg();
        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(dialogs->shown[0].title, QString("Verbindung zum Controller"));
        QCOMPARE(dialogs->shown[0].text, QString("Der Controller an COM3 ist nicht verbunden.\n"));

        // The panel's range messages.
        KavrixKernel::Instance()->ConnectActiveController();
        QVERIFY(controller->IsConnected());
        panel.findChild<QLineEdit*>("VEdit")->setText("1000");
        panel.SlotXneg();
        QCOMPARE(panel.findChild<QLabel*>("statusLabel")->text(),
                 QString("Wert außerhalb des Bereichs [0 ... 999]"));

        // Qt's own texts follow: the standard buttons of a message box.
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Yes)->text(), QString("&Ja"));
        QCOMPARE(box.button(QMessageBox::Cancel)->text(), QString("Abbrechen"));
    }

    // Refreshes a copy of the translation file from the sources the way scripts/translations
    // does and names every text that is new or has no translation.
    void everyTextOfTheSourcesIsTranslated()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString copy = dir.filePath("kavro_de.ts");
        QVERIFY(QFile::copy(tsPath, copy));
        QProcess lupdate;
        lupdate.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        lupdate.start(QStringLiteral("bash"),
                      {QStringLiteral(KAVRO_SOURCE_DIR "/scripts/translations"), copy});
        QVERIFY2(lupdate.waitForFinished(120000), qPrintable(lupdate.errorString()));
        QCOMPARE(lupdate.exitCode(), 0);

        const QList<Message> messages = readTs(copy);
        QVERIFY(messages.size() > 300);
        QStringList missing;
        for (const Message& m : messages) {
            if (m.unfinished || m.translation.isEmpty())
                missing << m.context + QStringLiteral(": ") + m.source;
        }
        QVERIFY2(missing.isEmpty(),
                 qPrintable(QStringLiteral("without German translation (run scripts/translations"
                                           " and translate them):\n")
                            + missing.join('\n')));
    }

    void translationsKeepPlaceholdersMnemonicsAndShortcuts()
    {
        const QList<Message> messages = readTs(tsPath);
        QVERIFY(!messages.isEmpty());
        static const QRegularExpression shortcut(QStringLiteral("^(Ctrl|Alt|Shift)\\+"));
        QStringList wrong;
        for (const Message& m : messages) {
            const bool sameKeys = !shortcut.match(m.source).hasMatch()
                || QKeySequence::fromString(m.translation, QKeySequence::PortableText)
                    == QKeySequence::fromString(m.source, QKeySequence::PortableText);
            if (placeholders(m.source) != placeholders(m.translation)
                || mnemonics(m.source) != mnemonics(m.translation)
                || m.source.endsWith('\n') != m.translation.endsWith('\n') || !sameKeys) {
                wrong << m.context + QStringLiteral(": ") + m.source;
            }
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join('\n')));
    }
};

int main(int argc, char* argv[])
{
    // A German session, whatever the environment of the test run.
    qputenv("LANG", "de_DE.UTF-8");
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    qunsetenv("LANGUAGE");
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(images);
    TestTranslations test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_translations.moc"
