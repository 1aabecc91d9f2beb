#pragma once
// Reading and writing RAM program files (.ncprg). Programs are plain text; files written by
// this program are UTF-8, older ones often Latin-1 ("Fräsen"). A file is read as UTF-8 when its
// bytes are valid UTF-8, otherwise as Latin-1, and written back in the encoding it was read in.

#include <QByteArray>
#include <QString>
#include <QStringConverter>

class QTextDocument;

namespace ProgramFile {

// Larger files are refused: a program that fills a few RAM slots is a few KiB, and reading
// and laying out hundreds of MiB would freeze the window for a long time.
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

// Whether every character of text has a code in encoding.
bool canEncode(const QString& text, QStringConverter::Encoding encoding);

// The text of an editor's document as it is written to a file: one "\n" between lines, and
// every other character as it is, non-breaking spaces included.
QString fileText(const QTextDocument& document);

// The name a program is saved under: a file name without any extension gets ".ncprg", so the
// open dialog's filter shows the file. Names with an extension and dots in folder names stay.
QString withProgramExtension(const QString& path);

}  // namespace ProgramFile
