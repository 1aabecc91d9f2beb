#include "textfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The reasons belong to the main window's texts, where they are shown.
QString notRegularFile()
{
    return QCoreApplication::translate("KavrixMainWnd",
                                       QT_TRANSLATE_NOOP("KavrixMainWnd", "Not a regular file"));
}

QString tooLarge()
{
    return QCoreApplication::translate(
               "KavrixMainWnd", QT_TRANSLATE_NOOP("KavrixMainWnd", "The file is larger than %1 MiB"))
        .arg(TextFile::MaxSize / (1024 * 1024));
}

}  // namespace

namespace TextFile {

Contents decode(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    Contents contents;
    contents.text = utf8.decode(bytes);
    if (utf8.hasError()) {
        contents.text = QString::fromLatin1(bytes);
        contents.encoding = QStringConverter::Latin1;
    }
    return contents;
}

bool read(const QString& path, Contents& contents, QString* error)
{
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };

    // Looked at before anything is opened: opening a pipe without a writer blocks, and opening
    // a serial device may reset the controller behind it.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return fail(notRegularFile());

    // Non-blocking, so a pipe put in the file's place since the look cannot block the open
    // either; the opened file is checked again.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(qt_error_string(errno));
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return fail(notRegularFile());
    }
    if (status.st_size > MaxSize) {
        ::close(fd);
        return fail(tooLarge());
    }

    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Text, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(file.errorString());
    }
    // Bounded as well, in case the file grows while it is read.
    const QByteArray bytes = file.read(MaxSize + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    if (bytes.size() > MaxSize)
        return fail(tooLarge());
    contents = decode(bytes);
    return true;
}

bool write(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    const auto fail = [&](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Unbuffered))
        return fail(file.errorString());
    for (qint64 written = 0; written < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0) {
            const QString reason = file.errorString();  // before cancelWriting resets it
            file.cancelWriting();
            return fail(reason);
        }
        written += n;
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

}  // namespace TextFile
