#pragma once
// Keeps the window's Escape shortcut (the stop of all machines) away from an Escape meant for
// an open popup, menu or modal box: that one closes what is open and stops nothing.

#include <QObject>

class PopupEscape : public QObject {
    Q_OBJECT
public:
    // Watches every key for the application; ends with parent.
    explicit PopupEscape(QObject* parent);
    ~PopupEscape() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
