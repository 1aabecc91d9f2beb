#pragma once
// One G-code job file open in the window: its path, the program read from it (interpreted for
// a GRBL controller with the factory settings, for the view, the toolpath and the problems
// list; a run interprets it again for its own controller), and, while a controller runs it,
// how far the run has come. The job tab, the toolpath view and the job panel all follow the
// same document.

#include "program.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class JobDocument : public QObject {
    Q_OBJECT
public:
    explicit JobDocument(const QString& path, QObject* parent = nullptr);
    ~JobDocument() override;

    QString path() const { return path_; }
    // The file name without its folder, for tab captions and log lines.
    QString fileName() const;

    // Reads and interprets the file off the window's thread; loaded() or failed() follows.
    // Calling it again reloads.
    void load();
    // For tests and small files: reads and interprets at once. false: failed() was emitted.
    bool loadNow();

    bool isLoaded() const { return program_ != nullptr; }
    // Null until loaded.
    std::shared_ptr<const gcode::Program> program() const { return program_; }

    // The run of this document on a controller, as its job panel reports it. A document runs
    // on at most one controller from the window.
    QString runningOn() const { return runningOn_; }   // the port, empty when not running
    bool isRunning() const { return !runningOn_.isEmpty(); }
    uint32_t executingLine() const { return executingLine_; }  // 1-based; 0 none
    uint32_t linesDone() const { return linesDone_; }            // file lines finished
    void setRun(const QString& comPort);  // empty: the run ended
    void setRunProgress(uint32_t executingLine, uint32_t linesDone);

Q_SIGNALS:
    void loaded();
    void failed(QString reason);
    void runChanged();                       // runningOn changed
    void runProgressChanged(uint32_t executingLine, uint32_t linesDone);

private:
    void finishLoad(std::shared_ptr<const gcode::Program> program, const QString& error);

    QString path_;
    std::shared_ptr<const gcode::Program> program_;
    QString runningOn_;
    uint32_t executingLine_ = 0;
    uint32_t linesDone_ = 0;
    int loadGeneration_ = 0;
};
