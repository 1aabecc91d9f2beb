#pragma once
// Reading the text files the operator opens (programs, parameter files) safely: only regular
// files of a bounded size, in the encoding their bytes are in. Files this program writes are
// UTF-8, older ones often Latin-1 ("Fräsen", "mm/s²"): a file is read as UTF-8 when its bytes
// are valid UTF-8, otherwise as Latin-1.

#include <QByteArray>
#include <QString>
#include <QStringConverter>

namespace TextFile {

// Larger files are refused: a program that fills a few RAM slots, or a parameter file, is a few
// KiB, and reading and laying out hundreds of MiB would freeze the window for a long time.
constexpr qint64 MaxSize = 4 * 1024 * 1024;

// The text of a file and the encoding it was read in (Utf8 or Latin1).
struct Contents {
    QString text;
    QStringConverter::Encoding encoding = QStringConverter::Utf8;
};

// UTF-8 when bytes are valid UTF-8, Latin-1 otherwise (every byte is a Latin-1 character).
Contents decode(const QByteArray& bytes);

// Reads the file at path in text mode (line ends become "\n"). Only regular files of at most
// MaxSize bytes are read; a pipe, socket or device is never opened for reading, since it could
// block the open or the read without end, or deliver without end. On failure returns false
// and sets *error to the reason.
bool read(const QString& path, Contents& contents, QString* error);

// Writes bytes to path atomically: into a temporary file that replaces the old one only when
// every byte arrived, so a full disk or a vanished folder never leaves a cut file behind (the
// old one stays). Unbuffered, so the write that fails is the one that reports it and the
// reason is the system's (a full disk, a file size limit). On failure returns false and sets
// *error to the reason.
bool write(const QString& path, const QByteArray& bytes, QString* error);

}  // namespace TextFile
