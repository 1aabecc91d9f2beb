#include "firmwareprogress.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProgressBar>
#include <QStatusBar>
#include <QWindow>

FirmwareProgress::FirmwareProgress(QStatusBar* statusBar)
    : statusBar(statusBar), bar(new QProgressBar(statusBar))
{
    bar->setObjectName(QStringLiteral("firmwareProgressBar"));
    bar->setFormat(tr("%v of %m blocks"));
    bar->setRange(0, 1);
    bar->setValue(0);
    statusBar->addPermanentWidget(bar);
    bar->hide();  // until the first block is under way
    qApp->installEventFilter(this);
}

FirmwareProgress::~FirmwareProgress()
{
    qApp->removeEventFilter(this);
    statusBar->removeWidget(bar);
    delete bar;
}

void FirmwareProgress::Show(int blocksSent, int blockCount)
{
    if (bar->maximum() != blockCount)
        bar->setRange(0, blockCount);
    bar->setValue(blocksSent);
    bar->show();
    QCoreApplication::processEvents();
}

int FirmwareProgress::BlocksSent() const
{
    return bar->value();
}

int FirmwareProgress::BlockCount() const
{
    return bar->maximum();
}

void FirmwareProgress::KeepUsable(QWidget* widget)
{
    if (widget)
        usable.append(widget);
}

void FirmwareProgress::KeepKey(const QKeySequence& key)
{
    keys.append(key);
}

bool FirmwareProgress::IsUsable(const QWidget* widget) const
{
    if (!widget)
        return false;
    for (const QPointer<QWidget>& kept : usable) {
        if (kept && (kept == widget || kept->isAncestorOf(widget)))
            return true;
    }
    return false;
}

bool FirmwareProgress::Passes(QObject* watched, QEvent* event) const
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        if (const auto* const widget = qobject_cast<QWidget*>(watched))
            return IsUsable(widget);
        // A window hands its mouse events on to the widget under the pointer, where they are
        // judged again; here only the target matters.
        if (watched->isWindowType()) {
            const auto* const mouse = static_cast<QMouseEvent*>(event);
            return IsUsable(QApplication::widgetAt(mouse->globalPosition().toPoint()));
        }
        return false;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride: {
        const auto* const key = static_cast<QKeyEvent*>(event);
        if (keys.contains(QKeySequence(key->keyCombination())))
            return true;
        // Space on a focused stop button.
        return event->type() != QEvent::ShortcutOverride
            && IsUsable(QApplication::focusWidget());
    }
    case QEvent::Shortcut:
        return keys.contains(static_cast<QShortcutEvent*>(event)->key());
    default:
        return false;
    }
}

bool FirmwareProgress::eventFilter(QObject* watched, QEvent* event)
{
    if (Passes(watched, event))
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::Close:
        // A box that another part of the program opened meanwhile (a lost connection) must
        // stay answerable; Qt's modality keeps the main window out of its reach.
        if (QApplication::activeModalWidget())
            return false;
        // A close event arrives accepted: swallowed as it is, the window would still close
        // (without its own close handling), so it is refused, and remembered for the caller.
        // (A shown window is closed through its platform window, which gets the event first.)
        if (event->type() == QEvent::Close
            && (watched == statusBar->window() || watched == statusBar->window()->windowHandle()))
            closeRequested = true;
        event->ignore();
        return true;
    default:
        return QObject::eventFilter(watched, event);
    }
}
