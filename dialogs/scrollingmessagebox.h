#pragma once
// A message box whose text scrolls, for texts too tall for the screen (a long list of
// failures), where QMessageBox would grow beyond the screen and hide its buttons. Icon,
// title, text and buttons are those of the message box it stands in for.

#include <QDialog>
#include <QMessageBox>

class QDialogButtonBox;

class ScrollingMessageBox : public QDialog {
    Q_OBJECT
public:
    ScrollingMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                        QMessageBox::StandardButtons buttons,
                        QMessageBox::StandardButton defaultButton, QWidget* parent = nullptr);

    // The button that closed the box; closed otherwise (Escape, the window's close button),
    // what QMessageBox reports then: Cancel, else No, else Ok.
    QMessageBox::StandardButton ClickedButton() const;

    // True when a plain message box with text would be taller than two thirds of the screen
    // that parent (or, without one, the primary screen) is on.
    static bool IsTooTall(const QWidget* parent, const QString& text);

private:
    QDialogButtonBox* const buttonBox;
    const QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton clicked = QMessageBox::NoButton;
};
