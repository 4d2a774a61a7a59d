#include "hall/LoginDlg.h"

#include "core/AppState.h"
#include "hall/HallPacket.h"
#include "hall/Response2Dlg.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Prompt.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/LoginCipher.h"
#include "protocol/keys/CenterKeys.h"

CLoginDlg::CLoginDlg(CAppState* state) : CDialogModel(IDD), m_state(state) {}

CAppState& CLoginDlg::State() const {
    return m_state ? *m_state : CAppState::Get();
}

int CLoginDlg::IntervalSeconds() {
    return FindCommand(CMD_LOGIN)->interval;
}

QString CLoginDlg::IntervalMessage() {
    return LoadString(IDS_LOGIN) + LoadString(IDS_INTERVAL) + QString::number(IntervalSeconds()) +
           LoadString(IDS_SECONDS);
}

QString CLoginDlg::CredentialText(const QString& userId, const QString& password,
                                  const QString& visitorName) {
    return userId + QLatin1Char(' ') + password + QLatin1Char(' ') + visitorName;
}

void CLoginDlg::OnOK() {
    CAppState& state = State();
    const int64_t now = CClock::Get().Now();
    if (now - state.account.lastAttemptTime < IntervalSeconds()) {
        MessageBox(IntervalMessage());
        return;
    }
    state.account.lastAttemptTime = now;

    if (m_userId.isEmpty()) {
        MessageBox(LoadString(IDS_PLEASE_ENTER) + state.settings.sysIdName);
        return;
    }
    if (m_password.isEmpty()) {
        MessageBox(LoadString(IDS_PLEASE_ENTER) + LoadString(IDS_PASSWORD));
        return;
    }

    const QString credentials = CredentialText(m_userId, m_password, state.account.visitorName);
    const QByteArray block = EncipherCredentials(ToAnsi(credentials));
    CKParam request;
    request.SetShortInt(KEY_COMMAND, CMD_LOGIN);
    request.SetInt(LoginKey::LENGTH, static_cast<int>(credentials.size()));
    request.SetChar(LoginKey::CREDENTIALS, block.constData(),
                    static_cast<unsigned short>(block.size()));
    request.SetInt(LoginKey::NUMBER, state.account.userNumber);
    AppendIdentity(request, state);

    CResponse2Dlg exchange(m_state);
    exchange.SetCommand(CMD_LOGIN);
    exchange.SetRequest(request);
    if (exchange.DoModal() != IDOK) {
        // After a time-out the text is empty: the request dialog has already said why.
        MessageBox(LoadString(IDS_LOGIN) + LoadString(IDS_FAILURE_SUFFIX) + exchange.ErrorText());
        return;
    }
    const CKParam& reply = exchange.Reply();
    state.account.userNumber = reply.IntOr(LoginReplyKey::NUMBER, state.account.userNumber);
    // The account's own spelling of its name replaces what was typed.
    m_userId = reply.TextOr(LoginReplyKey::NAME, m_userId);
    Changed();
    EndDialog(IDOK);
}
