#include "jobrun.h"

#include "device.h"
#include "estimator.h"
#include "filejob.h"
#include "jobs.h"
#include "program.h"
#include "quenta.h"
#include "restart.h"

#include <QFile>

#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

namespace kavrorun {

namespace {

using Clock = std::chrono::steady_clock;

bool parseCount(const QString& text, uint32_t& out)
{
    bool ok = false;
    const qulonglong v = text.toULongLong(&ok);
    if (!ok || v < 1 || v > 0xFFFFFFFFull)
        return false;
    out = uint32_t(v);
    return true;
}

QString formatSeconds(double s)
{
    return QString::number(s, 'f', 1);
}

QString clock(double seconds)
{
    const long s = std::lround(std::max(0.0, seconds));
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

void say(std::FILE* f, const QString& line)
{
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
    std::fputc('\n', f);
    std::fflush(f);
}

// The port of the job, opened for the run and closed on every way out.
class Connection {
public:
    Connection() { InitCommPortSettings(&record); }
    ~Connection()
    {
        if (open)
            TarvoCloseConnection(&record);
    }
    bool connect(const Options& o, QString& error)
    {
        const QByteArray port = o.port.toLatin1();
        std::memset(record.comPort, 0, sizeof record.comPort);
        std::memcpy(record.comPort, port.constData(),
                    std::min(size_t(port.size()), sizeof record.comPort - 1));
        record.baudRate = o.baud;
        open = TarvoOpenConnectionPort(&record, 0) != 0;
        if (!open) {
            const std::string why = quenta::lastOpenFailure(&record);
            error = QStringLiteral("cannot connect to %1 (result %2)%3")
                        .arg(o.port)
                        .arg(record.openResult)
                        .arg(why.empty() ? QString() : QStringLiteral(": ") + QString::fromStdString(why));
        }
        return open;
    }
    TarvoPortSettings record{};
    bool open = false;
};

void printFindings(const gcode::Program& program, std::FILE* out)
{
    for (const gcode::Finding& f : program.findings()) {
        const char* what = f.severity == gcode::Severity::Refuse    ? "refused"
                           : f.severity == gcode::Severity::Warning ? "warning"
                                                                    : "note";
        say(out, QStringLiteral("%1: line %2: %3")
                     .arg(QLatin1String(what))
                     .arg(f.line)
                     .arg(QString::fromStdString(f.message())));
    }
}

// Progress on stderr: percent, line, elapsed, time left.
class ProgressLine {
public:
    ProgressLine(const Io& io, const gcode::Estimate& e) : io(io), est(e) {}
    void show(const quenta::JobProgress& p, double elapsed)
    {
        const double share = p.linesTotal ? double(p.linesAcknowledged) / p.linesTotal : 0;
        const int percent = int(share * 100);
        const auto now = Clock::now();
        if (io.errIsTerminal) {
            if (now - last < std::chrono::milliseconds(500))
                return;
        } else if (percent / 10 <= lastTenth) {
            return;
        }
        last = now;
        lastTenth = percent / 10;
        say(io.err, QStringLiteral("%1 %  line %2  elapsed %3  left %4")
                        .arg(percent, 3)
                        .arg(p.fileLineExecuting)
                        .arg(clock(elapsed))
                        .arg(clock(timeLeft(p, elapsed))));
    }

private:
    // The estimate of what remains, scaled by how the job has kept to the estimate so far.
    double timeLeft(const quenta::JobProgress& p, double elapsed) const
    {
        const uint32_t line = p.fileLineExecuting;
        const double done = line > 0 && line <= est.lineFinish.size() ? est.lineFinish[line - 1]
                                                                      : 0.0;
        const double left = std::max(0.0, est.seconds - done);
        if (done < 0.05 * est.seconds || done <= 0)
            return left;
        return left * std::clamp(elapsed / done, 0.5, 2.0);
    }
    const Io& io;
    const gcode::Estimate& est;
    Clock::time_point last{};
    int lastTenth = -1;
};

int runJob(Connection& c, const Options& o, const std::shared_ptr<const gcode::Program>& program,
           const gcode::Estimate& est, const Io& io)
{
    auto job = std::make_shared<quenta::ProgramJob>(program);
    if (o.from > 1) {
        const gcode::RestartPlan plan = gcode::restartPlan(*program, o.from - 1);
        for (const std::string& note : plan.notes)
            say(io.err, QString::fromStdString(note));
        job->startFrom(o.from, plan.lines);
    }
    quenta::JobOptions options;
    options.pauseOnToolChange = o.pauseOnToolChange;
    if (!quenta::startJob(&c.record, job, options)) {
        const quenta::JobProgress p = quenta::jobProgress(&c.record);
        say(io.out, QStringLiteral("failed at line %1: %2")
                        .arg(o.from > 1 ? o.from : 1)
                        .arg(QString::fromStdString(p.reason)));
        return Failed;
    }
    const auto started = Clock::now();
    ProgressLine progress(io, est);
    bool stopSent = false;
    for (;;) {
        const quenta::JobProgress p = quenta::jobProgress(&c.record);
        const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
        if (p.state == quenta::JobState::Completed) {
            say(io.out, QStringLiteral("done: %1 lines in %2 s")
                            .arg(p.linesTotal)
                            .arg(formatSeconds(elapsed)));
            return Done;
        }
        if (!quenta::jobActive(p.state) && p.state != quenta::JobState::Idle) {
            const uint32_t line = p.failedFileLine ? p.failedFileLine : p.fileLineExecuting;
            say(io.out, QStringLiteral("failed at line %1: %2")
                            .arg(line)
                            .arg(QString::fromStdString(p.reason)));
            return Failed;
        }
        if (io.stop && io.stop->load() && !stopSent) {
            quenta::controlJob(&c.record, quenta::JobControl::Stop);
            stopSent = true;
        } else if (p.state == quenta::JobState::ErrorPause) {
            // Nobody is there to decide: the job stops on the line the controller refused.
            say(io.out, QStringLiteral("failed at line %1: %2")
                            .arg(p.failedFileLine)
                            .arg(QString::fromStdString(p.reason)));
            quenta::controlJob(&c.record, quenta::JobControl::Stop);
            return Failed;
        } else if (p.state == quenta::JobState::ToolChange && !stopSent) {
            say(io.err, QStringLiteral("Insert tool T%1, then press Enter").arg(p.tool));
            const bool confirmed = io.confirmToolChange && io.confirmToolChange();
            quenta::controlJob(&c.record, confirmed ? quenta::JobControl::Resume
                                                    : quenta::JobControl::Stop);
            stopSent = !confirmed;
        }
        progress.show(p, elapsed);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// GRBL checks the job once more itself ($C: every line parsed, nothing moves); our own
// controllers have no such mode, and the interpreter's check is theirs.
int firmwareCheck(Connection& c, const std::shared_ptr<const gcode::Program>& program,
                  const Io& io)
{
    const QString passed = QStringLiteral("check passed: %1 lines").arg(program->lineCount());
    if (quenta::jobTarget(&c.record) != gcode::Target::Grbl) {
        say(io.out, passed);
        return Done;
    }
    quenta::JobOptions options;
    options.checkMode = true;
    if (!quenta::startJob(&c.record, std::make_shared<quenta::ProgramJob>(program), options)) {
        say(io.out, QStringLiteral("failed at line 1: %1")
                        .arg(QString::fromStdString(quenta::jobProgress(&c.record).reason)));
        return Failed;
    }
    for (;;) {
        const quenta::JobProgress p = quenta::jobProgress(&c.record);
        if (p.state == quenta::JobState::Completed) {
            for (const quenta::JobError& e : p.errors) {
                say(io.out, QStringLiteral("refused: line %1: %2")
                                .arg(e.fileLine)
                                .arg(QString::fromStdString(e.reason)));
            }
            if (p.errors.empty()) {
                say(io.out, passed);
                return Done;
            }
            say(io.out, QStringLiteral("failed at line %1: %2")
                            .arg(p.errors.front().fileLine)
                            .arg(QString::fromStdString(p.errors.front().reason)));
            return Failed;
        }
        if (!quenta::jobActive(p.state)) {
            say(io.out, QStringLiteral("failed at line %1: %2")
                            .arg(p.failedFileLine)
                            .arg(QString::fromStdString(p.reason)));
            return Failed;
        }
        if (io.stop && io.stop->load())
            quenta::controlJob(&c.record, quenta::JobControl::Stop);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace

bool parseArguments(const QStringList& args, Options& o, QString& error)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const auto value = [&](QString& out) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("%1 needs a value").arg(a);
                return false;
            }
            out = args[++i];
            return true;
        };
        QString v;
        if (a == QLatin1String("--port")) {
            if (!value(v))
                return false;
            if (v.isEmpty() || v.toLatin1().size() > 7) {
                error = QStringLiteral("--port: a port name of 1 to 7 characters, like COM1");
                return false;
            }
            o.port = v;
            o.portGiven = true;
        } else if (a == QLatin1String("--baud")) {
            uint32_t baud = 0;
            if (!value(v))
                return false;
            if (!parseCount(v, baud) || baud > 4000000) {
                error = QStringLiteral("--baud: a baud rate like 115200");
                return false;
            }
            o.baud = int(baud);
        } else if (a == QLatin1String("--from")) {
            if (!value(v))
                return false;
            if (!parseCount(v, o.from)) {
                error = QStringLiteral("--from: a line number from 1");
                return false;
            }
        } else if (a == QLatin1String("--tool-change")) {
            if (!value(v))
                return false;
            if (v != QLatin1String("pause") && v != QLatin1String("ignore")) {
                error = QStringLiteral("--tool-change: pause or ignore");
                return false;
            }
            o.pauseOnToolChange = v == QLatin1String("pause");
        } else if (a == QLatin1String("--check")) {
            o.check = true;
        } else if (a == QLatin1String("--estimate")) {
            o.estimate = true;
        } else if (a.startsWith(QLatin1String("--")) || !o.file.isEmpty()) {
            error = a.startsWith(QLatin1String("--")) ? QStringLiteral("unknown option %1").arg(a)
                                                      : QStringLiteral("one file only");
            return false;
        } else {
            o.file = a;
        }
    }
    if (o.file.isEmpty()) {
        error = QStringLiteral("no file given");
        return false;
    }
    return true;
}

int run(const Options& o, const Io& io)
{
    QFile file(o.file);
    if (!file.open(QIODevice::ReadOnly)) {
        say(io.err, QStringLiteral("kavro-run: cannot read %1: %2").arg(o.file, file.errorString()));
        return Trouble;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        say(io.err, QStringLiteral("kavro-run: cannot read %1: %2").arg(o.file, file.errorString()));
        return Trouble;
    }

    Connection c;
    gcode::Program::Options options;
    const bool connect = !o.estimate || o.portGiven;
    if (connect) {
        QString error;
        if (!c.connect(o, error)) {
            say(io.err, QStringLiteral("kavro-run: ") + error);
            return Trouble;
        }
        if (!quenta::jobProgramOptions(&c.record, options)) {
            say(io.err, QStringLiteral("kavro-run: the controller on %1 does not tell its "
                                       "settings (busy, or an error to acknowledge)")
                            .arg(o.port));
            return Trouble;
        }
        options.machine.baudRate = o.baud;
    }
    auto program = std::make_shared<const gcode::Program>(bytes.toStdString(), options);
    bytes.clear();
    if (o.from > program->lineCount()) {
        say(io.err, QStringLiteral("kavro-run: --from %1: the file has %2 lines")
                        .arg(o.from)
                        .arg(program->lineCount()));
        return Trouble;
    }

    const gcode::Estimate est = gcode::estimateProgram(*program);
    say(io.out, QStringLiteral("estimate: %1 s").arg(formatSeconds(est.seconds)));
    const gcode::Extents& x = program->extents();
    say(io.out, QStringLiteral("extents: X %1 %2 Y %3 %4 Z %5 %6 mm")
                    .arg(x.min[0], 0, 'f', 3).arg(x.max[0], 0, 'f', 3)
                    .arg(x.min[1], 0, 'f', 3).arg(x.max[1], 0, 'f', 3)
                    .arg(x.min[2], 0, 'f', 3).arg(x.max[2], 0, 'f', 3));
    printFindings(*program, io.out);
    if (o.estimate)
        return Done;
    if (const gcode::Finding* refusal = program->firstRefusal()) {
        say(io.out, QStringLiteral("failed at line %1: %2")
                        .arg(refusal->line)
                        .arg(QString::fromStdString(refusal->message())));
        return Failed;
    }
    if (o.check)
        return firmwareCheck(c, program, io);
    return runJob(c, o, program, est, io);
}

}  // namespace kavrorun
