// Start-up cost: "bench_startup empty" shows a plain QMainWindow, "bench_startup kavro" the
// program's window with eight controllers restored from the settings. Each run prints the time
// from entering main until the window has been shown and painted once, and the resident
// memory then. Run each several times in fresh processes and compare the medians, e.g.
//   for i in 1 2 3 4 5; do QT_QPA_PLATFORM=offscreen bench/bench_startup empty; done
// The settings go to a temporary folder, so the operator's own list is never touched.

#include "kavrixkernel.h"
#include "kavrixmainwnd.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

}  // namespace

int main(int argc, char* argv[])
{
    QElapsedTimer clock;
    clock.start();
    const bool kavro = argc > 1 && std::strcmp(argv[1], "kavro") == 0;
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());

    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("lumbrix"));
    QCoreApplication::setApplicationName(QStringLiteral("Kavro"));
    QSettings::setDefaultFormat(QSettings::NativeFormat);

    std::unique_ptr<QMainWindow> window;
    if (kavro) {
        Q_INIT_RESOURCE(images);
        QStringList entries;
        for (int i = 1; i <= 8; ++i)
            entries << QStringLiteral("COM%1:115200").arg(i);
        QSettings().setValue(QStringLiteral("controllers"), entries);
        KavrixKernel::Instance()->ReadSettings();
        window = std::make_unique<KavrixMainWnd>();
    } else {
        window = std::make_unique<QMainWindow>();
    }
    window->show();
    window->grab();  // one full paint
    QCoreApplication::processEvents();
    const qint64 ms = clock.elapsed();
    std::printf("%s: shown after %lld ms, resident %ld KiB\n", kavro ? "kavro (8 controllers)"
                                                                     : "empty QMainWindow",
                static_cast<long long>(ms), residentKiB());
    window.reset();
    return 0;
}
