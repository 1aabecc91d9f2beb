#include "ramsyntax.h"

namespace {

QRegularExpression compiled(const QString& pattern)
{
    QRegularExpression expression(pattern);
    expression.optimize();  // compile now, not at the first match
    return expression;
}

}  // namespace

const QRegularExpression& RamWordSeparator()
{
    static const QRegularExpression separator = compiled(QStringLiteral("\\s+"));
    return separator;
}

const QRegularExpression& RamCommentPattern()
{
    static const QRegularExpression comment = compiled(QStringLiteral("#|//"));
    return comment;
}
