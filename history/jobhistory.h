#pragma once
// The record of every job run, in an SQLite database (Qt SQL, driver QSQLITE). A run's row is
// written when the job starts and completed when it ends; a row that never got its end belongs
// to a run still going in this process, or to one whose program died (shown as interrupted).
// The journal is write-ahead, so a row written before a crash is found after it.
//
// A database that cannot be opened or written is reported by lastError() and the history then
// does nothing: it never stands between the operator and a job.

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>

#include <cstdint>
#include <optional>

class JobHistory {
public:
    enum class Result {
        Running,         // no end yet, the run belongs to this process
        Interrupted,     // no end, and not one of this process's runs
        Completed,
        Stopped,         // by the operator
        Error,           // the controller refused failedLine
        Alarm,
        LostConnection,
        Failed,          // any other end (a refused start, a reset)
    };

    struct Run {
        qint64 id = 0;
        QString machine;      // the controller's name
        QString port;         // COM3
        QString filePath;
        QString sha256;       // hex
        QDateTime started;    // UTC
        QDateTime ended;      // invalid: no end
        Result result = Result::Interrupted;
        uint32_t failedLine = 0;
        QString reason;
        uint32_t linesDone = 0;
        uint32_t linesTotal = 0;
        double estimatedSeconds = 0;
        double actualSeconds = 0;
    };

    struct Filter {
        QString machine;                 // empty: every machine
        std::optional<Result> result;    // none: every result
        QDateTime from, to;              // invalid: open
    };

    // The database in the user's data folder.
    static QString defaultPath();

    JobHistory() = default;
    ~JobHistory();
    JobHistory(const JobHistory&) = delete;
    JobHistory& operator=(const JobHistory&) = delete;

    // Opens (creating when missing) the database at path. false: lastError() says why, and
    // the history stays closed.
    bool open(const QString& path);
    bool isOpen() const { return !connection.isEmpty(); }
    QString lastError() const { return error; }

    // The row of a run that starts now; 0 when the history is closed or the write failed.
    qint64 begin(const QString& machine, const QString& port, const QString& filePath,
                 const QString& sha256, uint32_t linesTotal, double estimatedSeconds);
    // Completes the row; false when it could not be written.
    bool finish(qint64 id, Result result, uint32_t failedLine, const QString& reason,
                uint32_t linesDone, double actualSeconds);

    // Newest first.
    QList<Run> runs(const Filter& filter = {}) const;
    // The machines that have runs, sorted.
    QStringList machines() const;

    // Comma-separated values with a header line, quoted where a field needs it.
    static QString toCsv(const QList<Run>& runs);
    // The result in words, as the list and the CSV show it.
    static QString resultText(Result result);

private:
    bool fail(const QString& what);
    QString setUp(const QString& path) const;  // the problem, empty when usable
    void close();

    QString connection;          // the QSqlDatabase connection name; empty when closed
    QString error;
    QSet<qint64> ownRuns;        // begun here and not finished
};
