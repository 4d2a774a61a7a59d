#include "tests/hall/HallFixture.h"

#include "platform/CodePage.h"
#include "platform/StringTable.h"

namespace tavotest {

void HallFixture::SetUp() {
    ASSERT_TRUE(route.Start());
    ASSERT_TRUE(center.Start());
    ASSERT_TRUE(web.Start());
    SetStringLanguage(QStringLiteral("CHINESE"));
    SetAnsiCodePage(CP_GBK);
    state.settings.serverIp = QStringLiteral("127.0.0.1");
    state.settings.serverPort = static_cast<int>(route.Port());
    state.settings.visitorNickname = QStringLiteral("小明");
    state.account.adapterAddress = QStringLiteral("00-1A-2B-3C-4D-5E");
    state.clientVersion = 1828;
    state.configRead = true;
    route.AnswerWith(CMD_SERVER_INFO, CMD_SERVER_INFO_REPLY,
                     {{12, "标识"},
                      {13, 77},
                      {30, "127.0.0.1"},
                      {40, static_cast<int>(route.Port())},
                      {50, static_cast<int>(center.Port())}});
    center.AnswerWith(CMD_VISITOR, CMD_VISITOR_REPLY, {{30, "游客1"}, {40, 500}, {50, 7}});
    center.AnswerWith(CMD_PRESENCE, CMD_PRESENCE_REPLY);
    NewHall();
}

int HallFixture::RunHall(const std::function<void()>& body) {
    ui.dialogs.Script(CTavoClientDlg::IDD, [body](CDialogModel& d) {
        body();
        if (d.IsOpen()) {
            d.EndDialog(IDOK);
        }
    });
    return hall->DoModal();
}

bool HallFixture::Step(int seconds, const std::function<bool()>& until) {
    for (int i = 0; i < seconds; ++i) {
        if (until && until()) {
            return true;
        }
        clock.Advance(1000);
        // Loopback exchanges finish in well under this; the clock does not move meanwhile, so
        // a slow exchange only shifts events later in simulated time, never earlier.
        Spin(std::chrono::milliseconds(5));
    }
    return until && until();
}

}  // namespace tavotest
