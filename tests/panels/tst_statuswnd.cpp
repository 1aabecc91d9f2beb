// The status panel: pins, positions, error text and buffer fill for given status reports,
// which reports it follows, and the all-grey state without a connected active controller.

#include "cachedgroupbox.h"
#include "kavrixkernel.h"
#include "manualcontrolwnd.h"
#include "quenta.h"
#include "scripteddialogs.h"
#include "statuswnd.h"
#include "tarvocontroller.h"
#include "tarvoparameters.h"
#include "testenv.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <cstdlib>
#include <functional>
#include <memory>

namespace {

// Reference pins, cooling, spindle, general outputs, switch inputs, general inputs.
const QStringList allPinLabels = [] {
    QStringList names{"endRefXLabel", "endRefYLabel", "endRefZLabel", "endRefCLabel",
                      "bit5KuLabel", "bit4SpLabel"};
    for (int n = 7; n >= 0; --n)
        names << QStringLiteral("bit%1AusLabel").arg(n);
    names << "bit7J3Label" << "bit6J2Label" << "bit5J1Label" << "bit4NotLabel"
          << "bit3EndCLabel" << "bit2EndZLabel" << "bit1EndYLabel" << "bit0EndXLabel";
    for (int n = 7; n >= 0; --n)
        names << QStringLiteral("bit%1EinLabel").arg(n);
    return names;
}();

}  // namespace

class TestStatusWnd : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void startsGreyWithoutController();
    void formTexts();
    void fullReport();
    void switchInputs_data();
    void switchInputs();
    void bufferFill_data();
    void bufferFill();
    void deactivatedAxisReferencePin();
    void generalInputsDeactivatedByTheManualPanel();
    void errorTextFollowsTheReport();
    void runningRamProgramShowsSlotAndPass();
    void millimetresBesideTheSteps();
    void reportsOfOtherControllersAreIgnored();
    void changeToDisconnectedControllerGreysAtOnce();
    void disconnectGreysAndReconnectFillsIn();
    void groupBoxesPaintLikePlainOnesAfterEveryChange();
    void screenshots();

private:
    QString pinOf(const QString& labelName) const;
    void report(const QString& port, const quenta::StatusReport& status);
    QString text(const char* editName) const;

    QMap<QString, QImage> pinImages;
    std::unique_ptr<ScriptedPorts> ports;
    std::unique_ptr<ScriptedDialogs> dialogs;
    TarvoController* controller = nullptr;
    StatusWnd* panel = nullptr;
};

void TestStatusWnd::initTestCase()
{
    for (const char* colour : {"Green", "Yellow", "Grey", "Red"}) {
        const QString path = QStringLiteral(":/images/pin%1.png").arg(QLatin1String(colour));
        const QImage image =
            QImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QVERIFY2(!image.isNull(), colour);
        // Every pin must be told apart from the others.
        for (const QImage& other : std::as_const(pinImages))
            QVERIFY(other != image);
        pinImages.insert(QLatin1String(colour), image);
    }
}

void TestStatusWnd::init()
{
    initTestSettings();
    ports = std::make_unique<ScriptedPorts>();
    dialogs = std::make_unique<ScriptedDialogs>();
    panel = new StatusWnd(nullptr);
    controller = new TarvoController(QStringLiteral("COM3"), 115200);
    QVERIFY(KavrixKernel::Instance()->AddController(controller));
}

void TestStatusWnd::cleanup()
{
    delete panel;
    panel = nullptr;
    delete KavrixKernel::Instance();
    controller = nullptr;
    dialogs.reset();
    ports.reset();
}

QString TestStatusWnd::pinOf(const QString& labelName) const
{
    const auto* const label = panel->findChild<QLabel*>(labelName);
    if (!label)
        return QStringLiteral("no label ") + labelName;
    const QImage shown =
        label->pixmap().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (auto it = pinImages.cbegin(); it != pinImages.cend(); ++it) {
        if (it.value() == shown)
            return it.key();
    }
    return QStringLiteral("none");
}

// The way a notification arrives: an event to the kernel, which fetches the report and
// announces it.
void TestStatusWnd::report(const QString& port, const quenta::StatusReport& status)
{
    ports->device(port.toStdString())->setStatus(status);
    UpdateControllerStatusEvent event(port);
    QCoreApplication::sendEvent(KavrixKernel::Instance(), &event);
}

QString TestStatusWnd::text(const char* editName) const
{
    return panel->findChild<QLineEdit*>(QLatin1String(editName))->text();
}

void TestStatusWnd::startsGreyWithoutController()
{
    for (const QString& name : allPinLabels)
        QCOMPARE(pinOf(name), QStringLiteral("Grey"));
    QCOMPARE(allPinLabels.size(), 30);
    QCOMPARE(text("XistEdit"), QString());
    QCOMPARE(panel->findChild<QProgressBar*>(QStringLiteral("progressBar"))->value(), 0);
}

void TestStatusWnd::formTexts()
{
    const auto labelText = [this](const char* name) {
        return panel->findChild<QLabel*>(QLatin1String(name))->text();
    };
    QCOMPARE(labelText("labelC"), QStringLiteral("C:"));
    QCOMPARE(labelText("kuehlungLabel"), QStringLiteral("Kühlung"));
    QCOMPARE(labelText("spindelLabel"), QStringLiteral("Spindel"));
    QCOMPARE(labelText("EndNotLabel"), QStringLiteral("Not"));
    QCOMPARE(labelText("EndXLabel"), QStringLiteral("EndX"));
    QCOMPARE(panel->findChild<QLabel*>(QStringLiteral("bit5J1Label"))->toolTip(),
             QStringLiteral("Joystick 1 Ausgang"));
    auto* const bar = panel->findChild<QProgressBar*>(QStringLiteral("progressBar"));
    QCOMPARE(bar->maximum(), 100);
    QVERIFY(bar->isTextVisible());
    QCOMPARE(bar->toolTip(), QStringLiteral("Befehlspufferfüllstand"));
    QVERIFY(panel->findChild<QLineEdit*>(QStringLiteral("YistEdit"))->isReadOnly());
}

void TestStatusWnd::fullReport()
{
    KavrixKernel::Instance()->ConnectActiveController();
    quenta::StatusReport status;
    status.pos[0] = -1200;
    status.pos[1] = 0;
    status.pos[2] = 2147483647;
    status.pos[3] = -5;
    status.flags = 0x01 | 0x04 | 0x20;  // X and Z referenced, cooling on, spindle off
    status.generalOutputs = 0x81;
    status.generalInputs = 0x02;
    status.bufferFill = 64;
    report(QStringLiteral("COM3"), status);

    QCOMPARE(text("XistEdit"), QStringLiteral("-1200"));
    QCOMPARE(text("YistEdit"), QStringLiteral("0"));
    QCOMPARE(text("ZistEdit"), QStringLiteral("2147483647"));
    QCOMPARE(text("CistEdit"), QStringLiteral("-5"));
    QCOMPARE(pinOf("endRefXLabel"), QStringLiteral("Green"));
    QCOMPARE(pinOf("endRefYLabel"), QStringLiteral("Yellow"));
    QCOMPARE(pinOf("endRefZLabel"), QStringLiteral("Green"));
    QCOMPARE(pinOf("endRefCLabel"), QStringLiteral("Yellow"));
    QCOMPARE(pinOf("bit5KuLabel"), QStringLiteral("Green"));
    QCOMPARE(pinOf("bit4SpLabel"), QStringLiteral("Yellow"));
    QCOMPARE(pinOf("bit7AusLabel"), QStringLiteral("Green"));
    QCOMPARE(pinOf("bit6AusLabel"), QStringLiteral("Yellow"));
    QCOMPARE(pinOf("bit0AusLabel"), QStringLiteral("Green"));
    QCOMPARE(pinOf("bit1EinLabel"), QStringLiteral("Green"));
    QCOMPARE(pinOf("bit0EinLabel"), QStringLiteral("Yellow"));
    QCOMPARE(pinOf("bit7EinLabel"), QStringLiteral("Yellow"));
    QCOMPARE(pinOf("bit4NotLabel"), QStringLiteral("Yellow"));
    QCOMPARE(panel->findChild<QProgressBar*>(QStringLiteral("progressBar"))->value(), 25);
    QVERIFY(panel->findChild<QLabel*>(QStringLiteral("ErrorLabel"))->text().isEmpty());
}

void TestStatusWnd::switchInputs_data()
{
    QTest::addColumn<int>("inputs");
    QTest::addColumn<QStringList>("pins");  // J3 J2 J1 Not EndC EndZ EndY EndX

    QTest::newRow("emergency stop") << 0x10
                                    << QStringList{"Yellow", "Yellow", "Yellow", "Red", "Yellow",
                                                   "Yellow", "Yellow", "Yellow"};
    QTest::newRow("joystick 1") << 0x20
                                << QStringList{"Yellow", "Yellow", "Green", "Yellow", "Yellow",
                                               "Yellow", "Yellow", "Yellow"};
    QTest::newRow("end switches") << 0x0f
                                  << QStringList{"Yellow", "Yellow", "Yellow", "Yellow", "Red",
                                                 "Red", "Red", "Red"};
    QTest::newRow("J3 J2 and EndY") << 0xc2
                                    << QStringList{"Green", "Green", "Yellow", "Yellow",
                                                   "Yellow", "Yellow", "Red", "Yellow"};
}

void TestStatusWnd::switchInputs()
{
    QFETCH(int, inputs);
    QFETCH(QStringList, pins);

    KavrixKernel::Instance()->ConnectActiveController();
    quenta::StatusReport status;
    status.inputs = static_cast<uint8_t>(inputs);
    report(QStringLiteral("COM3"), status);
    const QStringList labels{"bit7J3Label",   "bit6J2Label",   "bit5J1Label",   "bit4NotLabel",
                             "bit3EndCLabel", "bit2EndZLabel", "bit1EndYLabel", "bit0EndXLabel"};
    QStringList shown;
    for (const QString& label : labels)
        shown << pinOf(label);
    QCOMPARE(shown, pins);
}

void TestStatusWnd::bufferFill_data()
{
    QTest::addColumn<int>("fill");
    QTest::addColumn<int>("percent");
    QTest::newRow("255") << 255 << 99;
    QTest::newRow("128") << 128 << 50;
    QTest::newRow("2") << 2 << 0;
    QTest::newRow("3") << 3 << 1;
    QTest::newRow("0") << 0 << 0;
}

void TestStatusWnd::bufferFill()
{
    QFETCH(int, fill);
    QFETCH(int, percent);
    KavrixKernel::Instance()->ConnectActiveController();
    quenta::StatusReport status;
    status.bufferFill = static_cast<uint8_t>(fill);
    report(QStringLiteral("COM3"), status);
    QCOMPARE(panel->findChild<QProgressBar*>(QStringLiteral("progressBar"))->value(), percent);
}

void TestStatusWnd::deactivatedAxisReferencePin()
{
    controller->GetParameters().MECHANIK_ACHSENCONFIGURATION_UCHAR[1] = 2;  // Y deactivated
    controller->GetParameters().MECHANIK_ACHSENCONFIGURATION_UCHAR[3] = 1;  // C rotary
    KavrixKernel::Instance()->ConnectActiveController();
    quenta::StatusReport status;
    report(QStringLiteral("COM3"), status);
    QCOMPARE(pinOf("endRefXLabel"), QStringLiteral("Yellow"));
    QCOMPARE(pinOf("endRefYLabel"), QStringLiteral("Grey"));
    QCOMPARE(pinOf("endRefCLabel"), QStringLiteral("Yellow"));

    status.flags = 0x02;  // referenced: green whatever the configuration
    report(QStringLiteral("COM3"), status);
    QCOMPARE(pinOf("endRefYLabel"), QStringLiteral("Green"));
    QCOMPARE(pinOf("endRefXLabel"), QStringLiteral("Yellow"));
}

void TestStatusWnd::generalInputsDeactivatedByTheManualPanel()
{
    KavrixKernel::Instance()->ConnectActiveController();
    ManualControlWnd manual(controller, nullptr);
    manual.findChild<QCheckBox*>(QStringLiteral("AllgEingDeaktivierenCheckBox"))->setChecked(true);
    manual.findChild<QPushButton*>(QStringLiteral("AllgEingDeaktivierenButton"))->click();

    quenta::StatusReport status;
    status.generalInputs = 0xff;
    status.generalOutputs = 0x01;
    status.inputs = 0x10;
    report(QStringLiteral("COM3"), status);
    for (int n = 0; n < 8; ++n)
        QCOMPARE(pinOf(QStringLiteral("bit%1EinLabel").arg(n)), QStringLiteral("Grey"));
    QCOMPARE(pinOf("bit0AusLabel"), QStringLiteral("Green"));
    QCOMPARE(pinOf("bit4NotLabel"), QStringLiteral("Red"));

    manual.findChild<QCheckBox*>(QStringLiteral("AllgEingDeaktivierenCheckBox"))
        ->setChecked(false);
    manual.findChild<QPushButton*>(QStringLiteral("AllgEingDeaktivierenButton"))->click();
    report(QStringLiteral("COM3"), status);
    for (int n = 0; n < 8; ++n)
        QCOMPARE(pinOf(QStringLiteral("bit%1EinLabel").arg(n)), QStringLiteral("Green"));
}

void TestStatusWnd::millimetresBesideTheSteps()
{
    KavrixKernel::Instance()->ConnectActiveController();
    const auto mm = [this](const char* name) {
        return panel->findChild<QLabel*>(QLatin1String(name))->text();
    };
    quenta::StatusReport status;
    status.pos[0] = 10000;
    status.pos[1] = -1;
    status.pos[2] = 7;
    status.pos[3] = 90;
    // An undefined set knows no resolutions: steps only.
    report(QStringLiteral("COM3"), status);
    for (const char* name : {"XmmLabel", "YmmLabel", "ZmmLabel", "CmmLabel"})
        QCOMPARE(mm(name), QString());

    TarvoParameters& parameters = controller->GetParameters();
    parameters.ResetToDefaults();
    parameters.MECHANIK_AUFLOESUNG_X_FLOAT = 100.0f;
    parameters.MECHANIK_AUFLOESUNG_Y_FLOAT = 200.0f;
    parameters.MECHANIK_AUFLOESUNG_Z_FLOAT = 0.0f;  // nothing to divide by
    parameters.MECHANIK_ACHSENCONFIGURATION_UCHAR[3] = 1;  // rotary: degrees unknown
    report(QStringLiteral("COM3"), status);
    QCOMPARE(mm("XmmLabel"), QString("100.000 mm"));
    QCOMPARE(mm("YmmLabel"), QString("-0.005 mm"));
    QCOMPARE(mm("ZmmLabel"), QString());
    QCOMPARE(mm("CmmLabel"), QString());
    QCOMPARE(text("CistEdit"), QString("90"));

    // A new resolution shows with the next report.
    parameters.MECHANIK_AUFLOESUNG_X_FLOAT = 400.0f;
    report(QStringLiteral("COM3"), status);
    QCOMPARE(mm("XmmLabel"), QString("25.000 mm"));

    KavrixKernel::Instance()->DisconnectActiveController();
    QCOMPARE(mm("XmmLabel"), QString());
}

void TestStatusWnd::runningRamProgramShowsSlotAndPass()
{
    KavrixKernel::Instance()->ConnectActiveController();
    auto* const label = panel->findChild<QLabel*>(QStringLiteral("ramProgramLabel"));
    QVERIFY(label);
    const auto run = [this](int slot, int pass, int passes) {
        quenta::RunState runs;
        runs.ram = {slot, pass, passes};
        ports->device("COM3")->setRunState(runs);
        report(QStringLiteral("COM3"), quenta::StatusReport());
    };
    run(2, 3, 5);
    QCOMPARE(label->text(), QStringLiteral("RAM2, pass 3 of 5"));
    QVERIFY(!label->isHidden());
    run(1, 12, 0);
    QCOMPARE(label->text(), QStringLiteral("RAM1, pass 12, endless"));
    run(0, 0, 0);
    QVERIFY(label->isHidden());
    // A disconnected controller shows no run.
    run(4, 1, 2);
    KavrixKernel::Instance()->DisconnectActiveController();
    QVERIFY(label->isHidden());
}

void TestStatusWnd::errorTextFollowsTheReport()
{
    KavrixKernel::Instance()->ConnectActiveController();
    // The positions below the error box stay where they are when an error comes and goes,
    // also one that takes two lines in a narrow panel (a large font makes it so).
    const QFont normalFont = QApplication::font();
    QFont largeFont = normalFont;
    largeFont.setPointSizeF(normalFont.pointSizeF() * 2);
    QApplication::setFont(largeFont);
    delete panel;
    panel = new StatusWnd(nullptr);
    QApplication::setFont(normalFont);
    auto* const errorLabel = panel->findChild<QLabel*>(QStringLiteral("ErrorLabel"));
    panel->resize(panel->minimumSizeHint().width(), 700);
    panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel));
    const auto positionsTop = [this] {
        panel->layout()->activate();
        const auto* const x = panel->findChild<QLineEdit*>(QStringLiteral("XistEdit"));
        return x->mapTo(panel, QPoint()).y();
    };
    const int top = positionsTop();
    quenta::StatusReport status;
    status.errorCode = 0x99;
    report(QStringLiteral("COM3"), status);
    QCOMPARE(errorLabel->text(), QStringLiteral("0x99 : Notstop der Achsen"));
    QCOMPARE(positionsTop(), top);
    status.errorCode = 0x0a;
    report(QStringLiteral("COM3"), status);
    QCOMPARE(positionsTop(), top);
    status.errorCode = 0;
    report(QStringLiteral("COM3"), status);
    QCOMPARE(errorLabel->text(), QString());
    QCOMPARE(positionsTop(), top);
}

void TestStatusWnd::reportsOfOtherControllersAreIgnored()
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    auto* const other = new TarvoController(QStringLiteral("COM4"), 115200);
    QVERIFY(kernel->AddController(other));
    kernel->ConnectActiveController();  // COM4
    kernel->SetActiveController(controller);
    kernel->ConnectActiveController();  // COM3

    quenta::StatusReport status;
    status.pos[0] = 100;
    report(QStringLiteral("COM3"), status);
    QCOMPARE(text("XistEdit"), QStringLiteral("100"));

    // COM3's record changes without a report of its own; a report of COM4 must not redraw.
    controller->GetStatus().posX = 777;
    status.pos[0] = 4444;
    report(QStringLiteral("COM4"), status);
    QCOMPARE(text("XistEdit"), QStringLiteral("100"));
    Q_EMIT kernel->SignalUpdateControllerStatus(QStringLiteral("COM9"));
    QCOMPARE(text("XistEdit"), QStringLiteral("100"));

    // Switching to COM4 shows COM4's report.
    kernel->SetActiveController(other);
    QCOMPARE(text("XistEdit"), QStringLiteral("4444"));
}

void TestStatusWnd::changeToDisconnectedControllerGreysAtOnce()
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    auto* const other = new TarvoController(QStringLiteral("COM4"), 115200);
    QVERIFY(kernel->AddController(other));  // active, never connected
    kernel->SetActiveController(controller);
    kernel->ConnectActiveController();
    quenta::StatusReport status;
    status.pos[0] = 5;
    status.flags = 0x3f;
    status.errorCode = 0x13;
    status.bufferFill = 200;
    report(QStringLiteral("COM3"), status);
    QCOMPARE(pinOf("endRefXLabel"), QStringLiteral("Green"));

    kernel->SetActiveController(other);
    for (const QString& name : allPinLabels)
        QCOMPARE(pinOf(name), QStringLiteral("Grey"));
    QCOMPARE(text("XistEdit"), QString());
    QCOMPARE(panel->findChild<QLabel*>(QStringLiteral("ErrorLabel"))->text(), QString());
    QCOMPARE(panel->findChild<QProgressBar*>(QStringLiteral("progressBar"))->value(), 0);

    kernel->SetActiveController(static_cast<TarvoController*>(nullptr));
    QCOMPARE(pinOf("bit5KuLabel"), QStringLiteral("Grey"));
}

void TestStatusWnd::disconnectGreysAndReconnectFillsIn()
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    kernel->ConnectActiveController();
    quenta::StatusReport status;
    status.pos[3] = -1200;
    status.flags = 0x10;
    report(QStringLiteral("COM3"), status);
    QCOMPARE(text("CistEdit"), QStringLiteral("-1200"));

    kernel->DisconnectActiveController();
    QCOMPARE(text("CistEdit"), QString());
    QCOMPARE(pinOf("bit4SpLabel"), QStringLiteral("Grey"));

    // The record still holds the old report; connecting shows it again.
    kernel->ConnectActiveController();
    QCOMPARE(text("CistEdit"), QStringLiteral("-1200"));
    QCOMPARE(pinOf("bit4SpLabel"), QStringLiteral("Green"));
}

// The panel's group boxes repaint from a picture of their frame: it must show what a plain
// group box shows, also after the title, size, state or palette changed.
void TestStatusWnd::groupBoxesPaintLikePlainOnesAfterEveryChange()
{
    QWidget window;
    CachedGroupBox cached(&window);
    QGroupBox plain(&window);
    // The frame's translucent edge is blended once more through the picture: a colour may
    // differ by one step, nothing more.
    const auto sameLook = [&] {
        const QImage a = cached.grab().toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage b = plain.grab().toImage().convertToFormat(QImage::Format_ARGB32);
        if (a.isNull() || a.size() != b.size())
            return false;
        for (int y = 0; y < a.height(); ++y) {
            for (int x = 0; x < a.width(); ++x) {
                const QRgb p = a.pixel(x, y);
                const QRgb q = b.pixel(x, y);
                if (std::abs(qRed(p) - qRed(q)) > 1 || std::abs(qGreen(p) - qGreen(q)) > 1
                    || std::abs(qBlue(p) - qBlue(q)) > 1 || std::abs(qAlpha(p) - qAlpha(q)) > 1)
                    return false;
            }
        }
        return true;
    };
    const auto both = [&](const std::function<void(QGroupBox&)>& change) {
        change(cached);
        change(plain);
    };
    both([](QGroupBox& box) {
        box.setTitle(QStringLiteral("Aktuelle Position"));
        box.resize(200, 90);
    });
    window.show();
    QVERIFY(sameLook());
    both([](QGroupBox& box) { box.setTitle(QStringLiteral("Allgemeine Ausg\u00e4nge")); });
    QVERIFY(sameLook());
    both([](QGroupBox& box) { box.resize(260, 60); });
    QVERIFY(sameLook());
    both([](QGroupBox& box) { box.setEnabled(false); });
    QVERIFY(sameLook());
    both([](QGroupBox& box) {
        QPalette palette = box.palette();
        palette.setColor(QPalette::WindowText, Qt::red);
        box.setPalette(palette);
    });
    QVERIFY(sameLook());
    both([](QGroupBox& box) {
        QFont font = box.font();
        font.setPointSize(font.pointSize() + 4);
        box.setFont(font);
    });
    QVERIFY(sameLook());
}

void TestStatusWnd::screenshots()
{
    // For a reviewer: both panels as the offscreen platform draws them.
    KavrixKernel::Instance()->ConnectActiveController();
    quenta::StatusReport status;
    status.pos[0] = -1200;
    status.pos[1] = 350;
    status.flags = 0x23;
    status.inputs = 0x11;
    status.generalOutputs = 0x81;
    status.generalInputs = 0x0f;
    status.bufferFill = 128;
    status.errorCode = 0x13;
    report(QStringLiteral("COM3"), status);

    ManualControlWnd manual(controller, nullptr);
    const QDir dir(QDir::current().filePath(QStringLiteral("panel-screenshots")));
    QVERIFY(QDir().mkpath(dir.path()));
    const std::pair<QWidget*, QString> shots[] = {
        {panel, QStringLiteral("statuswnd.png")},
        {&manual, QStringLiteral("manualcontrolwnd.png")}};
    for (const auto& [widget, file] : shots) {
        widget->adjustSize();
        const QPixmap picture = widget->grab();
        QVERIFY(!picture.isNull());
        QVERIFY(picture.save(dir.filePath(file)));
    }
}

QTEST_MAIN(TestStatusWnd)
#include "tst_statuswnd.moc"
