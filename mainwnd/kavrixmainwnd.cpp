#include "kavrixmainwnd.h"

#include "kavrixkernel.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenuBar>
#include <QStatusBar>

KavrixMainWnd::KavrixMainWnd(QWidget* parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("KavrixMulti"));
    QMenu* const fileMenu = menuBar()->addMenu(tr("&File"));
    QAction* const exitAction = fileMenu->addAction(tr("E&xit"));
    exitAction->setShortcut(QKeySequence(tr("Ctrl+Q")));
    connect(exitAction, &QAction::triggered, this, &QWidget::close);
    statusBar()->showMessage(tr("Ready"));
    resize(1000, 700);
}

void KavrixMainWnd::closeEvent(QCloseEvent* event)
{
    KavrixKernel::Instance()->CloseAllConnections();
    event->accept();
}
