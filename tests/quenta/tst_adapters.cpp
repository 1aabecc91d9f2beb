// Ports mapped to a USB adapter's identity: the identity finds the adapter's tty wherever the
// system put it, a missing adapter is named when the port opens, and the probe tells a GRBL
// controller from silence.
#include "adapters.h"
#include "device.h"
#include "grblpeer.h"
#include "quenta.h"

#include <QSettings>
#include <QTest>

#include <cstring>

class TestAdapters : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void identityFindsTheAdapterWhereverItIs();
    void missingAdapterIsNamedOnOpen();
    void probeTellsGrblFromSilence();
};

static quenta::SerialAdapter adapter(const char* path, uint16_t vid, uint16_t pid,
                                     const char* serial)
{
    quenta::SerialAdapter a;
    a.path = QString::fromLatin1(path);
    a.hasIds = true;
    a.vendorId = vid;
    a.productId = pid;
    a.serialNumber = QString::fromLatin1(serial);
    return a;
}

void TestAdapters::identityFindsTheAdapterWhereverItIs()
{
    const auto first = adapter("/dev/ttyUSB0", 0x1a86, 0x7523, "A1");
    const auto second = adapter("/dev/ttyUSB1", 0x1a86, 0x7523, "B2");
    QCOMPARE(second.identity(), QStringLiteral("usb:1a86:7523:B2"));
    QString missing;
    // Replugged: the same adapters, their ttys swapped.
    auto swapped = second;
    swapped.path = first.path;
    QCOMPARE(quenta::resolveAdapter(second.identity(), {first, second}, missing), second.path);
    QCOMPARE(quenta::resolveAdapter(second.identity(), {swapped}, missing), first.path);
    // Without a serial number the ids alone decide; a colon in a serial cannot be told apart.
    QCOMPARE(quenta::resolveAdapter(QStringLiteral("usb:1A86:7523"), {second}, missing),
             second.path);
    QCOMPARE(adapter("/dev/ttyACM0", 0x2341, 0x0043, "x:y").identity(),
             QStringLiteral("usb:2341:0043"));
    quenta::SerialAdapter builtIn;
    builtIn.path = QStringLiteral("/dev/ttyS0");
    QVERIFY(builtIn.identity().isEmpty());

    QVERIFY(quenta::resolveAdapter(QStringLiteral("usb:1a86:7523:C3"), {first, second}, missing)
                .isEmpty());
    QCOMPARE(missing, QStringLiteral("USB adapter 1a86:7523 with serial number C3 is not connected"));
}

void TestAdapters::missingAdapterIsNamedOnOpen()
{
    QSettings link(QStringLiteral("lumbrix"), QStringLiteral("Quenta"));
    link.setValue(QStringLiteral("ports/COM6"), QStringLiteral("grbl:usb:dead:beef:NOPE"));
    link.sync();
    TarvoPortSettings record;
    InitCommPortSettings(&record);
    std::strcpy(record.comPort, "COM6");
    QCOMPARE(TarvoOpenConnectionPort(&record, 0), 0);
    QCOMPARE(int(record.openResult), 1);
    QCOMPARE(quenta::lastOpenFailure(&record),
             std::string("USB adapter dead:beef with serial number NOPE is not connected"));
}

void TestAdapters::probeTellsGrblFromSilence()
{
    GrblPtyServer server;
    QVERIFY(server.start());
    std::string what;
    QVERIFY2(quenta::probeGrbl(server.path(), 115200, what), what.c_str());
    QVERIFY2(what.find("Grbl") != std::string::npos || what.find("1.1") != std::string::npos,
             what.c_str());
    server.mute = true;
    QVERIFY(!quenta::probeGrbl(server.path(), 115200, what));
    QCOMPARE(what, std::string("no answer"));
}

QTEST_GUILESS_MAIN(TestAdapters)
#include "tst_adapters.moc"
