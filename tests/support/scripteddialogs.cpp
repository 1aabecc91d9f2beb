#include "scripteddialogs.h"

#include <QTest>

ScriptedDialogs::ScriptedDialogs()
{
    Dialogs::install(this);
}

ScriptedDialogs::~ScriptedDialogs()
{
    Dialogs::install(nullptr);
    // A test that failed already says why; the surprises that follow from it are noise.
    if (!strict || QTest::currentTestFailed())
        return;
    const QStringList lines = surprises();
    if (!lines.isEmpty()) {
        const QByteArray message =
            ("dialogs not as the test scripted them:\n  " + lines.join(QStringLiteral("\n  ")))
                .toUtf8();
        QTest::qFail(message.constData(), __FILE__, __LINE__);
    }
}

int ScriptedDialogs::count(const QString& kind) const
{
    int n = 0;
    for (const Shown& s : shown)
        n += s.kind == kind ? 1 : 0;
    return n;
}

void ScriptedDialogs::record(Shown box, bool scripted)
{
    box.scripted = scripted;
    if (!scripted) {
        unscripted << QStringLiteral("unscripted %1 \"%2\": %3").arg(box.kind, box.title,
                                                                      box.text.left(300));
        if (strict)
            qWarning("%s", qPrintable(unscripted.last()));
    }
    shown.append(box);
}

QStringList ScriptedDialogs::surprises() const
{
    QStringList lines = unscripted;
    const auto unused = [&lines](qsizetype n, const char* what) {
        if (n > 0)
            lines << QStringLiteral("%1 unused %2").arg(n).arg(QLatin1String(what));
    };
    unused(buttonAnswers.size(), "message box answer(s)");
    unused(fileAnswers.size(), "file dialog answer(s)");
    unused(itemAnswers.size(), "item answer(s)");
    unused(execAnswers.size(), "dialog answer(s)");
    return lines;
}

namespace {

QString messageKind(QMessageBox::Icon icon)
{
    switch (icon) {
    case QMessageBox::Warning: return QStringLiteral("warning");
    case QMessageBox::Critical: return QStringLiteral("critical");
    case QMessageBox::Question: return QStringLiteral("question");
    case QMessageBox::Information: return QStringLiteral("information");
    default: return QStringLiteral("message");
    }
}

// The button a box without a chosen answer returns: its default, else its first.
QMessageBox::StandardButton defaultAnswer(QMessageBox::StandardButtons buttons,
                                          QMessageBox::StandardButton defaultButton)
{
    if (defaultButton != QMessageBox::NoButton)
        return defaultButton;
    for (int bit = 0; bit < 32; ++bit) {
        const auto b = static_cast<QMessageBox::StandardButton>(1u << bit);
        if (buttons.testFlag(b))
            return b;
    }
    return QMessageBox::Ok;
}

}  // namespace

QMessageBox::StandardButton ScriptedDialogs::message(QWidget*, QMessageBox::Icon icon,
                                                     const QString& title, const QString& text,
                                                     QMessageBox::StandardButtons buttons,
                                                     QMessageBox::StandardButton defaultButton)
{
    const bool scripted = !buttonAnswers.isEmpty();
    record({messageKind(icon), title, text, buttons, defaultButton, {}}, scripted);
    const QMessageBox::StandardButton answer =
        scripted ? buttonAnswers.dequeue() : QMessageBox::NoButton;
    return answer != QMessageBox::NoButton ? answer : defaultAnswer(buttons, defaultButton);
}

void ScriptedDialogs::about(QWidget*, const QString& title, const QString& text)
{
    const bool scripted = !buttonAnswers.isEmpty();
    record({QStringLiteral("about"), title, text, QMessageBox::Ok, QMessageBox::NoButton, {}},
           scripted);
    if (scripted)
        buttonAnswers.dequeue();
}

QString ScriptedDialogs::openFileName(QWidget*, const QString& caption, const QString& dir,
                                      const QString& filter)
{
    const bool scripted = !fileAnswers.isEmpty();
    record({QStringLiteral("open"), caption, dir + QLatin1Char('|') + filter, {},
            QMessageBox::NoButton, {}},
           scripted);
    return scripted ? fileAnswers.dequeue() : QString();
}

QString ScriptedDialogs::saveFileName(QWidget*, const QString& caption, const QString& dir,
                                      const QString& filter)
{
    const bool scripted = !fileAnswers.isEmpty();
    record({QStringLiteral("save"), caption, dir + QLatin1Char('|') + filter, {},
            QMessageBox::NoButton, {}},
           scripted);
    return scripted ? fileAnswers.dequeue() : QString();
}

QString ScriptedDialogs::getItem(QWidget*, const QString& title, const QString& label,
                                 const QStringList& items, int, bool, bool* ok)
{
    const bool scripted = !itemAnswers.isEmpty();
    record({QStringLiteral("item"), title, label, {}, QMessageBox::NoButton, items}, scripted);
    const QString answer = scripted ? itemAnswers.dequeue() : QString();
    if (ok)
        *ok = !answer.isNull();
    return answer;
}

int ScriptedDialogs::exec(QDialog* dialog)
{
    const bool scripted = !execAnswers.isEmpty();
    record({QStringLiteral("exec"), dialog ? dialog->windowTitle() : QString(), {}, {},
            QMessageBox::NoButton, {}},
           scripted);
    return scripted ? execAnswers.dequeue()(dialog) : int(QDialog::Rejected);
}
