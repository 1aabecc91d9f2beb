#include "jogkeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QShortcut>
#include <QWidget>

JogKeys::JogKeys(QWidget* window, std::function<void(int, int)> press)
    : QObject(window)
    , press(std::move(press))
{
    const struct {
        Qt::Key key;
        const char* button;  // names the shortcut after the button it presses
        int axis;
        int direction;
    } jogKeys[] = {
        {Qt::Key_Left, "XnegButton", 0, -1},     {Qt::Key_Right, "XposButton", 0, 1},
        {Qt::Key_Down, "YnegButton", 1, -1},     {Qt::Key_Up, "YposButton", 1, 1},
        {Qt::Key_PageDown, "ZnegButton", 2, -1}, {Qt::Key_PageUp, "ZposButton", 2, 1},
        {Qt::Key_End, "CnegButton", 3, -1},      {Qt::Key_Home, "CposButton", 3, 1},
    };
    for (const auto& jog : jogKeys) {
        auto* const shortcut = new QShortcut(QKeySequence(Qt::ALT | jog.key), window);
        shortcut->setObjectName(QLatin1String("jog") + QLatin1String(jog.button));
        shortcut->setContext(Qt::WindowShortcut);
        shortcut->setAutoRepeat(false);
        const Qt::Key key = jog.key;
        const int axis = jog.axis;
        const int direction = jog.direction;
        connect(shortcut, &QShortcut::activated, this,
                [this, key, axis, direction] { Activated(key, axis, direction); });
    }
}

JogKeys::~JogKeys()
{
    qApp->removeEventFilter(this);
}

void JogKeys::Activated(int key, int axis, int direction)
{
    if (heldKey == key)
        return;  // still held down
    // The release goes to whatever has the focus: watched for only while a key is held.
    if (heldKey == 0)
        qApp->installEventFilter(this);
    heldKey = key;
    press(axis, direction);
}

void JogKeys::Released()
{
    heldKey = 0;
    qApp->removeEventFilter(this);
}

bool JogKeys::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyRelease: {
        const auto* const release = static_cast<QKeyEvent*>(event);
        if (!release->isAutoRepeat() && release->key() == heldKey)
            Released();
        break;
    }
    case QEvent::ApplicationDeactivate:
        // A release that happens in another program's window never reaches us.
        Released();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
