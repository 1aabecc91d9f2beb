// The manual control panel: the exact library call and program line of every command, the
// guard order, range checks with their messages and focus, unit switching, and the form.

#include "kavrixkernel.h"
#include "manualcommandvalues.h"
#include "manualcontrolwnd.h"
#include "portmap.h"
#include "quenta.h"
#include "ramprogram.h"
#include "scripteddialogs.h"
#include "tarvocontroller.h"
#include "testenv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <QValidator>

#include <algorithm>
#include <memory>

namespace {

QStringList toQt(const std::vector<std::string>& calls)
{
    QStringList list;
    for (const std::string& call : calls)
        list << QString::fromStdString(call);
    return list;
}

QString logFloat(float value)
{
    return QString::fromStdString(quenta::formatLogFloat(value));
}

}  // namespace

class TestManualControlWnd : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void initialState();
    void formTexts_data();
    void formTexts();
    void formGroups();
    void emergencyRowStaysAboveTheScrolledPart();

    void jogs_data();
    void jogs();
    void jogResetsTheOtherAxisOfThePair();
    void lateFormStartsAsAnEagerOne();
    void relativeMoves_data();
    void relativeMoves();
    void holdZeroParkReference_data();
    void holdZeroParkReference();
    void spindleAndCooling_data();
    void spindleAndCooling();
    void generalOutputs_data();
    void generalOutputs();
    void outputBoxesAreNumberedByBit();
    void grblPortSaysItHasNoGeneralOutputs();

    void rangeChecks_data();
    void rangeChecks();
    void firstBadValueWins();
    void onlySlotsWithInputsClearTheMessage();
    void textThatDoesNotConvertIsZero_data();
    void textThatDoesNotConvertIsZero();

    void noActiveControllerIsSilent();
    void disconnectedControllerIsWarnedWithoutQuestion();
    void pendingErrorDeclinedSendsNothing();
    void pendingErrorAcceptedAcknowledgesOnceThenSends();
    void refusedCommandLeavesThePanelUntouched();
    void editorDestinationTouchesNoController();
    void callGoesToThePanelsOwnController();
    void refusalReasonFollowsTheCommandInTheLog();
    void linesReadBackAsTheSameCalls();

    void directSlots_data();
    void directSlots();
    void directSlotsRefuseWhenDisconnected();
    void actionsAndAnswersAreLogged();
    void referenceMessageEndsWithTheRun();
    void inputsDeactivationWritesTheRecord();

    void unitToggleResetsEditsAndValidators();
    void validatorsTakeOnlyPointDecimals();

private:
    QPushButton* button(const char* name) const;
    QLineEdit* edit(const char* name) const;
    void setMm(bool mm);
    void setPendingError(uint8_t code);
    QStringList calls() const;
    QStringList outputLines() const;
    QStringList editorLines() const;

    std::unique_ptr<ScriptedPorts> ports;
    std::unique_ptr<ScriptedDialogs> dialogs;
    TarvoController* controller = nullptr;
    ManualControlWnd* panel = nullptr;
    std::unique_ptr<QSignalSpy> toOutput;
    std::unique_ptr<QSignalSpy> toEditor;
};

void TestManualControlWnd::init()
{
    initTestSettings();
    ports = std::make_unique<ScriptedPorts>();
    dialogs = std::make_unique<ScriptedDialogs>();
    KavrixKernel* const kernel = KavrixKernel::Instance();
    controller = new TarvoController(QStringLiteral("COM3"), 115200);
    QVERIFY(kernel->AddController(controller));
    kernel->ConnectActiveController();
    QVERIFY(controller->IsConnected());
    ports->device("COM3")->clearCalls();
    panel = new ManualControlWnd(controller, nullptr);
    toOutput = std::make_unique<QSignalSpy>(kernel, &KavrixKernel::SignalCommandToOutput);
    toEditor = std::make_unique<QSignalSpy>(kernel, &KavrixKernel::SignalCommandToEdit);
}

void TestManualControlWnd::cleanup()
{
    toOutput.reset();
    toEditor.reset();
    delete panel;
    panel = nullptr;
    delete KavrixKernel::Instance();
    controller = nullptr;
    dialogs.reset();
    ports.reset();
}

QPushButton* TestManualControlWnd::button(const char* name) const
{
    auto* const b = panel->findChild<QPushButton*>(QLatin1String(name));
    if (!b)
        qFatal("no button %s", name);
    return b;
}

QLineEdit* TestManualControlWnd::edit(const char* name) const
{
    auto* const e = panel->findChild<QLineEdit*>(QLatin1String(name));
    if (!e)
        qFatal("no line edit %s", name);
    return e;
}

void TestManualControlWnd::setMm(bool mm)
{
    auto* const radio = panel->findChild<QRadioButton*>(
        mm ? QStringLiteral("EinheitMmRadioButton") : QStringLiteral("EinheitStepsRadioButton"));
    radio->click();
}

void TestManualControlWnd::setPendingError(uint8_t code)
{
    quenta::StatusReport report;
    report.errorCode = code;
    ports->device("COM3")->setStatus(report);
    controller->UpdateStatus();
    ports->device("COM3")->clearCalls();
}

QStringList TestManualControlWnd::calls() const
{
    return toQt(ports->device("COM3")->calls());
}

QStringList TestManualControlWnd::outputLines() const
{
    QStringList lines;
    for (const QList<QVariant>& args : *toOutput)
        lines << args.at(0).toString();
    return lines;
}

QStringList TestManualControlWnd::editorLines() const
{
    QStringList lines;
    for (const QList<QVariant>& args : *toEditor)
        lines << args.at(0).toString();
    return lines;
}

// ---- construction and form --------------------------------------------------------------

void TestManualControlWnd::initialState()
{
    QVERIFY(panel->IsStepsMode());
    QVERIFY(panel->findChild<QRadioButton*>(QStringLiteral("EinheitStepsRadioButton"))
                ->isChecked());
    for (const char* name : {"VEdit", "XEdit", "YEdit", "ZEdit", "CEdit", "HaltePositionEdit",
                             "XNullPunktEdit", "YNullPunktEdit", "ZNullPunktEdit",
                             "CNullPunktEdit"})
        QCOMPARE(edit(name)->text(), QStringLiteral("0"));
    QCOMPARE(panel->findChild<QComboBox*>(QStringLiteral("StreckeComboBox"))->currentIndex(), 0);
    QVERIFY(panel->findChild<QLabel*>(QStringLiteral("statusLabel"))->text().isEmpty());

    const ManualCommandValues& v = panel->GetValues();
    QCOMPARE(int(v.moveArgA), 1);
    QCOMPARE(int(v.moveArgB), 3);
    QCOMPARE(v.jogStepsTable[4], 999999);
    QCOMPARE(v.jogMmTable[4], 999999.0f);
    QCOMPARE(v.jogStepsTable[3], 1000);
}

void TestManualControlWnd::formTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tip");

    const auto row = [](const char* name, const char* text, const char* tip) {
        QTest::newRow(name) << QString::fromUtf8(name) << QString::fromUtf8(text)
                            << QString::fromUtf8(tip);
    };
    row("NotHaltMitBremsenButton", "Not Halt", "Not Halt (mit Bremsrampe)");
    row("NotStopOhneBremsenButton", "Not Stop", "Not Stop (ohne Bremsrampe)");
    row("FehlerQuitierenButton", "Fehler quitieren", "Fehler quitieren");
    row("EinheitStepsRadioButton", "Schritte", "");
    row("VEinheitLabel", "( BE/s )", "");
    row("ReferenzfahrtButton", "Referenzfahrt", "Achsen werden referenziert");
    row("ParkenButton", "Parken", "Parkposition anfahren");
    row("XnegButton", "<", "X Achse wird definierte Strecke in negative Richtung Fahren");
    row("CposButton", ">", "C Achse wird definierte Strecke in positive Richtung Fahren");
    row("FahreRelativXYButton", ">>", "Fahre relativ XY");
    row("NullPunktSetzenButton", "Setzen", "Nullpunkt wird gesetzt");
    row("HaltePositionButton", ">>", "");
    row("bit5KuCheckBox", "Kühlung", "Kühlung aktivieren");
    row("bit4SpCheckBox", "Spindel", "Spindel aktivieren");
    row("SpKuSetzenButton", "Setzen", "Ausgänge werden gesetzt");
    row("AllgEingDeaktivierenCheckBox", "", "allgemeine Eingänge deaktivieren");
    row("AllgEingDeaktivierenButton", "Deaktivieren", "Allgemeine Eingänge werden deaktiviert");
    row("AllgAusgSetzenButton", "Setzen", "Allgemeine Ausgänge werden gesetzt");
}

void TestManualControlWnd::formTexts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, tip);
    QWidget* const widget = panel->findChild<QWidget*>(name);
    QVERIFY2(widget, qPrintable(name));
    const QVariant shown = widget->property("text");
    QCOMPARE(shown.toString(), text);
    QCOMPARE(widget->toolTip(), tip);
    QCOMPARE(widget->statusTip(), tip);
}

void TestManualControlWnd::formGroups()
{
    const auto groupOf = [this](const char* name) {
        QWidget* w = panel->findChild<QWidget*>(QLatin1String(name));
        while (w && !qobject_cast<QGroupBox*>(w->parentWidget()))
            w = w->parentWidget();
        auto* const group = w ? qobject_cast<QGroupBox*>(w->parentWidget()) : nullptr;
        return group ? group->objectName() + QLatin1Char('=') + group->title() : QString();
    };
    QCOMPARE(groupOf("statusLabel"), QStringLiteral("FahrenGroupBox=Fahrbefehle"));
    QCOMPARE(groupOf("EinheitMmRadioButton"), QStringLiteral("EinheitGroupBox=Basiseinheit (BE)"));
    QCOMPARE(groupOf("VEdit"), QStringLiteral("VGroupBox=Fahrgeschwindigkeit"));
    QCOMPARE(groupOf("StreckeComboBox"), QStringLiteral("StreckeGroupBox=Definierte Strecke"));
    QCOMPARE(groupOf("CEdit"), QStringLiteral("FahreRelativGroupBox=Fahre relativ"));
    QCOMPARE(groupOf("ZNullPunktEdit"), QStringLiteral("NullPunktGroupBox=Nullpunkt"));
    QCOMPARE(groupOf("HaltePositionEdit"),
             QStringLiteral("HaltePositionGroupBox=Halte Position (ms)"));
    QCOMPARE(groupOf("bit4SpCheckBox"), QStringLiteral("AusgGroupBox=Ausgänge"));
    QCOMPARE(groupOf("AusgGroupBox"), QStringLiteral("SchaltenGroupBox=Schaltbefehle"));
    QCOMPARE(groupOf("AllgEingDeaktivierenButton"),
             QStringLiteral("AllgEingDeaktivierenGroupBox=Allgemeine Eingänge"));
    QCOMPARE(groupOf("bit0CheckBox"), QStringLiteral("AllgAusgGroupBox=Allgemeine Ausgänge"));

    const QStringList items = [this] {
        QStringList list;
        auto* const combo = panel->findChild<QComboBox*>(QStringLiteral("StreckeComboBox"));
        for (int i = 0; i < combo->count(); ++i)
            list << combo->itemText(i);
        return list;
    }();
    QCOMPARE(items, (QStringList{"1", "10", "100", "1000", "endlos"}));

    // The eight output boxes run from bit 7 on the left to bit 0 on the right.
    panel->resize(600, 900);
    panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel));
    auto* const bit7 = panel->findChild<QCheckBox*>(QStringLiteral("bit7CheckBox"));
    auto* const bit0 = panel->findChild<QCheckBox*>(QStringLiteral("bit0CheckBox"));
    QVERIFY(bit7->x() < bit0->x());
}

void TestManualControlWnd::emergencyRowStaysAboveTheScrolledPart()
{
    // However low the window, the stops and the acknowledgement never scroll away: they sit
    // outside the one scroll area, which holds every other group.
    auto* const area = panel->findChild<QScrollArea*>();
    QVERIFY(area);
    for (const char* name :
         {"NotHaltMitBremsenButton", "NotStopOhneBremsenButton", "FehlerQuitierenButton"})
        QVERIFY2(!area->isAncestorOf(button(name)), name);
    for (const char* name : {"FahrenGroupBox", "SchaltenGroupBox"})
        QVERIFY2(area->widget()->isAncestorOf(panel->findChild<QWidget*>(QLatin1String(name))),
                 name);

    panel->resize(500, 300);
    panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel));
    area->ensureWidgetVisible(button("AllgAusgSetzenButton"));
    QVERIFY(area->widget()->y() < 0);  // scrolled
    QPushButton* const stop = button("NotHaltMitBremsenButton");
    QCOMPARE(stop->visibleRegion().boundingRect().size(), stop->size());
}

// ---- commands -----------------------------------------------------------------------------

void TestManualControlWnd::jogs_data()
{
    QTest::addColumn<bool>("mm");
    QTest::addColumn<QString>("velocity");
    QTest::addColumn<int>("distanceIndex");
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("call");

    QTest::newRow("steps Xneg 10") << false << "100" << 1 << "XnegButton"
                                   << "GO_XY_S 100 -10 0;"
                                   << "FahreRelativ_XY_Schritte(100,1,[-10,0,0,0,0,0],"
                                      "[0,0,0,0,0,0],3)";
    QTest::newRow("steps Ypos 1") << false << "7" << 0 << "YposButton" << "GO_XY_S 7 0 1;"
                                  << "FahreRelativ_XY_Schritte(7,1,[0,0,0,0,0,0],"
                                     "[1,0,0,0,0,0],3)";
    QTest::newRow("steps Zpos 1000") << false << "999" << 3 << "ZposButton"
                                     << "GO_ZC_S 999 1000 0;"
                                     << "FahreRelativ_ZC_Schritte(999,1,[1000,0,0,0,0,0],"
                                        "[0,0,0,0,0,0],3)";
    QTest::newRow("steps Cneg endlos") << false << "0" << 4 << "CnegButton"
                                       << "GO_ZC_S 0 0 -999999;"
                                       << "FahreRelativ_ZC_Schritte(0,1,[0,0,0,0,0,0],"
                                          "[-999999,0,0,0,0,0],3)";
    QTest::newRow("mm Cpos 1") << true << "2.5" << 0 << "CposButton" << "GO_ZC_MM 2.5 0 1;"
                               << "FahreRelativ_ZC_mm(2.5,1,[0,0,0,0,0,0],[1,0,0,0,0,0],3)";
    // The call log writes floats in its own shortest form (10 may read "1e+01").
    QTest::newRow("mm Xpos endlos") << true << "10" << 4 << "XposButton"
                                    << "GO_XY_MM 10 999999 0;"
                                    << "FahreRelativ_XY_mm(" + logFloat(10)
                                           + ",1,[999999,0,0,0,0,0],[0,0,0,0,0,0],3)";
    QTest::newRow("mm Yneg 100") << true << "999.0" << 2 << "YnegButton"
                                 << "GO_XY_MM 999 0 -100;"
                                 << "FahreRelativ_XY_mm(999,1,[0,0,0,0,0,0],["
                                        + logFloat(-100) + ",0,0,0,0,0],3)";
    QTest::newRow("mm Zneg 1000") << true << "0.5" << 3 << "ZnegButton"
                                  << "GO_ZC_MM 0.5 -1000 0;"
                                  << "FahreRelativ_ZC_mm(0.5,1,[" + logFloat(-1000)
                                         + ",0,0,0,0,0],[0,0,0,0,0,0],3)";
}

void TestManualControlWnd::jogs()
{
    QFETCH(bool, mm);
    QFETCH(QString, velocity);
    QFETCH(int, distanceIndex);
    QFETCH(QString, buttonName);
    QFETCH(QString, line);
    QFETCH(QString, call);

    setMm(mm);
    edit("VEdit")->setText(velocity);
    panel->findChild<QComboBox*>(QStringLiteral("StreckeComboBox"))
        ->setCurrentIndex(distanceIndex);
    button(qPrintable(buttonName))->click();

    QCOMPARE(calls(), QStringList{call});
    QCOMPARE(outputLines(), QStringList{line});
    QVERIFY(editorLines().isEmpty());
    QVERIFY(dialogs->shown.isEmpty());
}

void TestManualControlWnd::jogResetsTheOtherAxisOfThePair()
{
    edit("VEdit")->setText(QStringLiteral("50"));
    button("XposButton")->click();
    button("YnegButton")->click();
    QCOMPARE(calls().value(1),
             QStringLiteral("FahreRelativ_XY_Schritte(50,1,[0,0,0,0,0,0],[-1,0,0,0,0,0],3)"));
    QCOMPARE(outputLines(), (QStringList{"GO_XY_S 50 1 0;", "GO_XY_S 50 0 -1;"}));
}

void TestManualControlWnd::lateFormStartsAsAnEagerOne()
{
    // A panel whose form waits for its first show: a slot that reads the form builds it first
    // and reads the same initial values ("0" everywhere, steps, the first jog distance).
    ManualControlWnd late(controller, nullptr, ManualControlWnd::FormBuild::OnFirstShow);
    QVERIFY(!late.HasForm());
    QVERIFY(!late.findChild<QPushButton*>(QStringLiteral("XposButton")));
    late.SlotXpos();
    QVERIFY(late.HasForm());
    QCOMPARE(outputLines(), QStringList{"GO_XY_S 0 1 0;"});
    QCOMPARE(late.findChild<QLineEdit*>(QStringLiteral("VEdit"))->text(), QStringLiteral("0"));

    // Built by its first show, with its banner following the command destination.
    ManualControlWnd shown(controller, nullptr, ManualControlWnd::FormBuild::OnFirstShow);
    KavrixKernel::Instance()->SetCommandToEditor(true);
    shown.show();
    QVERIFY(shown.HasForm());
    QVERIFY(shown.findChild<QPushButton*>(QStringLiteral("NotStopOhneBremsenButton"))
                ->isVisible());
    QVERIFY(shown.findChild<QWidget*>(QStringLiteral("editorModeBanner"))->isVisible());
    KavrixKernel::Instance()->SetCommandToEditor(false);
    QVERIFY(shown.findChild<QWidget*>(QStringLiteral("editorModeBanner"))->isHidden());
}

void TestManualControlWnd::relativeMoves_data()
{
    QTest::addColumn<bool>("mm");
    QTest::addColumn<bool>("zc");
    QTest::addColumn<QStringList>("texts");  // velocity, first axis, second axis
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("call");

    QTest::newRow("steps XY bounds")
        << false << false << QStringList{"999", "-32767", "32767"}
        << "GO_XY_S 999 -32767 32767;"
        << "FahreRelativ_XY_Schritte(999,1,[-32767,0,0,0,0,0],[32767,0,0,0,0,0],3)";
    QTest::newRow("steps ZC") << false << true << QStringList{"20", "5", "-6"}
                              << "GO_ZC_S 20 5 -6;"
                              << "FahreRelativ_ZC_Schritte(20,1,[5,0,0,0,0,0],"
                                 "[-6,0,0,0,0,0],3)";
    QTest::newRow("mm XY") << true << false << QStringList{"1.5", "-32767.0", "0.25"}
                           << "GO_XY_MM 1.5 -32767 0.25;"
                           << "FahreRelativ_XY_mm(1.5,1,[-32767,0,0,0,0,0],"
                              "[0.25,0,0,0,0,0],3)";
    QTest::newRow("mm ZC small and six digits")
        << true << true << QStringList{"0.00001", "123.4567", "32767"}
        << "GO_ZC_MM 1e-05 123.457 32767;"
        << "FahreRelativ_ZC_mm(1e-05,1,[123.4567,0,0,0,0,0],[32767,0,0,0,0,0],3)";
}

void TestManualControlWnd::relativeMoves()
{
    QFETCH(bool, mm);
    QFETCH(bool, zc);
    QFETCH(QStringList, texts);
    QFETCH(QString, line);
    QFETCH(QString, call);

    setMm(mm);
    edit("VEdit")->setText(texts.at(0));
    edit(zc ? "ZEdit" : "XEdit")->setText(texts.at(1));
    edit(zc ? "CEdit" : "YEdit")->setText(texts.at(2));
    button(zc ? "FahreRelativZCButton" : "FahreRelativXYButton")->click();

    QCOMPARE(calls(), QStringList{call});
    QCOMPARE(outputLines(), QStringList{line});
}

void TestManualControlWnd::holdZeroParkReference_data()
{
    QTest::addColumn<bool>("mm");
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QStringList>("texts");  // hold time, or the four zero-point values
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("call");

    QTest::newRow("hold steps") << false << "HaltePositionButton" << QStringList{"500"}
                                << "WAIT 500;" << "HaltePosition(500)";
    QTest::newRow("hold mm is an integer too") << true << "HaltePositionButton"
                                               << QStringList{"12000000"} << "WAIT 12000000;"
                                               << "HaltePosition(12000000)";
    QTest::newRow("zero steps") << false << "NullPunktSetzenButton"
                                << QStringList{"0", "0", "-200", "0"} << "SET_ZERO_S 0 0 -200 0;"
                                << "NullPunktSetzen_Schritte(0,0,-200,0)";
    QTest::newRow("zero mm") << true << "NullPunktSetzenButton"
                             << QStringList{"1.5", "-2", "0", "32767"}
                             << "SET_ZERO_MM 1.5 -2 0 32767;"
                             << "NullPunktSetzen_mm(1.5,-2,0,32767)";
    QTest::newRow("park") << false << "ParkenButton" << QStringList{} << "GO_PARK;"
                          << "ParkPositionAnfahren()";
    QTest::newRow("reference") << true << "ReferenzfahrtButton" << QStringList{} << "GO_REF;"
                               << "Referenzfahrt(0,0)";
}

void TestManualControlWnd::holdZeroParkReference()
{
    QFETCH(bool, mm);
    QFETCH(QString, buttonName);
    QFETCH(QStringList, texts);
    QFETCH(QString, line);
    QFETCH(QString, call);

    setMm(mm);
    if (texts.size() == 1)
        edit("HaltePositionEdit")->setText(texts.at(0));
    if (texts.size() == 4) {
        edit("XNullPunktEdit")->setText(texts.at(0));
        edit("YNullPunktEdit")->setText(texts.at(1));
        edit("ZNullPunktEdit")->setText(texts.at(2));
        edit("CNullPunktEdit")->setText(texts.at(3));
    }
    button(qPrintable(buttonName))->click();

    QCOMPARE(calls(), QStringList{call});
    QCOMPARE(outputLines(), QStringList{line});
}

void TestManualControlWnd::spindleAndCooling_data()
{
    QTest::addColumn<bool>("cooling");
    QTest::addColumn<bool>("spindle");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("call");

    // The line names cooling first; the library takes the spindle first.
    QTest::newRow("cooling only") << true << false << "SET_FUNC 1 0;"
                                  << "SpindelKuhlungSetzen(0,1)";
    QTest::newRow("spindle only") << false << true << "SET_FUNC 0 1;"
                                  << "SpindelKuhlungSetzen(1,0)";
    QTest::newRow("both off") << false << false << "SET_FUNC 0 0;"
                              << "SpindelKuhlungSetzen(0,0)";
}

void TestManualControlWnd::spindleAndCooling()
{
    QFETCH(bool, cooling);
    QFETCH(bool, spindle);
    QFETCH(QString, line);
    QFETCH(QString, call);

    panel->findChild<QCheckBox*>(QStringLiteral("bit5KuCheckBox"))->setChecked(cooling);
    panel->findChild<QCheckBox*>(QStringLiteral("bit4SpCheckBox"))->setChecked(spindle);
    button("SpKuSetzenButton")->click();
    QCOMPARE(calls(), QStringList{call});
    QCOMPARE(outputLines(), QStringList{line});
    QCOMPARE(int(panel->GetValues().coolingOn), cooling ? 1 : 0);
    QCOMPARE(int(panel->GetValues().spindleOn), spindle ? 1 : 0);
}

void TestManualControlWnd::generalOutputs_data()
{
    QTest::addColumn<int>("bits");
    QTest::newRow("none") << 0;
    QTest::newRow("all") << 255;
    QTest::newRow("bits 7 and 0") << 129;
    QTest::newRow("bit 1") << 2;
}

void TestManualControlWnd::generalOutputs()
{
    QFETCH(int, bits);
    for (int n = 0; n < 8; ++n)
        panel->findChild<QCheckBox*>(QStringLiteral("bit%1CheckBox").arg(n))
            ->setChecked(bits & (1 << n));
    button("AllgAusgSetzenButton")->click();
    QCOMPARE(calls(), QStringList{QStringLiteral("AllgemeineAusgaeneSetzen(%1)").arg(bits)});
    QCOMPARE(outputLines(), QStringList{QStringLiteral("SET_O %1;").arg(bits)});
}

void TestManualControlWnd::outputBoxesAreNumberedByBit()
{
    // The operator picks outputs by the numbers beside the boxes: box n sets bit n - 1.
    for (const QString& number : {QStringLiteral("1"), QStringLiteral("3")}) {
        const auto boxes = panel->findChildren<QCheckBox*>();
        const auto box = std::find_if(boxes.cbegin(), boxes.cend(), [&](const QCheckBox* b) {
            return b->text() == number;
        });
        QVERIFY2(box != boxes.cend(), qPrintable(number));
        (*box)->setChecked(true);
    }
    button("AllgAusgSetzenButton")->click();
    QCOMPARE(calls(), QStringList{QStringLiteral("AllgemeineAusgaeneSetzen(5)")});
}

void TestManualControlWnd::grblPortSaysItHasNoGeneralOutputs()
{
    QSettings link = quenta::linkSettings();
    quenta::setPortMapValue(link, QStringLiteral("COM3"), QStringLiteral("grbl:/dev/ttyUSB7"));
    link.sync();
    panel->findChild<QCheckBox*>(QStringLiteral("bit0CheckBox"))->setChecked(true);
    button("AllgAusgSetzenButton")->click();
    QCOMPARE(outputLines(),
             (QStringList{QStringLiteral("SET_O 1;"),
                          QStringLiteral("GRBL has no general outputs: nothing was switched "
                                         "on COM3.")}));

    // Written into a program, the line stays a line: no word about this port.
    KavrixKernel::Instance()->SetCommandToEditor(true);
    button("AllgAusgSetzenButton")->click();
    QCOMPARE(editorLines(), QStringList{QStringLiteral("SET_O 1;")});
}

// ---- input checks --------------------------------------------------------------------------

void TestManualControlWnd::rangeChecks_data()
{
    QTest::addColumn<bool>("mm");
    QTest::addColumn<QString>("editName");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QString>("message");  // empty: accepted

    const QString v = QStringLiteral("Value out of range [0 ... 999]");
    const QString vMm = QStringLiteral("Value out of range [0.0 ... 999.0]");
    const QString d = QStringLiteral("Value out of range [-32767 ... 32767]");
    const QString dMm = QStringLiteral("Value out of range [-32767.0 ... 32767.0]");
    const QString h = QStringLiteral("Value out of range [0 ... 12000000]");

    QTest::newRow("velocity 999") << false << "VEdit" << "999" << "XposButton" << QString();
    QTest::newRow("velocity 1000") << false << "VEdit" << "1000" << "XposButton" << v;
    QTest::newRow("velocity -1") << false << "VEdit" << "-1" << "CnegButton" << v;
    QTest::newRow("velocity mm 999.0") << true << "VEdit" << "999.0" << "ZposButton"
                                       << QString();
    QTest::newRow("velocity mm 999.5") << true << "VEdit" << "999.5" << "ZposButton" << vMm;
    QTest::newRow("velocity mm -0.1") << true << "VEdit" << "-0.1" << "FahreRelativXYButton"
                                      << vMm;
    QTest::newRow("X -32767") << false << "XEdit" << "-32767" << "FahreRelativXYButton"
                              << QString();
    QTest::newRow("X -32768") << false << "XEdit" << "-32768" << "FahreRelativXYButton" << d;
    QTest::newRow("Y 32768") << false << "YEdit" << "32768" << "FahreRelativXYButton" << d;
    QTest::newRow("C mm 32767.5") << true << "CEdit" << "32767.5" << "FahreRelativZCButton"
                                  << dMm;
    QTest::newRow("Z mm -32767.0") << true << "ZEdit" << "-32767.0" << "FahreRelativZCButton"
                                   << QString();
    QTest::newRow("hold 12000000") << false << "HaltePositionEdit" << "12000000"
                                   << "HaltePositionButton" << QString();
    QTest::newRow("hold 12000001") << false << "HaltePositionEdit" << "12000001"
                                   << "HaltePositionButton" << h;
    QTest::newRow("hold -1 mm") << true << "HaltePositionEdit" << "-1" << "HaltePositionButton"
                                << h;
    QTest::newRow("zero C 32768") << false << "CNullPunktEdit" << "32768"
                                  << "NullPunktSetzenButton" << d;
    QTest::newRow("zero X mm -40000") << true << "XNullPunktEdit" << "-40000"
                                      << "NullPunktSetzenButton" << dMm;
    QTest::newRow("zero Y mm NaN") << true << "YNullPunktEdit" << "nan"
                                   << "NullPunktSetzenButton" << dMm;
}

void TestManualControlWnd::rangeChecks()
{
    QFETCH(bool, mm);
    QFETCH(QString, editName);
    QFETCH(QString, text);
    QFETCH(QString, buttonName);
    QFETCH(QString, message);

    setMm(mm);
    auto* const statusLabel = panel->findChild<QLabel*>(QStringLiteral("statusLabel"));
    statusLabel->setText(QStringLiteral("left over"));
    QLineEdit* const target = edit(qPrintable(editName));
    target->setText(text);
    button(qPrintable(buttonName))->click();

    if (message.isEmpty()) {
        QCOMPARE(calls().size(), 1);
        QCOMPARE(outputLines().size(), 1);
        QVERIFY(statusLabel->text().isEmpty());
        return;
    }
    QVERIFY(calls().isEmpty());
    QVERIFY(outputLines().isEmpty());
    QCOMPARE(statusLabel->text(), message);
    QCOMPARE(panel->focusWidget(), target);
    QCOMPARE(target->selectedText(), text);
}

void TestManualControlWnd::firstBadValueWins()
{
    // Velocity, then X, then Y; values read before the bad one stay stored.
    edit("VEdit")->setText(QStringLiteral("12"));
    edit("XEdit")->setText(QStringLiteral("-40000"));
    edit("YEdit")->setText(QStringLiteral("40000"));
    button("FahreRelativXYButton")->click();
    QCOMPARE(panel->focusWidget(), edit("XEdit"));
    QCOMPARE(panel->GetValues().velocitySteps, 12);
    QVERIFY(calls().isEmpty());

    edit("VEdit")->setText(QStringLiteral("1000"));
    button("FahreRelativXYButton")->click();
    QCOMPARE(panel->focusWidget(), edit("VEdit"));
    QCOMPARE(panel->findChild<QLabel*>(QStringLiteral("statusLabel"))->text(),
             QStringLiteral("Value out of range [0 ... 999]"));

    // Zero point: X, Y, Z, C in this order.
    edit("YNullPunktEdit")->setText(QStringLiteral("99999"));
    edit("ZNullPunktEdit")->setText(QStringLiteral("-99999"));
    button("NullPunktSetzenButton")->click();
    QCOMPARE(panel->focusWidget(), edit("YNullPunktEdit"));
    QVERIFY(calls().isEmpty());
    QVERIFY(outputLines().isEmpty());

    // A range error in editor mode is refused all the same.
    KavrixKernel::Instance()->SetCommandToEditor(true);
    button("NullPunktSetzenButton")->click();
    QVERIFY(editorLines().isEmpty());
}

void TestManualControlWnd::onlySlotsWithInputsClearTheMessage()
{
    // A range message stays while park, reference and switching go out; the next slot with
    // input fields clears it.
    auto* const statusLabel = panel->findChild<QLabel*>(QStringLiteral("statusLabel"));
    edit("VEdit")->setText(QStringLiteral("1000"));
    button("XposButton")->click();
    const QString message = QStringLiteral("Value out of range [0 ... 999]");
    QCOMPARE(statusLabel->text(), message);
    for (const char* name : {"ParkenButton", "ReferenzfahrtButton", "SpKuSetzenButton",
                             "AllgAusgSetzenButton", "NotHaltMitBremsenButton",
                             "FehlerQuitierenButton", "AllgEingDeaktivierenButton"}) {
        button(name)->click();
        QVERIFY2(statusLabel->text() == message, name);
    }
    QCOMPARE(outputLines(), (QStringList{"GO_PARK;", "GO_REF;", "SET_FUNC 0 0;", "SET_O 0;"}));

    button("HaltePositionButton")->click();
    QVERIFY(statusLabel->text().isEmpty());
    QCOMPARE(outputLines().last(), QStringLiteral("WAIT 0;"));
}

void TestManualControlWnd::textThatDoesNotConvertIsZero_data()
{
    QTest::addColumn<bool>("mm");
    QTest::addColumn<QString>("velocity");
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("line");

    QTest::newRow("empty velocity") << false << "" << "5" << "GO_XY_S 0 5 0;";
    QTest::newRow("minus only") << false << "3" << "-" << "GO_XY_S 3 0 0;";
    QTest::newRow("too big for 32 bits") << false << "3" << "99999999999" << "GO_XY_S 3 0 0;";
    QTest::newRow("mm text") << true << "abc" << "1.25" << "GO_XY_MM 0 1.25 0;";
    QTest::newRow("mm comma") << true << "2" << "1,5" << "GO_XY_MM 2 0 0;";
}

void TestManualControlWnd::textThatDoesNotConvertIsZero()
{
    QFETCH(bool, mm);
    QFETCH(QString, velocity);
    QFETCH(QString, x);
    QFETCH(QString, line);

    setMm(mm);
    edit("VEdit")->setText(velocity);
    edit("XEdit")->setText(x);
    button("FahreRelativXYButton")->click();
    QCOMPARE(outputLines(), QStringList{line});
}

// ---- guard ---------------------------------------------------------------------------------

void TestManualControlWnd::noActiveControllerIsSilent()
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    kernel->SetActiveController(static_cast<TarvoController*>(nullptr));
    for (const bool toEditor : {false, true}) {
        kernel->SetCommandToEditor(toEditor);
        for (const char* name : {"XnegButton", "FahreRelativXYButton", "HaltePositionButton",
                                 "ParkenButton", "SpKuSetzenButton", "AllgAusgSetzenButton",
                                 "NotHaltMitBremsenButton", "NotStopOhneBremsenButton",
                                 "FehlerQuitierenButton", "AllgEingDeaktivierenButton"})
            button(name)->click();
    }
    QVERIFY(dialogs->shown.isEmpty());
    QVERIFY(calls().isEmpty());
    QVERIFY(outputLines().isEmpty());
    QVERIFY(editorLines().isEmpty());
}

void TestManualControlWnd::disconnectedControllerIsWarnedWithoutQuestion()
{
    setPendingError(19);
    KavrixKernel::Instance()->DisconnectActiveController();
    ports->device("COM3")->clearCalls();

    dialogs->expectBox();
    button("ReferenzfahrtButton")->click();
    QCOMPARE(dialogs->shown.size(), 1);
    QCOMPARE(dialogs->shown.at(0).kind, QStringLiteral("warning"));
    QCOMPARE(dialogs->shown.at(0).title, QStringLiteral("Connecting to Controller"));
    QCOMPARE(dialogs->shown.at(0).text, QStringLiteral("Controller on COM3 isn't connected.\n"));
    QVERIFY(calls().isEmpty());
    QVERIFY(outputLines().isEmpty());
}

void TestManualControlWnd::pendingErrorDeclinedSendsNothing()
{
    setPendingError(19);
    dialogs->buttonAnswers.enqueue(QMessageBox::No);
    button("XposButton")->click();

    QCOMPARE(dialogs->shown.size(), 1);
    const ScriptedDialogs::Shown& box = dialogs->shown.at(0);
    QCOMPARE(box.kind, QStringLiteral("question"));
    QCOMPARE(box.title, QStringLiteral("ManualControlWnd"));
    QCOMPARE(box.text, QStringLiteral("Ein Fehler ist aufgetretten:\n0x13 : X Endschalter ist "
                                      "ausgelöst\nMöchten Sie den Fehler quitieren?"));
    QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.defaultButton, QMessageBox::Yes);
    QVERIFY(calls().isEmpty());
    QVERIFY(outputLines().isEmpty());
}

void TestManualControlWnd::pendingErrorAcceptedAcknowledgesOnceThenSends()
{
    setPendingError(0x99);
    dialogs->buttonAnswers.enqueue(QMessageBox::Yes);
    button("AllgAusgSetzenButton")->click();
    QCOMPARE(calls(), (QStringList{"FehlerQuitieren()", "AllgemeineAusgaeneSetzen(0)"}));
    QCOMPARE(outputLines(), QStringList{"SET_O 0;"});
    QCOMPARE(dialogs->count(QStringLiteral("question")), 1);
}

void TestManualControlWnd::refusedCommandLeavesThePanelUntouched()
{
    // Refused by the guard, a slot neither clears the message line nor reads its fields.
    auto* const statusLabel = panel->findChild<QLabel*>(QStringLiteral("statusLabel"));
    const auto prepare = [&] {
        statusLabel->setText(QStringLiteral("earlier message"));
        edit("VEdit")->setText(QStringLiteral("5000"));
        edit("XEdit")->setText(QStringLiteral("77"));
        edit("HaltePositionEdit")->setText(QStringLiteral("-3"));
        edit("YNullPunktEdit")->setText(QStringLiteral("12"));
    };
    const auto checkUntouched = [&] {
        QCOMPARE(statusLabel->text(), QStringLiteral("earlier message"));
        const ManualCommandValues& v = panel->GetValues();
        QCOMPARE(v.velocitySteps, 0);
        QCOMPARE(v.distSteps[0][0], 0);
        QCOMPARE(v.holdTimeMs, 0);
        QCOMPARE(v.zeroSteps[1], 0);
        QCOMPARE(edit("VEdit")->text(), QStringLiteral("5000"));
        QVERIFY(calls().isEmpty());
        QVERIFY(outputLines().isEmpty());
    };
    const char* const guarded[] = {"XnegButton", "FahreRelativXYButton", "HaltePositionButton",
                                 "NullPunktSetzenButton"};

    // Declined acknowledgement.
    setPendingError(0x53);
    prepare();
    for (const char* name : guarded) {
        dialogs->buttonAnswers.enqueue(QMessageBox::No);
        button(name)->click();
    }
    QCOMPARE(dialogs->count(QStringLiteral("question")), 4);
    checkUntouched();

    // Not connected.
    KavrixKernel::Instance()->DisconnectActiveController();
    ports->device("COM3")->clearCalls();
    dialogs->clear();
    prepare();
    for (const char* name : guarded) {
        dialogs->expectBox();
        button(name)->click();
    }
    QCOMPARE(dialogs->count(QStringLiteral("warning")), 4);
    QCOMPARE(dialogs->shown.size(), 4);
    checkUntouched();
}

void TestManualControlWnd::editorDestinationTouchesNoController()
{
    setPendingError(19);
    KavrixKernel* const kernel = KavrixKernel::Instance();
    kernel->DisconnectActiveController();
    ports->device("COM3")->clearCalls();
    kernel->SetCommandToEditor(true);

    edit("VEdit")->setText(QStringLiteral("100"));
    panel->findChild<QComboBox*>(QStringLiteral("StreckeComboBox"))->setCurrentIndex(1);
    button("XnegButton")->click();
    button("ParkenButton")->click();
    QVERIFY(dialogs->shown.isEmpty());
    QVERIFY(calls().isEmpty());
    QVERIFY(outputLines().isEmpty());
    QCOMPARE(editorLines(), (QStringList{"GO_XY_S 100 -10 0;", "GO_PARK;"}));
}

void TestManualControlWnd::refusalReasonFollowsTheCommandInTheLog()
{
    ports->device("COM3")->queueResult("ParkPositionAnfahren", 0);
    ports->device("COM3")->setRefusal("Park position X5 mm lies outside the machine's envelope");
    button("ParkenButton")->click();
    button("ParkenButton")->click();  // a reason is told once
    QCOMPARE(outputLines(),
             (QStringList{"GO_PARK;", "Refused: Park position X5 mm lies outside the machine's "
                                      "envelope", "GO_PARK;"}));
}

void TestManualControlWnd::callGoesToThePanelsOwnController()
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    auto* const second = new TarvoController(QStringLiteral("COM4"), 115200);
    QVERIFY(kernel->AddController(second));  // becomes the active controller
    kernel->ConnectActiveController();
    ports->device("COM4")->clearCalls();
    ManualControlWnd other(second, nullptr);
    other.findChild<QPushButton*>(QStringLiteral("ParkenButton"))->click();
    QCOMPARE(toQt(ports->device("COM4")->calls()), QStringList{"ParkPositionAnfahren()"});
    QVERIFY(calls().isEmpty());
}

void TestManualControlWnd::linesReadBackAsTheSameCalls()
{
    // Every line the panel writes, checked and sent as a RAM program line, makes exactly the
    // call the panel made itself.
    KavrixKernel* const kernel = KavrixKernel::Instance();
    auto* const replay = new TarvoController(QStringLiteral("COM4"), 115200);
    QVERIFY(kernel->AddController(replay));
    kernel->ConnectActiveController();
    kernel->SetActiveController(controller);
    ports->device("COM4")->clearCalls();

    const auto combo = panel->findChild<QComboBox*>(QStringLiteral("StreckeComboBox"));
    const auto check = [this](const char* name, bool on) {
        panel->findChild<QCheckBox*>(QLatin1String(name))->setChecked(on);
    };
    for (const bool mm : {false, true}) {
        setMm(mm);
        edit("VEdit")->setText(mm ? QStringLiteral("12.5") : QStringLiteral("250"));
        for (int index = 0; index < 5; ++index) {
            combo->setCurrentIndex(index);
            for (const char* jog : {"XnegButton", "YposButton", "ZposButton", "CnegButton"})
                button(jog)->click();
        }
        edit("XEdit")->setText(QStringLiteral("-32767"));
        edit("YEdit")->setText(mm ? QStringLiteral("0.001") : QStringLiteral("17"));
        edit("ZEdit")->setText(mm ? QStringLiteral("1234.5") : QStringLiteral("-3"));
        edit("CEdit")->setText(QStringLiteral("32767"));
        button("FahreRelativXYButton")->click();
        button("FahreRelativZCButton")->click();
        edit("HaltePositionEdit")->setText(QStringLiteral("750"));
        button("HaltePositionButton")->click();
        edit("XNullPunktEdit")->setText(mm ? QStringLiteral("-0.5") : QStringLiteral("-200"));
        edit("CNullPunktEdit")->setText(QStringLiteral("9"));
        button("NullPunktSetzenButton")->click();
    }
    button("ParkenButton")->click();
    button("ReferenzfahrtButton")->click();
    check("bit5KuCheckBox", true);
    button("SpKuSetzenButton")->click();
    check("bit5KuCheckBox", false);
    check("bit4SpCheckBox", true);
    button("SpKuSetzenButton")->click();
    check("bit6CheckBox", true);
    check("bit1CheckBox", true);
    button("AllgAusgSetzenButton")->click();

    const QStringList lines = outputLines();
    QCOMPARE(lines.size(), 2 * (20 + 4) + 5);
    const RamProgramCheck checked = CheckRamProgram(lines.join(QLatin1Char('\n')));
    QCOMPARE(checked.messages, QStringList());
    QCOMPARE(checked.commands.size(), lines.size());
    for (const RamCommand& command : checked.commands)
        SendRamCommand(replay->GetPortSettings(), command);
    QCOMPARE(toQt(ports->device("COM4")->calls()), calls());
}

// ---- slots that only need a connection -----------------------------------------------------

void TestManualControlWnd::directSlots_data()
{
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QString>("call");
    QTest::addColumn<bool>("toEditor");

    for (const bool toEditor : {false, true}) {
        const char* const where = toEditor ? " to editor" : " to controller";
        QTest::addRow("Not Halt%s", where) << "NotHaltMitBremsenButton"
                                           << "NotHalt_mitBremsrampe()" << toEditor;
        QTest::addRow("Not Stop%s", where) << "NotStopOhneBremsenButton"
                                           << "NotStop_ohneBremsrampe()" << toEditor;
        QTest::addRow("acknowledge%s", where) << "FehlerQuitierenButton" << "FehlerQuitieren()"
                                              << toEditor;
    }
}

void TestManualControlWnd::directSlots()
{
    QFETCH(QString, buttonName);
    QFETCH(QString, call);
    QFETCH(bool, toEditor);

    setPendingError(0x53);  // never asked about
    KavrixKernel::Instance()->SetCommandToEditor(toEditor);
    button(qPrintable(buttonName))->click();
    QCOMPARE(calls(), QStringList{call});
    QVERIFY(dialogs->shown.isEmpty());
    QVERIFY(outputLines().isEmpty());
    QVERIFY(editorLines().isEmpty());
}

void TestManualControlWnd::directSlotsRefuseWhenDisconnected()
{
    KavrixKernel::Instance()->DisconnectActiveController();
    ports->device("COM3")->clearCalls();
    KavrixKernel::Instance()->SetCommandToEditor(true);
    dialogs->expectBox();
    dialogs->expectBox();
    button("NotStopOhneBremsenButton")->click();
    button("NotHaltMitBremsenButton")->click();
    QCOMPARE(dialogs->count(QStringLiteral("warning")), 2);
    QVERIFY(calls().isEmpty());
}

void TestManualControlWnd::actionsAndAnswersAreLogged()
{
    QSignalSpy log(panel, &ManualControlWnd::SignalLog);
    ports->device("COM3")->queueResult("NotStop_ohneBremsrampe", 0);
    ports->device("COM3")->queueResult("ParkPositionAnfahren", 0);
    button("NotHaltMitBremsenButton")->click();
    button("NotStopOhneBremsenButton")->click();
    button("FehlerQuitierenButton")->click();
    button("ParkenButton")->click();
    QStringList lines;
    for (const QList<QVariant>& args : log)
        lines << args.at(0).toString();
    QCOMPARE(lines, (QStringList{"COM3: Not Halt sent", "COM3: Not Stop refused by the controller",
                                 "COM3: Fehler quitieren sent",
                                 "COM3: Parken refused by the controller"}));
    // The program line stays as it is, alone in the kernel's stream.
    QCOMPARE(outputLines(), QStringList{"GO_PARK;"});
}

void TestManualControlWnd::referenceMessageEndsWithTheRun()
{
    QSignalSpy messages(panel, &ManualControlWnd::SignalStatusMessage);
    const auto report = [this](bool referencing, uint8_t error) {
        quenta::RunState runs;
        runs.referencing = referencing;
        ports->device("COM3")->setRunState(runs);
        quenta::StatusReport status;
        status.errorCode = error;
        ports->device("COM3")->setStatus(status);
        controller->UpdateStatus();
        Q_EMIT KavrixKernel::Instance()->SignalUpdateControllerStatus(QStringLiteral("COM3"));
    };
    const auto last = [&messages] {
        return messages.isEmpty() ? QString() : messages.last().at(0).toString();
    };

    report(false, 0);
    button("ReferenzfahrtButton")->click();
    QCOMPARE(last(), QString("Achsen werden referenziert"));
    QCOMPARE(messages.last().at(1).toInt(), 0);  // stays while the run lasts
    report(true, 0);
    QCOMPARE(messages.size(), 1);
    report(false, 0);
    QCOMPARE(last(), QString("Reference run finished"));

    // A run that fails ends the message with the controller's error.
    button("ReferenzfahrtButton")->click();
    report(true, 0x0a);
    QCOMPARE(last(), QString("Reference run failed: 0x0a : Anzahl der Achsen für "
                             "Referenzfahrt ist falsch"));
    const int shown = int(messages.size());
    report(false, 0x0a);
    QCOMPARE(messages.size(), shown);  // told once

    // A refused call ends it at once.
    report(false, 0);
    ports->device("COM3")->queueResult("Referenzfahrt", 0);
    button("ReferenzfahrtButton")->click();
    QCOMPARE(last(), QString("Reference run refused by the controller"));
    report(true, 0);
    QCOMPARE(last(), QString("Reference run refused by the controller"));
}

void TestManualControlWnd::inputsDeactivationWritesTheRecord()
{
    auto* const box = panel->findChild<QCheckBox*>(QStringLiteral("AllgEingDeaktivierenCheckBox"));
    box->setChecked(true);
    button("AllgEingDeaktivierenButton")->click();
    QCOMPARE(int(controller->GetPortSettings()->generalInputsDisabled), 1);
    box->setChecked(false);
    button("AllgEingDeaktivierenButton")->click();
    QCOMPARE(int(controller->GetPortSettings()->generalInputsDisabled), 0);
    QVERIFY(calls().isEmpty());
    QVERIFY(outputLines().isEmpty());

    // Refused while disconnected: the byte keeps its value.
    KavrixKernel::Instance()->DisconnectActiveController();
    box->setChecked(true);
    dialogs->expectBox();
    button("AllgEingDeaktivierenButton")->click();
    QCOMPARE(int(controller->GetPortSettings()->generalInputsDisabled), 0);
    QCOMPARE(dialogs->count(QStringLiteral("warning")), 1);
}

// ---- units ---------------------------------------------------------------------------------

void TestManualControlWnd::unitToggleResetsEditsAndValidators()
{
    setMm(true);
    QVERIFY(!panel->IsStepsMode());
    const auto* mmValidator = qobject_cast<const QDoubleValidator*>(edit("VEdit")->validator());
    QVERIFY(mmValidator);
    QCOMPARE(mmValidator->top(), 999.0);
    QCOMPARE(mmValidator->decimals(), 6);
    QVERIFY(qobject_cast<const QDoubleValidator*>(edit("CNullPunktEdit")->validator()));
    QVERIFY(qobject_cast<const QIntValidator*>(edit("HaltePositionEdit")->validator()));

    for (const char* name : {"VEdit", "XEdit", "CEdit", "HaltePositionEdit", "ZNullPunktEdit"})
        edit(name)->setText(QStringLiteral("12.5"));
    panel->findChild<QComboBox*>(QStringLiteral("StreckeComboBox"))->setCurrentIndex(4);
    panel->findChild<QLabel*>(QStringLiteral("statusLabel"))->setText(QStringLiteral("old"));

    setMm(false);
    QVERIFY(panel->IsStepsMode());
    for (const char* name : {"VEdit", "XEdit", "CEdit", "HaltePositionEdit", "ZNullPunktEdit"})
        QCOMPARE(edit(name)->text(), QStringLiteral("0"));
    QCOMPARE(panel->findChild<QComboBox*>(QStringLiteral("StreckeComboBox"))->currentIndex(), 0);
    QVERIFY(panel->findChild<QLabel*>(QStringLiteral("statusLabel"))->text().isEmpty());
    const auto* stepsValidator = qobject_cast<const QIntValidator*>(edit("XEdit")->validator());
    QVERIFY(stepsValidator);
    QCOMPARE(stepsValidator->bottom(), -32767);
    QCOMPARE(stepsValidator->top(), 32767);
}

void TestManualControlWnd::validatorsTakeOnlyPointDecimals()
{
    // Whatever the user's locale, the edits accept what the conversion reads.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ManualControlWnd german(controller, nullptr);
    QLocale::setDefault(before);
    german.findChild<QRadioButton*>(QStringLiteral("EinheitMmRadioButton"))->click();
    const QValidator* const validator =
        german.findChild<QLineEdit*>(QStringLiteral("XEdit"))->validator();
    QString text = QStringLiteral("1.5");
    int pos = 0;
    QCOMPARE(validator->validate(text, pos), QValidator::Acceptable);
    text = QStringLiteral("1,5");
    QCOMPARE(validator->validate(text, pos), QValidator::Invalid);

    german.findChild<QRadioButton*>(QStringLiteral("EinheitStepsRadioButton"))->click();
    text = QStringLiteral("1.000");
    QCOMPARE(german.findChild<QLineEdit*>(QStringLiteral("XEdit"))->validator()->validate(text,
                                                                                         pos),
             QValidator::Invalid);
}

QTEST_MAIN(TestManualControlWnd)
#include "tst_manualcontrolwnd.moc"
