#pragma once
// The job panel: runs the G-code job of the current job tab on the active controller and shows
// how far it has come. One panel serves every controller: it follows the active one, while the
// jobs it started on the others keep being watched, logged and reported to their documents.
//
// A start interprets the program for the controller off the window's thread; a program the
// check refuses never starts. Error pauses and tool changes show as a bar inside the panel
// with Continue and Stop, so no modal box stands in the way while machines run.

#include "estimator.h"
#include "job.h"
#include "jobdocument.h"
#include "program.h"

#include <QMap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>
#include <map>
#include <memory>

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class TarvoController;
struct TarvoPortSettings;

class JobPanel : public QWidget {
    Q_OBJECT
public:
    // What the banner shows.
    enum class Banner { Idle, Running, Paused, ToolChange, Error, Alarm, Completed, Stopped };

    // A job this panel started that has not ended, for the question before quitting.
    struct ActiveJob {
        QString port;
        QString fileName;
        int percent = 0;
    };

    static constexpr int PollMs = 200;

    explicit JobPanel(QWidget* parent = nullptr);
    ~JobPanel() override;

    // The controller the panel shows and starts jobs on (the kernel's active one); empty: none.
    void setController(const QString& comPort);
    QString controller() const { return port; }
    // The job of the current job tab, or none.
    void setDocument(JobDocument* document);
    JobDocument* document() const { return currentDocument; }

    Banner banner() const { return shownBanner; }
    // Interpreting a program for a start or a check.
    bool isBusy() const { return busy; }
    // Whether a job this panel started runs on comPort (also paused or waiting).
    bool hasActiveJob(const QString& comPort) const;
    QList<ActiveJob> activeJobs() const;
    // Whether the controller moved lately or holds commands, by its status reports.
    bool isMoving(const QString& comPort) const;
    // Stops every job this panel started; true when all of them ended within timeoutMs.
    bool stopAll(int timeoutMs);

    // The last job this panel started on comPort: its file's name and the time left
    // (negative when unknown or ended); empty when none.
    struct RunInfo {
        QString fileName;
        double secondsLeft = -1;
    };
    RunInfo runInfo(const QString& comPort) const;

    // "1:05", "1:02:03".
    static QString formatDuration(double seconds);

Q_SIGNALS:
    // One line for the output log.
    void logLine(QString text);
    // A job started or ended on comPort.
    void runStateChanged(QString comPort);
    // A job (not a check) started: the file's path and SHA-256, its lines and estimate; and
    // how it ended: the last progress, the file lines done and the time it took.
    void jobStarted(QString comPort, QString path, QString sha256, uint32_t linesTotal,
                    double estimatedSeconds);
    void jobEnded(QString comPort, quenta::JobProgress progress, uint32_t linesDone,
                  double seconds);

public Q_SLOTS:
    // Starts the current job on each of ports, each interpreted and checked for its own
    // machine; the machines that cannot take it are named once, and left out.
    void startOn(const QStringList& ports);
    void start();
    void startFromLine();
    void check();
    void pauseOrResume();
    void stop();
    // After an error pause or a tool change.
    void continueJob();
    // GRBL's realtime override bytes (0x90 ... 0x9D); ours scale the feed.
    void sendOverride(int command);

private:
    enum class Mode { Start, FromLine, Check };

    struct Run {
        QPointer<JobDocument> document;
        QString fileName;
        std::shared_ptr<const gcode::Program> program;  // as interpreted for the controller
        std::shared_ptr<const gcode::Estimate> estimate;
        uint32_t fromLine = 1;  // 1-based
        bool checkMode = false;
        qint64 startedMs = 0;   // clock time at the start
        qint64 activeMs = 0;    // time spent running, pauses left out
        qint64 lastPollMs = 0;
        quenta::JobProgress progress;
        bool ended = false;
    };

    struct Prepared;

    // The last position a controller reported and when it last changed.
    struct Motion {
        int32_t pos[4] = {0, 0, 0, 0};
        uint8_t bufferFill = 0;
        qint64 changedMs = -1;
        bool moved = false;  // the last report's position differed from the one before
    };
    void statusReported(const QString& comPort);

    TarvoController* findController(const QString& comPort) const;
    // Refuses with a message what cannot start on the controller now.
    // needDocument: the current tab must hold a loaded job.
    bool mayStart(TarvoController& controller, const QString& title, bool needDocument);
    void prepare(Mode mode);
    // false: the start was refused at once (told through warn).
    bool prepareOn(Mode mode, const QString& onPort);
    // A refusal: a message box, or during a start on several machines a line of the summary.
    void warn(const QString& comPort, const QString& title, const QString& text);
    void finishBatch();
    void prepared(const Prepared& result);
    bool confirmUnreferenced(TarvoController& controller, const gcode::Program& program,
                             const QString& title);
    void runCheckHere(const Prepared& result);
    void poll();
    void pollRun(const QString& comPort, Run& run, qint64 now);
    void logTransition(const QString& comPort, const Run& run,
                       const quenta::JobProgress& before);
    void endRun(const QString& comPort, Run& run);
    void updateTimer();
    void refresh();
    // The controller's own override values, where it tells them.
    void refreshOverrides();
    void setBusy(bool on);
    uint32_t linesDone(const Run& run) const;
    Banner bannerOf(const quenta::JobProgress& p) const;
    QString remainingText(const Run& run) const;
    double secondsLeft(const Run& run) const;  // negative when unknown
    // The feed, rapid and spindle overrides (%) last set on a machine, kept in the settings
    // ("Machines/<port>/overrides"), and given again to each job it starts.
    static std::array<int, 3> keptOverrides(const QString& comPort);
    void restoreOverrides(TarvoPortSettings* record, const QString& comPort);
    QString errorPauseText(const Run& run) const;

    void buildForm();

    QString port;
    QPointer<JobDocument> currentDocument;
    std::map<QString, Run> runs;
    Banner shownBanner = Banner::Idle;
    bool busy = false;
    int preparing = 0;      // programs being interpreted off the window's thread
    bool batching = false;  // startOn is asking its machines
    int batchWaiting = 0;   // machines of a startOn not yet prepared
    QMap<QString, QString> batchProblems;  // port: why it was left out
    std::map<QString, Motion> motion;
    bool shownConnected = false;
    QTimer* timer = nullptr;

    QLabel* nameLabel = nullptr;
    QLabel* bannerLabel = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* pauseButton = nullptr;
    QPushButton* stopButton = nullptr;
    QPushButton* checkButton = nullptr;
    QPushButton* fromLineButton = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* timeLabel = nullptr;
    QLabel* lineLabel = nullptr;
    QLabel* overrideLabel = nullptr;
    QList<QPushButton*> overrideButtons;
    QFrame* attentionBar = nullptr;
    QLabel* attentionLabel = nullptr;
    QPushButton* continueButton = nullptr;
    QPushButton* attentionStopButton = nullptr;
};
