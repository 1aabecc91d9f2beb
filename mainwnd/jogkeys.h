#pragma once
// The keyboard jog of the main window: Alt+arrows for X and Y, Alt+PageUp/PageDown for Z and
// Alt+Home/End for C press the jog buttons of the current controller's panel, one move per
// key press. A held key never moves again: neither its auto-repeat (which not every X server
// marks as such) nor anything else until the key has been released.

#include <QObject>

#include <functional>

class QWidget;

class JogKeys : public QObject {
    Q_OBJECT
public:
    // press(axis, direction) is called for the jog button to press (axis 0 ... 3 = X, Y, Z, C;
    // direction -1 or +1).
    JogKeys(QWidget* window, std::function<void(int axis, int direction)> press);
    ~JogKeys() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Activated(int key, int axis, int direction);
    void Released();

    std::function<void(int, int)> press;
    int heldKey = 0;  // the jog key pressed and not yet released, 0 when none
};
