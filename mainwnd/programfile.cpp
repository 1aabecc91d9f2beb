#include "programfile.h"

#include "filenames.h"

#include <QStringEncoder>
#include <QTextDocument>

namespace ProgramFile {

bool canEncode(const QString& text, QStringConverter::Encoding encoding)
{
    // Not stateless: only a stateful encoder counts the characters it had to replace. The
    // encoding runs when its result is taken.
    QStringEncoder encoder(encoding);
    const QByteArray encoded = encoder.encode(text);
    return !encoder.hasError();
}

QString fileText(const QTextDocument& document)
{
    // The raw text keeps non-breaking spaces, which the plain text turns into blanks. Blocks
    // are separated by paragraph separators; line separators (Shift+Return) end lines too.
    QString text = document.toRawText();
    for (QChar& c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = QLatin1Char('\n');
    }
    return text;
}

QString withProgramExtension(const QString& path)
{
    return FileNames::WithDefaultSuffix(path, QStringLiteral("ncprg"));
}

}  // namespace ProgramFile
