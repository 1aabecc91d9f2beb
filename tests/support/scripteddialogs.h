#pragma once
// A dialog seam for tests: answers come from queues, every box shown is recorded.

#include "dialogs.h"

#include <QDialog>
#include <QList>
#include <QQueue>

#include <functional>

class ScriptedDialogs : public DialogSeam {
public:
    struct Shown {
        QString kind;  // "warning", "critical", "question", "information", "about", "open",
                       // "save", "item", "exec"
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        QStringList items;  // getItem only
    };

    // Installs itself as the program's seam; uninstalls when destroyed.
    ScriptedDialogs();
    ~ScriptedDialogs() override;

    // Answers, consumed in order per kind. A message box without a queued answer returns
    // its default button, or Ok/the first button when it has none.
    QQueue<QMessageBox::StandardButton> buttonAnswers;
    QQueue<QString> fileAnswers;          // open and save dialogs; empty text = cancelled
    QQueue<QString> itemAnswers;          // getItem; a null QString = cancelled
    QQueue<std::function<int(QDialog*)>> execAnswers;  // default: Rejected

    QList<Shown> shown;
    int count(const QString& kind) const;
    void clear() { shown.clear(); }

    QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon,
                                        const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) override;
    void about(QWidget* parent, const QString& title, const QString& text) override;
    QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;
    QString getItem(QWidget* parent, const QString& title, const QString& label,
                    const QStringList& items, int current, bool editable, bool* ok) override;
    int exec(QDialog* dialog) override;
};
