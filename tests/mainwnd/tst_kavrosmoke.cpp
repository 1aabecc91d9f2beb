// Starts the real program offscreen with two stored controllers, ends it the way a desktop
// session does, and checks that it shut down cleanly and kept its controller list.

#include "testtimeouts.h"

#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>

namespace {

// True once the process has a handler for SIGTERM (bit 15 of SigCgt in /proc/<pid>/status).
bool catchesTerm(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:")) {
            const quint64 mask = line.mid(7).trimmed().toULongLong(nullptr, 16);
            return (mask >> (SIGTERM - 1)) & 1u;
        }
    }
    return false;
}

}  // namespace

class TestKavroSmoke : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsAndEndsCleanly()
    {
        QTemporaryDir config;
        QVERIFY(config.isValid());
        const QString settingsPath = config.filePath("lumbrix/Kavro.conf");
        {
            QSettings settings(settingsPath, QSettings::IniFormat);
            settings.setValue("controllers", QStringList({"COM3:100000", "COM5:120000"}));
            settings.setValue("ActiveController", "COM5");
        }

        QProcess kavro;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QT_QPA_PLATFORMTHEME", "");
        kavro.setProcessEnvironment(env);
        kavro.setProcessChannelMode(QProcess::ForwardedChannels);
        kavro.start(QStringLiteral(KAVRO_PATH), {});
        QVERIFY2(kavro.waitForStarted(30000), qPrintable(kavro.errorString()));

        QTRY_VERIFY_WITH_TIMEOUT(catchesTerm(kavro.processId())
                                     || kavro.state() != QProcess::Running,
                                 kProcessTimeoutMs);
        QVERIFY(catchesTerm(kavro.processId()));
        QThread::msleep(300);  // let the window come up fully before it is asked to close

        ::kill(pid_t(kavro.processId()), SIGTERM);
        QVERIFY(kavro.waitForFinished(kProcessTimeoutMs));
        QCOMPARE(kavro.exitStatus(), QProcess::NormalExit);
        QCOMPARE(kavro.exitCode(), 0);

        QSettings settings(settingsPath, QSettings::IniFormat);
        QCOMPARE(settings.value("controllers").toStringList(),
                 QStringList({"COM3:100000", "COM5:120000"}));
        QCOMPARE(settings.value("ActiveController").toString(), QString("COM5"));
    }
};

QTEST_GUILESS_MAIN(TestKavroSmoke)
#include "tst_kavrosmoke.moc"
