#pragma once
// Tells the operator of an event on a machine they may not be looking at: a desktop
// notification through the freedesktop notification service on the session bus where there is
// one, a message of the tray icon otherwise, and a beep. Never waits on the bus.

#include <QObject>
#include <QString>

#include <functional>

class QSystemTrayIcon;

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject* parent = nullptr);

    void notify(const QString& title, const QString& body);

    // Tests: every notification goes to sink instead of the desktop (empty: the desktop).
    static void setSink(std::function<void(const QString&, const QString&)> sink);

private:
    void showInTray(const QString& title, const QString& body);

    QSystemTrayIcon* tray = nullptr;
};
