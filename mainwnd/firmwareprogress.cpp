#include "firmwareprogress.h"

#include <QApplication>
#include <QEvent>
#include <QProgressBar>
#include <QStatusBar>

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

bool FirmwareProgress::eventFilter(QObject* watched, QEvent* event)
{
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
        // (without its own close handling), so it is refused.
        event->ignore();
        return true;
    default:
        return QObject::eventFilter(watched, event);
    }
}
