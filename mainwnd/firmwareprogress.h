#pragma once
// Shows a firmware transfer's progress (blocks sent of all) in the window's status bar and
// keeps the window painted while the transfer runs in the GUI thread; input meant for the
// program's windows is swallowed meanwhile, except in a modal box that is waiting for it and
// in the widgets kept usable (the emergency stops of the other machines).

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

class QProgressBar;
class QStatusBar;

class FirmwareProgress : public QObject {
    Q_OBJECT
public:
    explicit FirmwareProgress(QStatusBar* statusBar);
    ~FirmwareProgress() override;
    FirmwareProgress(const FirmwareProgress&) = delete;
    FirmwareProgress& operator=(const FirmwareProgress&) = delete;

    // Shows the numbers and lets pending paint, timer and posted events run.
    void Show(int blocksSent, int blockCount);

    int BlocksSent() const;
    int BlockCount() const;

    // Mouse and key input for widget (and everything inside it) keeps working.
    void KeepUsable(QWidget* widget);
    // The window's shortcut on key keeps working (the stop of all machines).
    void KeepKey(const QKeySequence& key);
    // True once the status bar's window was asked to close meanwhile (a signal, the window
    // manager): the request was refused and the caller is to close the window afterwards.
    bool CloseRequested() const { return closeRequested; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool IsUsable(const QWidget* widget) const;
    bool Passes(QObject* watched, QEvent* event) const;

    QStatusBar* const statusBar;
    QProgressBar* const bar;
    QList<QPointer<QWidget>> usable;
    QList<QKeySequence> keys;
    bool closeRequested = false;
};
