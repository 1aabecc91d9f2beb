#include "scripteddialogs.h"

ScriptedDialogs::ScriptedDialogs()
{
    Dialogs::install(this);
}

ScriptedDialogs::~ScriptedDialogs()
{
    Dialogs::install(nullptr);
}

int ScriptedDialogs::count(const QString& kind) const
{
    int n = 0;
    for (const Shown& s : shown)
        n += s.kind == kind ? 1 : 0;
    return n;
}

QMessageBox::StandardButton ScriptedDialogs::message(QWidget*, QMessageBox::Icon icon,
                                                     const QString& title, const QString& text,
                                                     QMessageBox::StandardButtons buttons,
                                                     QMessageBox::StandardButton defaultButton)
{
    QString kind;
    switch (icon) {
    case QMessageBox::Warning: kind = QStringLiteral("warning"); break;
    case QMessageBox::Critical: kind = QStringLiteral("critical"); break;
    case QMessageBox::Question: kind = QStringLiteral("question"); break;
    case QMessageBox::Information: kind = QStringLiteral("information"); break;
    default: kind = QStringLiteral("message"); break;
    }
    shown.append({kind, title, text, buttons, defaultButton, {}});
    if (!buttonAnswers.isEmpty())
        return buttonAnswers.dequeue();
    if (defaultButton != QMessageBox::NoButton)
        return defaultButton;
    for (int bit = 0; bit < 32; ++bit) {
        const auto b = static_cast<QMessageBox::StandardButton>(1u << bit);
        if (buttons.testFlag(b))
            return b;
    }
    return QMessageBox::Ok;
}

void ScriptedDialogs::about(QWidget*, const QString& title, const QString& text)
{
    shown.append({QStringLiteral("about"), title, text, QMessageBox::Ok, QMessageBox::NoButton,
                  {}});
}

QString ScriptedDialogs::openFileName(QWidget*, const QString& caption, const QString& dir,
                                      const QString& filter)
{
    shown.append({QStringLiteral("open"), caption, dir + QLatin1Char('|') + filter, {},
                  QMessageBox::NoButton, {}});
    return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
}

QString ScriptedDialogs::saveFileName(QWidget*, const QString& caption, const QString& dir,
                                      const QString& filter)
{
    shown.append({QStringLiteral("save"), caption, dir + QLatin1Char('|') + filter, {},
                  QMessageBox::NoButton, {}});
    return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
}

QString ScriptedDialogs::getItem(QWidget*, const QString& title, const QString& label,
                                 const QStringList& items, int, bool, bool* ok)
{
    shown.append({QStringLiteral("item"), title, label, {}, QMessageBox::NoButton, items});
    const QString answer = itemAnswers.isEmpty() ? QString() : itemAnswers.dequeue();
    if (ok)
        *ok = !answer.isNull();
    return answer;
}

int ScriptedDialogs::exec(QDialog* dialog)
{
    shown.append({QStringLiteral("exec"), dialog ? dialog->windowTitle() : QString(), {}, {},
                  QMessageBox::NoButton, {}});
    if (execAnswers.isEmpty())
        return QDialog::Rejected;
    return execAnswers.dequeue()(dialog);
}
