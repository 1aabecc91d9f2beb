// kavro-run: runs a G-code job without a window (see jobrun.h for its interface).

#include "jobrun.h"

#include <QCoreApplication>

#include <atomic>
#include <csignal>
#include <poll.h>
#include <unistd.h>

namespace {

std::atomic<bool> stopWanted{false};

void onSignal(int)
{
    stopWanted.store(true);
}

// Waits for Enter on a terminal, giving up when a stop comes; false without a terminal.
bool waitForEnter()
{
    if (!isatty(STDIN_FILENO))
        return false;
    while (!stopWanted.load()) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0)
            continue;
        char c = 0;
        while (read(STDIN_FILENO, &c, 1) == 1 && c != '\n') {
        }
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("lumbrix"));
    QCoreApplication::setApplicationName(QStringLiteral("Kavro"));

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    kavrorun::Options options;
    QString error;
    if (!kavrorun::parseArguments(QCoreApplication::arguments().mid(1), options, error)) {
        const QByteArray line = QStringLiteral("kavro-run: %1 (usage: kavro-run [--port PORT] "
                                               "[--baud N] [--check] [--estimate] [--from LINE] "
                                               "[--tool-change pause|ignore] FILE)\n")
                                    .arg(error)
                                    .toLocal8Bit();
        fputs(line.constData(), stderr);
        return kavrorun::Trouble;
    }
    kavrorun::Io io;
    io.errIsTerminal = isatty(STDERR_FILENO);
    io.confirmToolChange = waitForEnter;
    io.stop = &stopWanted;
    return kavrorun::run(options, io);
}
