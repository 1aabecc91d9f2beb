#include "jobdocument.h"

#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <string>
#include <utility>

namespace {

struct LoadResult {
    std::shared_ptr<const gcode::Program> program;
    QString error;
};

// Reads the whole file and interprets it; the system's reason when it cannot be read.
LoadResult readProgram(const QString& path)
{
    LoadResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error = file.errorString();
        return result;
    }
    result.program = std::make_shared<const gcode::Program>(
        std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
    return result;
}

}  // namespace

JobDocument::JobDocument(const QString& path, QObject* parent) : QObject(parent), path_(path) {}

JobDocument::~JobDocument() = default;

QString JobDocument::fileName() const
{
    return QFileInfo(path_).fileName();
}

void JobDocument::load()
{
    // The watcher is the document's child: when the document is closed while its file is
    // read, the worker finishes on its own and its result goes with the watcher. A reload
    // drops the result of the load before it.
    const int generation = ++loadGeneration_;
    auto* watcher = new QFutureWatcher<LoadResult>(this);
    connect(watcher, &QFutureWatcher<LoadResult>::finished, this, [this, watcher, generation] {
        const LoadResult result = watcher->result();
        watcher->deleteLater();
        if (generation == loadGeneration_)
            finishLoad(result.program, result.error);
    });
    watcher->setFuture(QtConcurrent::run(readProgram, path_));
}

bool JobDocument::loadNow()
{
    ++loadGeneration_;
    const LoadResult result = readProgram(path_);
    finishLoad(result.program, result.error);
    return result.program != nullptr;
}

void JobDocument::finishLoad(std::shared_ptr<const gcode::Program> program, const QString& error)
{
    if (!program) {
        Q_EMIT failed(error);
        return;
    }
    program_ = std::move(program);
    Q_EMIT loaded();
}

void JobDocument::setRun(const QString& comPort)
{
    if (runningOn_ == comPort)
        return;
    runningOn_ = comPort;
    if (comPort.isEmpty()) {
        executingLine_ = 0;
    } else {
        executingLine_ = 0;
        linesDone_ = 0;
    }
    Q_EMIT runChanged();
}

void JobDocument::setRunProgress(uint32_t executingLine, uint32_t linesDone)
{
    if (executingLine == executingLine_ && linesDone == linesDone_)
        return;
    executingLine_ = executingLine;
    linesDone_ = linesDone;
    Q_EMIT runProgressChanged(executingLine, linesDone);
}
