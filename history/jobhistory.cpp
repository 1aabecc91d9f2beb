#include "jobhistory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUuid>
#include <QVariant>

namespace {

// Stored text of each ending; a row without one has no end.
const char* storedResult(JobHistory::Result result)
{
    switch (result) {
    case JobHistory::Result::Completed: return "completed";
    case JobHistory::Result::Stopped: return "stopped";
    case JobHistory::Result::Error: return "error";
    case JobHistory::Result::Alarm: return "alarm";
    case JobHistory::Result::LostConnection: return "lost connection";
    case JobHistory::Result::Failed: return "failed";
    case JobHistory::Result::Running:
    case JobHistory::Result::Interrupted: break;
    }
    return nullptr;
}

std::optional<JobHistory::Result> resultFromStored(const QString& text)
{
    for (auto r : {JobHistory::Result::Completed, JobHistory::Result::Stopped,
                   JobHistory::Result::Error, JobHistory::Result::Alarm,
                   JobHistory::Result::LostConnection, JobHistory::Result::Failed}) {
        if (text == QLatin1String(storedResult(r)))
            return r;
    }
    return std::nullopt;
}

QString csvField(const QString& field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"'))
        && !field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r')))
        return field;
    QString quoted = field;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace

QString JobHistory::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
           + QLatin1String("/jobs.sqlite");
}

JobHistory::~JobHistory()
{
    close();
}

void JobHistory::close()
{
    if (connection.isEmpty())
        return;
    QSqlDatabase::database(connection, false).close();
    const QString name = connection;
    connection.clear();
    QSqlDatabase::removeDatabase(name);
}

bool JobHistory::fail(const QString& what)
{
    error = what;
    close();
    return false;
}

bool JobHistory::open(const QString& path)
{
    close();
    error.clear();
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return fail(QCoreApplication::translate("JobHistory",
                                                "The SQLite driver of Qt SQL is not installed."));
    QDir().mkpath(QFileInfo(path).absolutePath());
    connection = QStringLiteral("jobhistory-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    // The connection's handles live only in setUp, so a failure can remove it at once.
    const QString problem = setUp(path);
    return problem.isEmpty() || fail(problem);
}

QString JobHistory::setUp(const QString& path) const
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(path);
    // Another program holding a write lock is waited for briefly, never for long.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    if (!db.open())
        return db.lastError().text();
    QSqlQuery q(db);
    // Reading the schema refuses a file that is no database here rather than at the first
    // job, at a cost that does not grow with the history (a full check would, at every start).
    if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !q.next())
        return q.lastError().isValid()
                   ? q.lastError().text()
                   : QCoreApplication::translate("JobHistory", "The database file is damaged.");
    const char* setup[] = {
        "PRAGMA journal_mode=WAL",
        "PRAGMA synchronous=NORMAL",
        "CREATE TABLE IF NOT EXISTS runs ("
        " id INTEGER PRIMARY KEY AUTOINCREMENT,"
        " machine TEXT NOT NULL, port TEXT NOT NULL,"
        " file_path TEXT NOT NULL, sha256 TEXT NOT NULL,"
        " started TEXT NOT NULL, ended TEXT,"
        " result TEXT, failed_line INTEGER NOT NULL DEFAULT 0, reason TEXT NOT NULL DEFAULT '',"
        " lines_done INTEGER NOT NULL DEFAULT 0, lines_total INTEGER NOT NULL,"
        " estimated_s REAL NOT NULL, actual_s REAL NOT NULL DEFAULT 0)",
        "CREATE INDEX IF NOT EXISTS runs_started ON runs(started)",
    };
    for (const char* statement : setup) {
        if (!q.exec(QString::fromLatin1(statement)))
            return q.lastError().text();
    }
    return {};
}

qint64 JobHistory::begin(const QString& machine, const QString& port, const QString& filePath,
                         const QString& sha256, uint32_t linesTotal, double estimatedSeconds)
{
    if (!isOpen())
        return 0;
    QSqlQuery q(QSqlDatabase::database(connection, false));
    q.prepare(QStringLiteral(
        "INSERT INTO runs (machine, port, file_path, sha256, started, lines_total, estimated_s)"
        " VALUES (?, ?, ?, ?, ?, ?, ?)"));
    q.addBindValue(machine);
    q.addBindValue(port);
    q.addBindValue(filePath);
    q.addBindValue(sha256);
    q.addBindValue(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    q.addBindValue(static_cast<qint64>(linesTotal));
    q.addBindValue(estimatedSeconds);
    if (!q.exec()) {
        error = q.lastError().text();
        return 0;
    }
    const qint64 id = q.lastInsertId().toLongLong();
    ownRuns.insert(id);
    return id;
}

bool JobHistory::finish(qint64 id, Result result, uint32_t failedLine, const QString& reason,
                        uint32_t linesDone, double actualSeconds)
{
    const char* stored = storedResult(result);
    if (!isOpen() || id <= 0 || !stored)
        return false;
    QSqlQuery q(QSqlDatabase::database(connection, false));
    q.prepare(QStringLiteral("UPDATE runs SET ended = ?, result = ?, failed_line = ?, reason = ?,"
                             " lines_done = ?, actual_s = ? WHERE id = ?"));
    q.addBindValue(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    q.addBindValue(QString::fromLatin1(stored));
    q.addBindValue(static_cast<qint64>(failedLine));
    q.addBindValue(reason);
    q.addBindValue(static_cast<qint64>(linesDone));
    q.addBindValue(actualSeconds);
    q.addBindValue(id);
    if (!q.exec() || q.numRowsAffected() != 1) {
        error = q.lastError().isValid() ? q.lastError().text()
                                        : QStringLiteral("no run %1").arg(id);
        return false;
    }
    ownRuns.remove(id);
    return true;
}

QList<JobHistory::Run> JobHistory::runs(const Filter& filter) const
{
    QList<Run> out;
    if (!isOpen())
        return out;
    QString sql = QStringLiteral(
        "SELECT id, machine, port, file_path, sha256, started, ended, result, failed_line,"
        " reason, lines_done, lines_total, estimated_s, actual_s FROM runs WHERE 1=1");
    QVariantList binds;
    if (!filter.machine.isEmpty()) {
        sql += QStringLiteral(" AND machine = ?");
        binds << filter.machine;
    }
    if (filter.from.isValid()) {
        sql += QStringLiteral(" AND started >= ?");
        binds << filter.from.toUTC().toString(Qt::ISODateWithMs);
    }
    if (filter.to.isValid()) {
        sql += QStringLiteral(" AND started <= ?");
        binds << filter.to.toUTC().toString(Qt::ISODateWithMs);
    }
    sql += QStringLiteral(" ORDER BY id DESC");
    QSqlQuery q(QSqlDatabase::database(connection, false));
    q.prepare(sql);
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec())
        return out;
    while (q.next()) {
        Run r;
        r.id = q.value(0).toLongLong();
        r.machine = q.value(1).toString();
        r.port = q.value(2).toString();
        r.filePath = q.value(3).toString();
        r.sha256 = q.value(4).toString();
        r.started = QDateTime::fromString(q.value(5).toString(), Qt::ISODateWithMs);
        if (!q.value(6).isNull())
            r.ended = QDateTime::fromString(q.value(6).toString(), Qt::ISODateWithMs);
        const auto stored = q.value(7).isNull() ? std::nullopt
                                                : resultFromStored(q.value(7).toString());
        r.result = stored ? *stored
                          : (ownRuns.contains(r.id) ? Result::Running : Result::Interrupted);
        r.failedLine = static_cast<uint32_t>(q.value(8).toLongLong());
        r.reason = q.value(9).toString();
        r.linesDone = static_cast<uint32_t>(q.value(10).toLongLong());
        r.linesTotal = static_cast<uint32_t>(q.value(11).toLongLong());
        r.estimatedSeconds = q.value(12).toDouble();
        r.actualSeconds = q.value(13).toDouble();
        if (filter.result && r.result != *filter.result)
            continue;
        out.append(r);
    }
    return out;
}

QStringList JobHistory::machines() const
{
    QStringList out;
    if (!isOpen())
        return out;
    QSqlQuery q(QSqlDatabase::database(connection, false));
    if (q.exec(QStringLiteral("SELECT DISTINCT machine FROM runs ORDER BY machine"))) {
        while (q.next())
            out << q.value(0).toString();
    }
    return out;
}

QString JobHistory::resultText(Result result)
{
    switch (result) {
    case Result::Running: return QCoreApplication::translate("JobHistory", "running");
    case Result::Interrupted: return QCoreApplication::translate("JobHistory", "interrupted");
    case Result::Completed: return QCoreApplication::translate("JobHistory", "completed");
    case Result::Stopped:
        return QCoreApplication::translate("JobHistory", "stopped by the operator");
    case Result::Error: return QCoreApplication::translate("JobHistory", "error");
    case Result::Alarm: return QCoreApplication::translate("JobHistory", "alarm");
    case Result::LostConnection:
        return QCoreApplication::translate("JobHistory", "lost connection");
    case Result::Failed: return QCoreApplication::translate("JobHistory", "failed");
    }
    return {};
}

QString JobHistory::toCsv(const QList<Run>& runs)
{
    QString out = QStringLiteral("machine,port,file,sha256,start,end,result,line,reason,"
                                 "lines done,lines total,estimated s,actual s\n");
    for (const Run& r : runs) {
        const QStringList fields = {
            r.machine, r.port, r.filePath, r.sha256,
            r.started.toString(Qt::ISODate),
            r.ended.isValid() ? r.ended.toString(Qt::ISODate) : QString(),
            resultText(r.result),
            r.failedLine ? QString::number(r.failedLine) : QString(),
            r.reason,
            QString::number(r.linesDone), QString::number(r.linesTotal),
            QString::number(r.estimatedSeconds, 'f', 1), QString::number(r.actualSeconds, 'f', 1),
        };
        QStringList quoted;
        for (const QString& f : fields)
            quoted << csvField(f);
        out += quoted.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return out;
}
