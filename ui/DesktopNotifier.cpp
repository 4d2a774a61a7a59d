#include "ui/DesktopNotifier.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
// The desktop entry's name, from which the notification server may take the program's name;
// and the icon of the hicolor theme the entry names.
const QString kDesktopEntry = QStringLiteral("org.tavo.Tavo");
const QString kIcon = QStringLiteral("tavo");

}  // namespace

CDesktopNotifier::CDesktopNotifier(QDBusConnection bus) : m_bus(std::move(bus)) {}

void CDesktopNotifier::Notify(ENotice /*kind*/, const QString& title, const QString& text) {
    if (QApplication::activeWindow() || !m_bus.isConnected()) {
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), kDesktopEntry);
    call << QStringLiteral("Tavo") << 0u << kIcon << title << text.toHtmlEscaped()
         << QStringList() << hints << -1;
    // Never waits: a slow or missing notification service must not stall the room.
    m_bus.asyncCall(call);
}
