#include "jobdocument.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// What a load delivers: first the text, then the program; or the reason it failed.
struct LoadStage {
    std::shared_ptr<const JobDocument::Text> text;
    std::shared_ptr<const gcode::Program> program;
    QString error;
};

// Reads the whole file. Only regular files are read: a pipe or a device could block the
// read without end, or deliver without end, and the thread pool would wait for it on quit.
bool readFile(const QString& path, std::string& bytes, QString& error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = qt_error_string(errno);
        return false;
    }
    struct stat status {};
    bool ok = false;
    if (::fstat(fd, &status) != 0) {
        error = qt_error_string(errno);
    } else if (!S_ISREG(status.st_mode)) {
        error = JobDocument::tr("Not a regular file");
    } else if (status.st_size > JobDocument::MaxFileSize) {
        error = JobDocument::tr("The file is larger than %1 MiB")
                    .arg(JobDocument::MaxFileSize >> 20);
    } else {
        bytes.resize(static_cast<size_t>(status.st_size));
        size_t got = 0;
        ok = true;
        // The file may shrink or grow while it is read: what is there up to its old size.
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = qt_error_string(errno);
                ok = false;
                break;
            }
            if (n == 0)
                break;
            got += static_cast<size_t>(n);
        }
        bytes.resize(got);
    }
    ::close(fd);
    return ok;
}

std::shared_ptr<JobDocument::Text> splitText(std::string bytes)
{
    auto text = std::make_shared<JobDocument::Text>();
    text->bytes = std::move(bytes);
    const char* data = text->bytes.data();
    const size_t size = text->bytes.size();
    std::vector<uint32_t>& starts = text->lineStart;
    starts.reserve(size / 24 + 2);
    uint32_t longest = 0;
    uint32_t begin = 0;
    for (size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c != '\n' && c != '\r')
            continue;
        longest = std::max(longest, static_cast<uint32_t>(i) - begin);
        if (c == '\r' && i + 1 < size && data[i + 1] == '\n')
            ++i;
        begin = static_cast<uint32_t>(i + 1);
        starts.push_back(begin);
    }
    if (starts.back() != size) {
        longest = std::max(longest, static_cast<uint32_t>(size) - begin);
        starts.push_back(static_cast<uint32_t>(size));
    }
    text->longestLine = longest;
    return text;
}

// Runs on a pool thread: the text first, then the program interpreted from a copy of it.
void loadStages(QPromise<LoadStage>& promise, const QString& path)
{
    LoadStage failed;
    std::string bytes;
    if (!readFile(path, bytes, failed.error)) {
        promise.addResult(std::move(failed));
        return;
    }
    LoadStage text;
    text.text = splitText(std::move(bytes));
    const std::shared_ptr<const JobDocument::Text> lines = text.text;
    promise.addResult(std::move(text));
    if (promise.isCanceled())
        return;
    LoadStage program;
    program.program = std::make_shared<const gcode::Program>(lines->bytes);
    promise.addResult(std::move(program));
}

qint64 nowMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

}  // namespace

std::string_view JobDocument::Text::lineText(uint32_t line) const
{
    uint32_t end = lineStart[line + 1];
    const uint32_t begin = lineStart[line];
    while (end > begin && (bytes[end - 1] == '\n' || bytes[end - 1] == '\r'))
        --end;
    return std::string_view(bytes.data() + begin, end - begin);
}

JobDocument::JobDocument(const QString& path, QObject* parent) : QObject(parent), path_(path) {}

JobDocument::~JobDocument() = default;

QString JobDocument::fileName() const
{
    return QFileInfo(path_).fileName();
}

// While a reload reads the file, the text is newer than the program, which stays until its
// successor is ready.
uint32_t JobDocument::lineCount() const
{
    if (text_)
        return text_->lineCount();
    return program_ ? program_->lineCount() : 0;
}

std::string_view JobDocument::lineText(uint32_t line) const
{
    if (line >= lineCount())
        return {};
    return text_ ? text_->lineText(line) : program_->lineText(line);
}

void JobDocument::load()
{
    // The watcher is the document's child: when the document is closed while its file is
    // read, the worker finishes on its own (told to skip the interpretation when it has not
    // begun) and its results go with the watcher. A reload drops the load before it.
    const int generation = ++loadGeneration_;
    loadStartedMs_ = nowMs();
    if (loading_)
        loading_->cancel();
    auto* watcher = new QFutureWatcher<LoadStage>(this);
    loading_ = watcher;
    connect(watcher, &QFutureWatcher<LoadStage>::resultReadyAt, this,
            [this, watcher, generation](int index) {
                if (generation != loadGeneration_)
                    return;
                const LoadStage stage = watcher->resultAt(index);
                if (stage.text)
                    finishText(stage.text);
                else
                    finishLoad(stage.program, stage.error);
            });
    connect(watcher, &QFutureWatcher<LoadStage>::finished, watcher, &QObject::deleteLater);
    connect(this, &QObject::destroyed, watcher, [watcher] { watcher->cancel(); });
    watcher->setFuture(QtConcurrent::run(loadStages, path_));
}

bool JobDocument::loadNow()
{
    ++loadGeneration_;
    if (loading_)
        loading_->cancel();
    loadStartedMs_ = nowMs();
    std::string bytes;
    QString error;
    if (!readFile(path_, bytes, error)) {
        finishLoad(nullptr, error);
        return false;
    }
    const std::shared_ptr<const Text> text = splitText(std::move(bytes));
    finishText(text);
    finishLoad(std::make_shared<const gcode::Program>(text->bytes), QString());
    return true;
}

void JobDocument::finishText(std::shared_ptr<const Text> text)
{
    text_ = std::move(text);
    longestLine_ = text_->longestLine;
    textMs_ = nowMs() - loadStartedMs_;
    Q_EMIT textLoaded();
}

void JobDocument::finishLoad(std::shared_ptr<const gcode::Program> program, const QString& error)
{
    if (!program) {
        Q_EMIT failed(error);
        return;
    }
    program_ = std::move(program);
    // The program holds the same lines; the copy read for the first view is no longer needed.
    text_.reset();
    loadMs_ = nowMs() - loadStartedMs_;
    Q_EMIT loaded();
}

void JobDocument::setRun(const QString& comPort)
{
    if (runningOn_ == comPort)
        return;
    runningOn_ = comPort;
    // A run that ended leaves its lines done shown; a new run starts from none.
    const uint32_t done = comPort.isEmpty() ? linesDone_ : 0;
    const bool progressChanged = executingLine_ != 0 || done != linesDone_;
    executingLine_ = 0;
    linesDone_ = done;
    Q_EMIT runChanged();
    if (progressChanged)
        Q_EMIT runProgressChanged(executingLine_, linesDone_);
}

void JobDocument::setRunProgress(uint32_t executingLine, uint32_t linesDone)
{
    if (executingLine == executingLine_ && linesDone == linesDone_)
        return;
    executingLine_ = executingLine;
    linesDone_ = linesDone;
    Q_EMIT runProgressChanged(executingLine, linesDone);
}
