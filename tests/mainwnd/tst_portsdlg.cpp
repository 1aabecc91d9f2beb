// The port map from the window: serial device discovery, the Ports dialog showing the map,
// OK writing exactly the changed rows, Cancel writing nothing, the menu entry, and a failed
// connect naming where the port led.

#include "mainwndtesting.h"

#include "grblpeer.h"
#include "portsdlg.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

QSettings linkSettings()
{
    return QSettings(QStringLiteral("lumbrix"), QStringLiteral("Quenta"));
}

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
}

QComboBox* kindBox(QDialog* dialog, const QString& port)
{
    return dialog->findChild<QComboBox*>(QStringLiteral("kind") + port);
}

QComboBox* deviceBox(QDialog* dialog, const QString& port)
{
    return dialog->findChild<QComboBox*>(QStringLiteral("device") + port);
}

// The operator picks a kind (and types a path) in a row.
void setRow(QDialog* dialog, const QString& port, PortMapping::Kind kind,
            const QString& path = QString())
{
    QComboBox* const kindCombo = kindBox(dialog, port);
    kindCombo->setCurrentIndex(kindCombo->findData(int(kind)));
    if (!path.isNull())
        deviceBox(dialog, port)->setCurrentText(path);
}

// Every key of the link library's settings with its value.
QMap<QString, QVariant> storedMap()
{
    const QSettings settings = linkSettings();
    QMap<QString, QVariant> map;
    for (const QString& key : settings.allKeys())
        map.insert(key, settings.value(key));
    return map;
}

}  // namespace

class TestPortsDlg : public MainWndTestCase {
    Q_OBJECT

private Q_SLOTS:
    void init() { startEnvironment(); }
    void cleanup() { stopEnvironment(); }

    void discoveryListsStableNamesFirstThenExistingTtysInNumberOrder()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString dev = root.filePath("dev");
        for (const char* name : {"ttyS10", "ttyS2", "ttyACM0", "ttyUSB1", "ttyUSB0", "tty0",
                                 "ttyAMA0", "null"})
            touch(dev + "/" + name);
        QDir().mkpath(dev + "/ttyS9.d");  // a folder is no device
        touch(dev + "/serial/by-id/usb-Arduino_Uno-if00");
        QVERIFY(QFile::link("../../ttyUSB1", dev + "/serial/by-id/usb-FTDI_A50-if00-port0"));
        QVERIFY(QFile::link("../../ttyUSB9", dev + "/serial/by-id/usb-gone-if00"));  // dangling

        QCOMPARE(FindSerialDevices(root.path()),
                 QStringList({dev + "/serial/by-id/usb-Arduino_Uno-if00",
                              dev + "/serial/by-id/usb-FTDI_A50-if00-port0",
                              dev + "/ttyUSB0", dev + "/ttyUSB1", dev + "/ttyACM0",
                              dev + "/ttyS2", dev + "/ttyS10"}));

        // No by-id folder (no USB adapter plugged in) and no dev folder at all.
        QDir(dev + "/serial").removeRecursively();
        QCOMPARE(FindSerialDevices(root.path()).first(), dev + "/ttyUSB0");
        QTemporaryDir empty;
        QVERIFY(FindSerialDevices(empty.path()).isEmpty());
    }

    void dialogShowsTheCurrentMapAndFlagsMissingDevices()
    {
        QTemporaryDir root;
        const QString present = root.filePath("dev/ttyUSB0");
        touch(present);
        const QString absent = root.filePath("dev/ttyUSB7");
        {
            QSettings settings = linkSettings();
            settings.setValue("ports/COM2", "simulator --silent");
            settings.setValue("ports/COM3", present);
            settings.setValue("ports/COM4", "grbl:" + present);
            settings.setValue("ports/COM5", absent);
            settings.setValue("ports/COM6", "grbl:" + absent);
            // A hand-written value with a comma reads back as a list.
            settings.setValue("ports/COM7", QStringList({root.filePath("a"), "b"}));
        }
        const PortMap map = ReadPortMap();
        QCOMPARE(map.values.value("COM7"), root.filePath("a") + ",b");
        QCOMPARE(map.values.keys(), PortMapPorts());

        const QStringList devices = {root.filePath("dev/serial/by-id/usb-x"), present};
        PortsDlg dialog(map, devices);
        struct Expected {
            const char* port;
            PortMapping::Kind kind;
            QString device;
            bool missing;
        };
        const Expected rows[] = {
            {"COM1", PortMapping::Simulator, "", false},
            {"COM2", PortMapping::Simulator, "", false},
            {"COM3", PortMapping::KavroDevice, present, false},
            {"COM4", PortMapping::GrblDevice, present, false},
            {"COM5", PortMapping::KavroDevice, absent, true},
            {"COM6", PortMapping::GrblDevice, absent, true},
            {"COM7", PortMapping::KavroDevice, root.filePath("a") + ",b", true},
            {"COM8", PortMapping::Simulator, "", false},
        };
        for (const Expected& row : rows) {
            const QString port = QString::fromLatin1(row.port);
            QComboBox* const kind = kindBox(&dialog, port);
            QComboBox* const device = deviceBox(&dialog, port);
            auto* const missing = dialog.findChild<QLabel*>("missing" + port);
            QVERIFY2(kind && device && missing, row.port);
            QCOMPARE(kind->currentData().toInt(), int(row.kind));
            QCOMPARE(device->currentText(), row.device);
            QCOMPARE(device->isEnabled(), row.kind != PortMapping::Simulator);
            QCOMPARE(!missing->isHidden(), row.missing);
            QCOMPARE(device->count(), devices.size());
            QCOMPARE(device->itemText(0), devices.first());
        }
        QCOMPARE(kindBox(&dialog, "COM1")->itemText(1), QString("Kavro controller on a device"));
        QVERIFY(dialog.findChild<QLabel*>("noteLabel")->text().contains("reconnected"));

        // The flag follows the operator's typing and the kind.
        auto* const missing = dialog.findChild<QLabel*>("missingCOM3");
        deviceBox(&dialog, "COM3")->setCurrentText(absent);
        QVERIFY(!missing->isHidden());
        setRow(&dialog, "COM3", PortMapping::Simulator);
        QVERIFY(missing->isHidden());
        QVERIFY(!deviceBox(&dialog, "COM3")->isEnabled());
    }

    void okThroughTheMenuWritesExactlyTheChangedRows()
    {
        {
            QSettings settings = linkSettings();
            settings.setValue("ports/COM2", "simulator --silence-after=5000");
            settings.setValue("ports/COM3", "/dev/ttyUSB3");
            settings.setValue("ports/COM4", "grbl:/dev/ttyACM0");
            settings.setValue("ports/COM5", " GRBL:/dev/ttyACM5");  // as hand-written
            settings.setValue("ports/COM6", "/dev/ttyS0");
            settings.setValue("other/key", "7");
        }
        KavrixMainWnd window;
        QAction* const action = window.GetActions().controllerPorts;
        QVERIFY(window.menuBar()->actions().at(1)->menu()->actions().contains(action));
        QVERIFY(action->isEnabled());

        QString refusal;
        int firstResult = -1;
        dialogs->execAnswers.enqueue([&](QDialog* dialog) {
            setRow(dialog, "COM1", PortMapping::GrblDevice, "/dev/serial/by-id/usb-1");
            // Away from the simulator and back: its options stay.
            setRow(dialog, "COM2", PortMapping::KavroDevice, "/dev/ttyUSB2");
            setRow(dialog, "COM2", PortMapping::Simulator);
            setRow(dialog, "COM3", PortMapping::Simulator);
            setRow(dialog, "COM4", PortMapping::KavroDevice);  // same device, other protocol
            setRow(dialog, "COM6", PortMapping::KavroDevice, " /dev/ttyS0 ");  // unchanged
            // A device kind without a path is refused and the dialog stays open.
            setRow(dialog, "COM8", PortMapping::KavroDevice, "");
            dialog->accept();
            firstResult = dialog->result();
            refusal = dialog->findChild<QLabel*>("statusLabel")->text();
            setRow(dialog, "COM8", PortMapping::KavroDevice, "/tmp/kavro-com8");
            dialog->accept();
            return dialog->result();
        });
        action->trigger();
        QCOMPARE(dialogs->count("exec"), 1);
        QCOMPARE(firstResult, int(QDialog::Rejected));
        QCOMPARE(refusal, QString("Enter the device path for COM8"));

        const QMap<QString, QVariant> stored = storedMap();
        QCOMPARE(stored, (QMap<QString, QVariant>{
                             {"ports/COM1", "grbl:/dev/serial/by-id/usb-1"},
                             {"ports/COM2", "simulator --silence-after=5000"},
                             {"ports/COM3", "simulator"},
                             {"ports/COM4", "/dev/ttyACM0"},
                             {"ports/COM5", " GRBL:/dev/ttyACM5"},
                             {"ports/COM6", "/dev/ttyS0"},
                             {"ports/COM8", "/tmp/kavro-com8"},
                             {"other/key", "7"},
                         }));
        // The settings file holds them too, not only this process's cache.
        QSettings fresh(linkSettings().fileName(), QSettings::IniFormat);
        QCOMPARE(fresh.value("ports/COM1").toString(), QString("grbl:/dev/serial/by-id/usb-1"));

        const QStringList log = stampedLines(window);
        for (const char* line :
             {"Port COM1 mapped to grbl:/dev/serial/by-id/usb-1", "Port COM3 mapped to simulator",
              "Port COM4 mapped to /dev/ttyACM0", "Port COM8 mapped to /tmp/kavro-com8"})
            QVERIFY2(log.contains(QString::fromLatin1(line)), line);
        QVERIFY(!window.GetOutputLog()->toPlainText().contains("COM2"));
    }

    // Adapters the system describes are listed; a port takes one by its identity, Detect maps
    // a port to the GRBL controller that answers on the selected device, and an identity whose
    // adapter is unplugged is flagged.
    void adaptersAreListedUsedAndDetected()
    {
        GrblPtyServer server;
        QVERIFY(server.start());
        quenta::SerialAdapter usb;
        usb.path = "/dev/ttyUSB3";
        usb.description = "USB Serial";
        usb.hasIds = true;
        usb.vendorId = 0x1a86;
        usb.productId = 0x7523;
        usb.serialNumber = "A9";
        quenta::SerialAdapter peer;
        peer.path = QString::fromStdString(server.path());
        PortMap map;
        map.values.insert("COM5", "grbl:usb:0403:6001:GONE");
        PortsDlg dialog(map, {}, nullptr, {usb, peer});
        auto* const table = dialog.findChild<QTableWidget*>("adapterTable");
        QVERIFY(table);
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, 3)->text(), QString("1a86:7523"));
        QVERIFY(deviceBox(&dialog, "COM1")->findText("usb:1a86:7523:A9") >= 0);
        QVERIFY(dialog.findChild<QLabel*>("missingCOM5")->isVisibleTo(&dialog));
        QCOMPARE(dialog.findChild<QLabel*>("missingCOM5")->text(), QString("adapter not connected"));

        auto* const port = dialog.findChild<QComboBox*>("adapterPort");
        port->setCurrentText("COM2");
        table->selectRow(0);
        dialog.findChild<QPushButton*>("useAdapterButton")->click();
        QCOMPARE(deviceBox(&dialog, "COM2")->currentText(), QString("usb:1a86:7523:A9"));
        QCOMPARE(kindBox(&dialog, "COM2")->currentData().toInt(), int(PortMapping::KavroDevice));

        port->setCurrentText("COM3");
        table->selectRow(1);
        QSignalSpy detected(&dialog, &PortsDlg::DetectionFinished);
        dialog.findChild<QPushButton*>("detectButton")->click();
        QVERIFY(detected.wait(10000));
        QCOMPARE(detected.at(0).at(0).toBool(), true);
        QCOMPARE(kindBox(&dialog, "COM3")->currentData().toInt(), int(PortMapping::GrblDevice));
        QCOMPARE(deviceBox(&dialog, "COM3")->currentText(), peer.path);
        dialog.accept();
        QCOMPARE(dialog.Changes().values.value("COM3"), "grbl:" + peer.path);
        QCOMPARE(dialog.Changes().values.value("COM2"), QString("usb:1a86:7523:A9"));
    }

    void cancelWritesNothing()
    {
        linkSettings().setValue("ports/COM2", "/dev/ttyUSB2");
        const QMap<QString, QVariant> before = storedMap();
        KavrixMainWnd window;
        const QString logBefore = window.GetOutputLog()->toPlainText();
        dialogs->execAnswers.enqueue([](QDialog* dialog) {
            setRow(dialog, "COM1", PortMapping::GrblDevice, "/dev/ttyUSB0");
            setRow(dialog, "COM2", PortMapping::Simulator);
            dialog->reject();
            return dialog->result();
        });
        window.GetActions().controllerPorts->trigger();
        QCOMPARE(dialogs->count("exec"), 1);
        QCOMPARE(storedMap(), before);
        QCOMPARE(window.GetOutputLog()->toPlainText(), logBefore);
    }

    void failedConnectLogsTheMappedDevice()
    {
        linkSettings().setValue("ports/COM3", "grbl:/dev/serial/by-id/usb-gone");
        ports->device("COM3")->setOpenCode(1);
        ports->device("COM9")->setOpenCode(3);
        registerController("COM9");
        registerController("COM3");
        KavrixMainWnd window;
        dialogs->expectBox();
        dialogs->expectBox();
        window.GetActions().controllerConnect->trigger();
        KavrixKernel::Instance()->SetActiveController("COM9");
        window.GetActions().controllerConnect->trigger();
        const QStringList log = stampedLines(window);
        QVERIFY(log.contains("Connection to controller on COM3 failed: Error open COM port "
                             "(/dev/serial/by-id/usb-gone)"));
        QVERIFY(log.contains("Connection to controller on COM9 failed: No controller found "
                             "(built-in simulator)"));
        QCOMPARE(dialogs->count("critical"), 2);
    }
};

QTEST_MAIN(TestPortsDlg)
#include "tst_portsdlg.moc"
