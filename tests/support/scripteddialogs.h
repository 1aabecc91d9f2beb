#pragma once
// A dialog seam for tests: answers come from queues, every box shown is recorded, and a box
// nobody queued an answer for, or an answer nobody used, fails the running test function.

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
        bool scripted = true;  // false: shown while its answer queue was empty
    };

    // Installs itself as the program's seam. When destroyed (at the end of the test function
    // that owns it, or in its cleanup()) it uninstalls itself and, while strict, fails the test
    // for every box shown without a queued answer and every answer left unused.
    ScriptedDialogs();
    ~ScriptedDialogs() override;

    // Answers, consumed in order per kind; each box shown takes one. A message box (also the
    // about box) takes one from buttonAnswers: NoButton there answers with the box's default
    // button (Ok or its first button when it has none). Without a queued answer a box still
    // gets that default (and the test fails), so the workflow under test goes on.
    QQueue<QMessageBox::StandardButton> buttonAnswers;
    QQueue<QString> fileAnswers;          // open and save dialogs; empty text = cancelled
    QQueue<QString> itemAnswers;          // getItem; a null QString = cancelled
    QQueue<std::function<int(QDialog*)>> execAnswers;  // unscripted: Rejected

    // One message box the test means to see, answered with answer (NoButton: its default).
    void expectBox(QMessageBox::StandardButton answer = QMessageBox::NoButton)
    {
        buttonAnswers.enqueue(answer);
    }
    // One file dialog (open or save) or item choice the test means to see cancelled.
    void expectCancelledFile() { fileAnswers.enqueue(QString()); }
    void expectCancelledItem() { itemAnswers.enqueue(QString()); }
    // One modal dialog the test means to see, closed as the operator's Cancel would.
    void expectRejectedDialog()
    {
        execAnswers.enqueue([](QDialog*) { return int(QDialog::Rejected); });
    }
    // For a test that means to let boxes come unscripted (their default answers), such as
    // one that drives a workflow only for a side effect the boxes do not change.
    bool strict = true;

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

private:
    // Records a box; warns at once when it came unscripted, so the log shows where.
    void record(Shown box, bool scripted);
    // What the test did not script, one line each; empty when all went as queued.
    QStringList surprises() const;
    // The unscripted boxes, kept apart from shown, which tests may clear.
    QStringList unscripted;
};
