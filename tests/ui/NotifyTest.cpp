// Desktop notices go through the notification service of the session bus: a private bus of
// the test's own with a recorder owning the service's name stands in for the desktop's.

#include "core/Notifier.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "room/RoomMembers.h"
#include "tests/room/RoomFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/Widgets.h"
#include "ui/DesktopNotifier.h"
#include "ui/QtDialogHost.h"
#include "ui/RoomDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QDBusConnection>
#include <QProcess>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

// What a notification server is asked to show, kept.
class CNoticeRecorder : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public Q_SLOTS:
    uint Notify(const QString& app, uint /*replaces*/, const QString& /*icon*/,
                const QString& summary, const QString& body, const QStringList& /*actions*/,
                const QVariantMap& /*hints*/, int /*timeout*/) {
        notices << app + QLatin1Char('|') + summary + QLatin1Char('|') + body;
        return static_cast<uint>(notices.size());
    }

public:
    QStringList notices;
};

// dbus-daemon on a private address for the life of a test.
class CPrivateBus {
public:
    CPrivateBus() {
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {"--session", "--nofork", "--print-address=1"});
        if (m_daemon.waitForStarted(5000) &&
            WaitUntil([&] { return m_daemon.canReadLine(); }, std::chrono::seconds(10))) {
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        }
    }
    ~CPrivateBus() {
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }
    QString Address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

}  // namespace

TEST(DesktopNotices, TheMicrophoneHandedOverIsToldOnlyWhileNoWindowIsActiveAndWhenSwitchedOn) {
    TAVO_NEED(HaveProgram("dbus-daemon"), "dbus-daemon");
    CPrivateBus bus;
    ASSERT_FALSE(bus.Address().isEmpty());
    QDBusConnection desktop = QDBusConnection::connectToBus(bus.Address(), "desktop");
    CNoticeRecorder recorder;
    ASSERT_TRUE(desktop.registerObject("/org/freedesktop/Notifications", &recorder,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(desktop.registerService("org.freedesktop.Notifications"));

    CRoomFixture f;
    CDesktopNotifier notifier(QDBusConnection::connectToBus(bus.Address(), "client"));
    CScopedService<INotifier> notifierScope(notifier);
    f.OpenOffline();
    f.Room().Members().List().Add(Member("me", "我"));
    QWidget window;  // the client's window, hidden

    f.MicTaken("amy");
    f.MicTaken("me");
    ASSERT_TRUE(WaitUntil([&] { return !recorder.notices.isEmpty(); }));
    EXPECT_EQ(recorder.notices.front().section('|', 1, 1), LoadString(IDS_NOTICE_MIC_HANDED));
    // The same turn announced again is no new hand-over.
    f.MicTaken("me");
    Spin(std::chrono::milliseconds(300));
    EXPECT_EQ(recorder.notices.size(), 1);

    // Switched off in the settings window: nothing.
    CQtDialogHost host;
    RegisterRoomDialogs(host);
    CScopedDialogHost hostScope(host);
    auto settings = [&](bool on) {
        OnModalWindow([on](QWidget* w) {
            ASSERT_EQ(w->objectName(), "NoticeSettingsWindow");
            w->findChild<QCheckBox*>(NoticeProfileKey(NOTICE_MIC_HANDED))->setChecked(on);
            w->findChild<QPushButton*>("ok")->click();
        });
        CNoticeSettingsDlg dialog;
        EXPECT_EQ(dialog.DoModal(), IDOK);
    };
    settings(false);
    f.MicTaken("amy");
    f.MicTaken("me");
    Spin(std::chrono::milliseconds(300));
    EXPECT_EQ(recorder.notices.size(), 1);

    // Switched on, but the user is looking at the client: nothing either.
    settings(true);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == &window; }));
    f.MicTaken("amy");
    f.MicTaken("me");
    Spin(std::chrono::milliseconds(300));
    EXPECT_EQ(recorder.notices.size(), 1);
}

#include "NotifyTest.moc"
