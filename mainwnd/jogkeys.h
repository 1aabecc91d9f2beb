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
    // press(buttonName) is called with the object name of the jog button to press.
    JogKeys(QWidget* window, std::function<void(const char* buttonName)> press);
    ~JogKeys() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Activated(int key, const char* buttonName);
    void Released();

    std::function<void(const char*)> press;
    int heldKey = 0;  // the jog key pressed and not yet released, 0 when none
};
