#include "jogkeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QShortcut>
#include <QWidget>

JogKeys::JogKeys(QWidget* window, std::function<void(const char*)> press)
    : QObject(window)
    , press(std::move(press))
{
    const struct {
        Qt::Key key;
        const char* button;
    } jogKeys[] = {
        {Qt::Key_Left, "XnegButton"},     {Qt::Key_Right, "XposButton"},
        {Qt::Key_Down, "YnegButton"},     {Qt::Key_Up, "YposButton"},
        {Qt::Key_PageDown, "ZnegButton"}, {Qt::Key_PageUp, "ZposButton"},
        {Qt::Key_End, "CnegButton"},      {Qt::Key_Home, "CposButton"},
    };
    for (const auto& jog : jogKeys) {
        auto* const shortcut = new QShortcut(QKeySequence(Qt::ALT | jog.key), window);
        shortcut->setObjectName(QLatin1String("jog") + QLatin1String(jog.button));
        shortcut->setContext(Qt::WindowShortcut);
        shortcut->setAutoRepeat(false);
        const Qt::Key key = jog.key;
        const char* const button = jog.button;
        connect(shortcut, &QShortcut::activated, this,
                [this, key, button] { Activated(key, button); });
    }
}

JogKeys::~JogKeys()
{
    qApp->removeEventFilter(this);
}

void JogKeys::Activated(int key, const char* buttonName)
{
    if (heldKey == key)
        return;  // still held down
    // The release goes to whatever has the focus: watched for only while a key is held.
    if (heldKey == 0)
        qApp->installEventFilter(this);
    heldKey = key;
    press(buttonName);
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
