#pragma once
// One G-code job file open in the window: its path, the program read from it (interpreted for
// a GRBL controller with the factory settings, for the view, the toolpath and the problems
// list; a run interprets it again for its own controller), and, while a controller runs it,
// how far the run has come. The job tab, the toolpath view and the job panel all follow the
// same document.
//
// Loading comes in two steps: the file's lines are there first (textLoaded(), a fraction of a
// second even for a million lines), the interpreted and checked program follows (loaded()).

#include "program.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QFutureWatcherBase;

class JobDocument : public QObject {
    Q_OBJECT
public:
    // Larger files are refused: a CAM job of a million lines is some 20 MB, and the program's
    // line offsets are 32 bits.
    static constexpr qint64 MaxFileSize = qint64(1) << 30;

    explicit JobDocument(const QString& path, QObject* parent = nullptr);
    ~JobDocument() override;

    QString path() const { return path_; }
    // The file name without its folder, for tab captions and log lines.
    QString fileName() const;

    // Reads and interprets the file off the window's thread; textLoaded(), then loaded(), or
    // failed() follows. Calling it again reloads.
    void load();
    // For tests and small files: reads and interprets at once. false: failed() was emitted.
    bool loadNow();

    bool isLoaded() const { return program_ != nullptr; }
    // Null until loaded.
    std::shared_ptr<const gcode::Program> program() const { return program_; }

    // The file's lines, available from textLoaded() on (before the program is). Lines are
    // 0-based here, split as the program splits them, without their line ends.
    bool hasText() const { return program_ != nullptr || text_ != nullptr; }
    uint32_t lineCount() const;
    std::string_view lineText(uint32_t line) const;
    // The length of the longest line in bytes, for the view's width.
    uint32_t longestLine() const { return longestLine_; }

    // Milliseconds from load() until the lines were there, and until the program was.
    qint64 textMilliseconds() const { return textMs_; }
    qint64 loadMilliseconds() const { return loadMs_; }

    // The run of this document on a controller, as its job panel reports it. A document runs
    // on at most one controller from the window.
    QString runningOn() const { return runningOn_; }   // the port, empty when not running
    bool isRunning() const { return !runningOn_.isEmpty(); }
    uint32_t executingLine() const { return executingLine_; }  // 1-based; 0 none
    uint32_t linesDone() const { return linesDone_; }            // file lines finished
    void setRun(const QString& comPort);  // empty: the run ended
    void setRunProgress(uint32_t executingLine, uint32_t linesDone);

    // A file's lines, split as gcode::Program splits them.
    struct Text {
        std::string bytes;
        std::vector<uint32_t> lineStart{0};  // one more than lines
        uint32_t longestLine = 0;
        uint32_t lineCount() const { return static_cast<uint32_t>(lineStart.size()) - 1; }
        std::string_view lineText(uint32_t line) const;
    };

Q_SIGNALS:
    void textLoaded();
    void loaded();
    void failed(QString reason);
    void runChanged();                       // runningOn changed
    void runProgressChanged(uint32_t executingLine, uint32_t linesDone);

private:
    void finishText(std::shared_ptr<const Text> text);
    void finishLoad(std::shared_ptr<const gcode::Program> program, const QString& error);

    QString path_;
    std::shared_ptr<const gcode::Program> program_;
    std::shared_ptr<const Text> text_;  // until the program is there
    uint32_t longestLine_ = 0;
    QString runningOn_;
    uint32_t executingLine_ = 0;
    uint32_t linesDone_ = 0;
    int loadGeneration_ = 0;
    // The load under way; a reload tells it to skip what it has not begun.
    QPointer<QFutureWatcherBase> loading_;
    qint64 textMs_ = 0;
    qint64 loadMs_ = 0;
    qint64 loadStartedMs_ = 0;
};
