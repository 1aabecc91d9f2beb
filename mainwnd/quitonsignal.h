#pragma once
// Closes the main window when the process is asked to end (SIGTERM, SIGINT, SIGHUP), so a
// session logout or a Ctrl+C in the terminal ends the program the same way as "&Quit".

#include <QObject>

class QSocketNotifier;
class QWidget;

class QuitOnSignal : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; only one object may exist at a time.
    explicit QuitOnSignal(QWidget* window);
    // Restores the default handlers.
    ~QuitOnSignal() override;

private:
    void SlotSignalArrived();

    QWidget* window;
    QSocketNotifier* notifier = nullptr;
};
