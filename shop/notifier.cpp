#include "notifier.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QSystemTrayIcon>
#include <QVariantMap>

namespace {

std::function<void(const QString&, const QString&)>& sink()
{
    static std::function<void(const QString&, const QString&)> s;
    return s;
}

const QString service = QStringLiteral("org.freedesktop.Notifications");

}  // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent) {}

void DesktopNotifier::setSink(std::function<void(const QString&, const QString&)> s)
{
    sink() = std::move(s);
}

void DesktopNotifier::notify(const QString& title, const QString& body)
{
    if (sink()) {
        sink()(title, body);
        return;
    }
    QApplication::beep();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        showInTray(title, body);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, QStringLiteral("/org/freedesktop/Notifications"), service,
        QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(2)));  // critical
    call << QStringLiteral("Kavro") << 0u << QStringLiteral("kavro") << title << body
         << QStringList() << hints << -1;
    // Asked without waiting; when nobody serves notifications the tray says it instead.
    auto* const watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, title, body] {
        if (watcher->isError())
            showInTray(title, body);
        watcher->deleteLater();
    });
}

void DesktopNotifier::showInTray(const QString& title, const QString& body)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    if (!tray) {
        tray = new QSystemTrayIcon(QApplication::windowIcon(), this);
        tray->show();
    }
    tray->showMessage(title, body, QSystemTrayIcon::Critical);
}
