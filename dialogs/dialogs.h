#pragma once
// The one seam through which the program shows every message box, file dialog, input dialog
// and modal dialog run, so tests can answer them without real modal windows.

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

class DialogSeam {
public:
    virtual ~DialogSeam() = default;

    // A message box of the given icon (Warning, Critical, Question, Information; NoIcon for
    // the about box). Returns the button that closed it.
    virtual QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon,
                                                const QString& title, const QString& text,
                                                QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton defaultButton) = 0;
    virtual void about(QWidget* parent, const QString& title, const QString& text) = 0;
    // Empty text when the operator cancelled.
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter) = 0;
    // QInputDialog::getItem; *ok tells whether the operator confirmed.
    virtual QString getItem(QWidget* parent, const QString& title, const QString& label,
                            const QStringList& items, int current, bool editable, bool* ok) = 0;
    // Runs a modal dialog and returns its result code.
    virtual int exec(QDialog* dialog) = 0;
};

namespace Dialogs {

// The seam in use: the real one unless a test installed its own.
DialogSeam& seam();
// Installs a seam (not owned); nullptr restores the real one.
void install(DialogSeam* replacement);

QMessageBox::StandardButton warning(QWidget* parent, const QString& title, const QString& text,
                                    QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                    QMessageBox::StandardButton defaultButton =
                                        QMessageBox::NoButton);
QMessageBox::StandardButton critical(QWidget* parent, const QString& title, const QString& text,
                                     QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                     QMessageBox::StandardButton defaultButton =
                                         QMessageBox::NoButton);
QMessageBox::StandardButton information(QWidget* parent, const QString& title,
                                        const QString& text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                        QMessageBox::StandardButton defaultButton =
                                            QMessageBox::NoButton);
QMessageBox::StandardButton question(QWidget* parent, const QString& title, const QString& text,
                                     QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultButton);

}  // namespace Dialogs
