#pragma once
// Notices through the desktop's notification service (org.freedesktop.Notifications on the
// session bus), shown only while the user is not looking at the client: none of its windows is
// the active one. A desktop without the service shows nothing and the client carries on.

#include "core/Notifier.h"

#include <QDBusConnection>

class CDesktopNotifier : public INotifier {
public:
    explicit CDesktopNotifier(QDBusConnection bus = QDBusConnection::sessionBus());
    void Notify(ENotice kind, const QString& title, const QString& text) override;

private:
    QDBusConnection m_bus;
};
