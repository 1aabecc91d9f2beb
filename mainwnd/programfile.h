#pragma once
// Writing RAM program files (.ncprg): back in the encoding they were read in (TextFile), with
// the editor's text as the operator typed it, under a name with the program extension.

#include <QString>
#include <QStringConverter>

class QTextDocument;

namespace ProgramFile {

// Whether every character of text has a code in encoding.
bool canEncode(const QString& text, QStringConverter::Encoding encoding);

// The text of an editor's document as it is written to a file: one "\n" between lines, and
// every other character as it is, non-breaking spaces included.
QString fileText(const QTextDocument& document);

// The name a program is saved under: a file name without any extension gets ".ncprg", so the
// open dialog's filter shows the file. Names with an extension and dots in folder names stay.
QString withProgramExtension(const QString& path);

}  // namespace ProgramFile
