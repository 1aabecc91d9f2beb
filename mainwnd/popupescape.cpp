#include "popupescape.h"

#include <QApplication>
#include <QKeyEvent>

PopupEscape::PopupEscape(QObject* parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

PopupEscape::~PopupEscape()
{
    qApp->removeEventFilter(this);
}

bool PopupEscape::eventFilter(QObject* watched, QEvent* event)
{
    // Qt asks the focus widget of the window that has the keyboard whether it takes a key
    // before a shortcut may fire; on X11 that is still the main window's widget while the
    // list of a drop-down is open. An accepted override hands the key on to the popup or box
    // as an ordinary key press.
    if (event->type() == QEvent::ShortcutOverride
        && static_cast<QKeyEvent*>(event)->keyCombination() == QKeyCombination(Qt::Key_Escape)
        && (QApplication::activePopupWidget() || QApplication::activeModalWidget())) {
        event->accept();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
