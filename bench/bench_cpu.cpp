// CPU cost of the running program: the main window with its controllers connected, either
// idle or each running a RAM program in an endless loop, for a given time. Prints the CPU
// time of the whole process as a share of one core, and per thread the CPU time and the
// number of wake-ups (voluntary context switches), so a thread that wakes up more often than
// its work needs shows at once.
//   bench_cpu [--seconds N] [--idle] [--hidden] [--paints] [--simulators N] [--pty PATH]...
// Each --pty maps one further port (COM9, COM10, ...) to a device path, e.g. a kavro-sim
// pseudo-terminal. The settings go to a temporary folder.

#include "kavrixkernel.h"
#include "kavrixmainwnd.h"
#include "quenta.h"
#include "tarvocontroller.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <dirent.h>

namespace {

struct ThreadSample {
    QString name;
    double cpuMs = 0;
    long wakeUps = 0;
};

double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Per thread (by id): its name, run time (the scheduler's nanoseconds) and wake-ups.
QMap<QString, ThreadSample> sampleThreads()
{
    QMap<QString, ThreadSample> threads;
    const QString self = QString::number(QCoreApplication::applicationPid());
    QStringList ids;
    if (DIR* const dir = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.')
                ids << QString::fromLatin1(entry->d_name);
        }
        closedir(dir);
    }
    for (const QString& id : ids) {
        const QString folder = QStringLiteral("/proc/self/task/%1/").arg(id);
        QFile comm(folder + QStringLiteral("comm"));
        QFile schedstat(folder + QStringLiteral("schedstat"));
        QFile status(folder + QStringLiteral("status"));
        if (!comm.open(QIODevice::ReadOnly) || !schedstat.open(QIODevice::ReadOnly)
            || !status.open(QIODevice::ReadOnly))
            continue;
        ThreadSample sample;
        sample.name = id == self ? QStringLiteral("main (GUI)")
                                 : QString::fromLocal8Bit(comm.readAll().trimmed());
        sample.cpuMs = schedstat.readAll().split(' ').value(0).toDouble() / 1e6;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                sample.wakeUps = line.mid(24).trimmed().toLong();
        }
        threads.insert(id, sample);
    }
    return threads;
}

const char ramProgram[] = "GO_XY_S 200 400 400;\n"
                          "GO_ZC_S 200 300 300;\n"
                          "GO_XY_S 200 -400 -400;\n"
                          "GO_ZC_S 200 -300 -300;\n";

// Counts paint events per widget (class/name/parent's name).
class PaintCounter : public QObject {
public:
    QMap<QString, int> counts;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            const QObject* const parent = object->parent();
            ++counts[QStringLiteral("%1 %2 in %3")
                         .arg(QLatin1String(object->metaObject()->className()),
                              object->objectName(),
                              parent ? parent->objectName() : QString())];
        }
        return false;
    }
};

}  // namespace

int main(int argc, char* argv[])
{
    int seconds = 20;
    int simulators = 8;
    bool idle = false;
    bool hidden = false;       // no window shown: the status path without painting
    bool countPaints = false;  // list the widgets painted more than once a second
    QStringList ptys;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc)
            seconds = QByteArray(argv[++i]).toInt();
        else if (arg == "--simulators" && i + 1 < argc)
            simulators = QByteArray(argv[++i]).toInt();
        else if (arg == "--pty" && i + 1 < argc)
            ptys << QString::fromLocal8Bit(argv[++i]);
        else if (arg == "--idle")
            idle = true;
        else if (arg == "--paints")
            countPaints = true;
        else if (arg == "--hidden")
            hidden = true;
    }
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("lumbrix"));
    QCoreApplication::setApplicationName(QStringLiteral("Kavro"));
    QSettings::setDefaultFormat(QSettings::NativeFormat);
    Q_INIT_RESOURCE(images);

    QStringList entries;
    QSettings quenta(QStringLiteral("lumbrix"), QStringLiteral("Quenta"));
    for (int i = 1; i <= simulators + ptys.size(); ++i) {
        entries << QStringLiteral("COM%1:115200").arg(i);
        if (i > simulators)
            quenta.setValue(QStringLiteral("ports/COM%1").arg(i), ptys.at(i - simulators - 1));
    }
    quenta.sync();
    QSettings().setValue(QStringLiteral("controllers"), entries);
    KavrixKernel* const kernel = KavrixKernel::Instance();
    kernel->ReadSettings();
    auto* const window = new KavrixMainWnd();
    if (!hidden)
        window->show();

    QPlainTextEdit program;
    program.setPlainText(QString::fromLatin1(ramProgram));
    for (TarvoController* const controller : kernel->GetControllers()) {
        kernel->SetActiveController(controller);
        kernel->ConnectActiveController();
        if (!controller->IsConnected()) {
            std::fprintf(stderr, "bench_cpu: %s did not connect\n",
                         qPrintable(controller->GetComPort()));
            return 1;
        }
        if (idle)
            continue;
        QStringList messages;
        kernel->WriteRAMProgramm(controller->GetPortSettings(), &program, 1, messages);
        if (!messages.isEmpty()
            || kernel->StartRAMProgrammInSlot(controller->GetPortSettings(), 1, 0) == 0) {
            std::fprintf(stderr, "bench_cpu: no RAM program runs on %s: %s\n",
                         qPrintable(controller->GetComPort()), qPrintable(messages.join(' ')));
            return 1;
        }
    }
    long reports = 0;
    QObject::connect(kernel, &KavrixKernel::SignalUpdateControllerStatus,
                     [&reports](const QString&) { ++reports; });

    // A short warm-up, then the measured stretch (sampled before quitting: the program
    // closes its connections when the event loop ends).
    QElapsedTimer wall;
    double cpuStart = 0;
    double cpu = 0;
    double elapsed = 0;
    QMap<QString, ThreadSample> before;
    QMap<QString, ThreadSample> after;
    QTimer::singleShot(2000, [&] {
        reports = 0;
        before = sampleThreads();
        cpuStart = processCpuMs();
        wall.start();
        QTimer::singleShot(seconds * 1000, [&] {
            cpu = processCpuMs() - cpuStart;
            elapsed = double(wall.elapsed());
            after = sampleThreads();
            QCoreApplication::quit();
        });
    });
    PaintCounter paints;
    if (countPaints)
        app.installEventFilter(&paints);
    QApplication::exec();

    const int controllers = int(kernel->GetControllers().size());
    std::printf("cpu %.2f %% of one core, %d controllers %s, %.0f status reports/s\n",
                100.0 * cpu / elapsed, controllers, idle ? "idle" : "running",
                double(reports) * 1000.0 / elapsed);
    // Per thread: CPU share and wake-ups per second, the busiest first. Threads the link
    // library starts carry the program's name.
    QList<ThreadSample> rows;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        const ThreadSample old = before.value(it.key(), ThreadSample{it->name, 0, 0});
        rows.append({it->name + QLatin1Char('/') + it.key(), it->cpuMs - old.cpuMs,
                     it->wakeUps - old.wakeUps});
    }
    std::sort(rows.begin(), rows.end(), [](const ThreadSample& a, const ThreadSample& b) {
        return a.wakeUps > b.wakeUps;
    });
    for (const ThreadSample& t : std::as_const(rows))
        std::printf("  thread %-24s cpu %6.2f %%  wake-ups %8.1f/s\n", qPrintable(t.name),
                    100.0 * t.cpuMs / elapsed, double(t.wakeUps) * 1000.0 / elapsed);
    for (auto it = paints.counts.cbegin(); it != paints.counts.cend(); ++it) {
        const double perSecond = it.value() * 1000.0 / (elapsed + 2000.0);
        if (perSecond > 1.0)
            std::printf("  painted %6.1f/s  %s\n", perSecond, qPrintable(it.key()));
    }
    std::fflush(stdout);

    for (TarvoController* const controller : kernel->GetControllers())
        NotStop_ohneBremsrampe(controller->GetPortSettings());
    delete window;
    delete kernel;
    return 0;
}
