#pragma once
// The two regular expressions of the RAM program language, compiled once on first use and
// shared by the check pass and every highlighter.

#include <QRegularExpression>

// A run of white space between the fields of a command line: \s+ (case sensitive).
const QRegularExpression& RamWordSeparator();
// The start of a comment: "#" or "//".
const QRegularExpression& RamCommentPattern();
