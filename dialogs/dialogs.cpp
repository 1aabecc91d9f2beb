#include "dialogs.h"

#include "scrollingmessagebox.h"

#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>

namespace {

// Shows real modal windows; file dialogs are Qt's own, never the platform's.
class WidgetDialogs : public DialogSeam {
public:
    QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon,
                                        const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) override
    {
        if (ScrollingMessageBox::IsTooTall(parent, text)) {
            ScrollingMessageBox box(icon, title, text, buttons, defaultButton, parent);
            box.exec();
            return box.ClickedButton();
        }
        QMessageBox box(icon, title, text, buttons, parent);
        box.setDefaultButton(defaultButton);
        const int result = box.exec();
        return static_cast<QMessageBox::StandardButton>(result);
    }

    void about(QWidget* parent, const QString& title, const QString& text) override
    {
        QMessageBox::about(parent, title, text);
    }

    QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override
    {
        return QFileDialog::getOpenFileName(parent, caption, dir, filter, nullptr,
                                            QFileDialog::DontUseNativeDialog);
    }

    QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override
    {
        return QFileDialog::getSaveFileName(parent, caption, dir, filter, nullptr,
                                            QFileDialog::DontUseNativeDialog);
    }

    QString getItem(QWidget* parent, const QString& title, const QString& label,
                    const QStringList& items, int current, bool editable, bool* ok) override
    {
        return QInputDialog::getItem(parent, title, label, items, current, editable, ok);
    }

    int exec(QDialog* dialog) override { return dialog->exec(); }
};

WidgetDialogs realSeam;
DialogSeam* installed = nullptr;

}  // namespace

namespace Dialogs {

DialogSeam& seam()
{
    return installed ? *installed : realSeam;
}

void install(DialogSeam* replacement)
{
    installed = replacement;
}

QMessageBox::StandardButton warning(QWidget* parent, const QString& title, const QString& text,
                                    QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton)
{
    return seam().message(parent, QMessageBox::Warning, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton critical(QWidget* parent, const QString& title, const QString& text,
                                     QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultButton)
{
    return seam().message(parent, QMessageBox::Critical, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton information(QWidget* parent, const QString& title,
                                        const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton)
{
    return seam().message(parent, QMessageBox::Information, title, text, buttons,
                          defaultButton);
}

QMessageBox::StandardButton question(QWidget* parent, const QString& title, const QString& text,
                                     QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultButton)
{
    return seam().message(parent, QMessageBox::Question, title, text, buttons, defaultButton);
}

}  // namespace Dialogs
