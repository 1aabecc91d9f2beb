#pragma once
// Shows a firmware transfer's progress (blocks sent of all) in the window's status bar and
// keeps the window painted while the transfer runs in the GUI thread; input meant for the
// program's windows is swallowed meanwhile, except in a modal box that is waiting for it.

#include <QObject>

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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QStatusBar* const statusBar;
    QProgressBar* const bar;
};
