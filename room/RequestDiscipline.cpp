#include "room/RequestDiscipline.h"

#include "core/AppState.h"
#include "platform/Clock.h"
#include "platform/MessageWindow.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/keys/EntryKeys.h"
#include "protocol/keys/GiftsKeys.h"
#include "room/ChatPanes.h"
#include "room/RoomStrings.h"

namespace {

bool InRange(short code) {
    return code >= 0 && code < CRequestDiscipline::kMaxCode;
}

}  // namespace

CRequestDiscipline::CRequestDiscipline(CMessageWindow& window, CChatPanes& panes, FSend send)
    : m_window(window), m_panes(panes), m_send(std::move(send)) {}

QString CRequestDiscipline::OperationName(short code) {
    const tagCommandInfo* c = FindCommand(code);
    return c && c->title ? LoadString(c->title) : QString();
}

int CRequestDiscipline::IntervalSeconds(short code) {
    const tagCommandInfo* c = FindCommand(code);
    return c ? c->interval : 0;
}

short CRequestDiscipline::IntervalGroup(short code) {
    // Grabbing the public and taking a private microphone are one operation, "抢麦".
    return code == CMD_PRIVATE_MIC ? short{CMD_GRAB_MIC} : code;
}

int CRequestDiscipline::Title(short code) const {
    if (const auto it = m_names.find(code); it != m_names.end()) {
        return it->second;
    }
    const tagCommandInfo* c = FindCommand(code);
    return c ? c->title : 0;
}

void CRequestDiscipline::Line(short code, int suffix, const QString& extra) {
    const tagCommandInfo* c = FindCommand(code);
    const int title = Title(code);
    if (!c || title == 0) {
        return;
    }
    if (c->Has(CF_QUIET) && (suffix == SUFFIX_WAIT || suffix == SUFFIX_SUCCESS)) {
        return;
    }
    m_panes.SystemLine(LoadString(title) + extra, suffix);
}

bool CRequestDiscipline::CheckPending(short code) {
    if (IsPending(code)) {
        m_panes.SystemLine(LoadString(IDS_REQUEST_PENDING));
        return false;
    }
    return true;
}

bool CRequestDiscipline::CheckInterval(short code) {
    const int seconds = IntervalSeconds(code);
    if (seconds == 0) {
        return true;
    }
    const auto it = m_lastAttempt.find(IntervalGroup(code));
    const int64_t now = CClock::Get().Now();
    // A clock set back counts as time not yet passed.
    if (it != m_lastAttempt.end() && now - it->second < seconds) {
        m_panes.SystemLine(QStringLiteral("%1%2%3%4")
                               .arg(LoadString(Title(IntervalGroup(code))),
                                    LoadString(IDS_INTERVAL), QString::number(seconds),
                                    LoadString(IDS_SECONDS)));
        return false;
    }
    return true;
}

void CRequestDiscipline::RecordAttempt(short code) {
    if (IntervalSeconds(code) != 0) {
        m_lastAttempt[IntervalGroup(code)] = CClock::Get().Now();
    }
}

void CRequestDiscipline::AddConfigKeys(short code, CKParam& packet) const {
    if (CommandHas(code, CF_CONFIG_KEYS)) {
        const tagSettings& settings = CAppState::Get().settings;
        packet.SetCString(ConfigKey::HOST, settings.fip);
        packet.SetInt(ConfigKey::PORT, settings.fport);
    }
}

int CRequestDiscipline::Answer(short code, CKParam& packet) {
    AddConfigKeys(code, packet);
    return m_send ? m_send(packet) : -1;
}

int CRequestDiscipline::Send(short code, CKParam& packet, const QString& nameExtra) {
    AddConfigKeys(code, packet);
    const int result = m_send ? m_send(packet) : -1;
    if (result != 0) {
        Line(code, SUFFIX_FAILURE, nameExtra);
        return result;
    }
    if (!CommandHas(code, CF_UNTRACKED)) {
        if (InRange(code)) {
            m_pending[static_cast<size_t>(code)] = 1;
        }
        m_window.SetTimer(static_cast<unsigned>(code),
                          CommandHas(code, CF_LONG_WAIT) ? kLongTimeoutMs : kTimeoutMs);
    }
    Line(code, SUFFIX_WAIT, nameExtra);
    return 0;
}

int CRequestDiscipline::Request(short code, CKParam& packet) {
    if (!CheckPending(code) || !CheckInterval(code)) {
        return -1;
    }
    RecordAttempt(code);
    return Send(code, packet);
}

int CRequestDiscipline::SendAttempt(short code, const std::function<void(CKParam&)>& keys) {
    CKParam p;
    p.SetShortInt(KEY_COMMAND, code);
    if (keys) {
        keys(p);
    }
    RecordAttempt(code);
    return Send(code, p);
}

bool CRequestDiscipline::OnReply(short requestCode, CKParam& reply) {
    if (!m_window.IsWindow()) {
        return false;
    }
    short code = requestCode;
    if (code == CMD_GIFT && reply.ShortOr(GiftReplyKey::KIND, 0) == 10) {
        code = CMD_STAMP;
    }
    if (!CommandHas(code, CF_OWNER_ENDS)) {
        ClearPending(code);
    }
    if (reply.IntOr(KEY_RESULT, 0) == -1) {
        const int refusal = reply.IntOr(KEY_REFUSAL, 0);
        Line(code, SUFFIX_NONE, LoadString(IDS_FAILURE_SUFFIX) + RefusalText(refusal));
        if (code == CMD_TEXT) {
            m_panes.SystemLine(LoadString(IDS_TEXT_FAILED));
        }
    } else {
        Line(code, SUFFIX_SUCCESS);
    }
    return true;
}

bool CRequestDiscipline::OnTimer(unsigned id) {
    // Timers of other ids (the microphone countdowns) belong to their features.
    const tagCommandInfo* c = id < kMaxCode ? FindCommand(static_cast<short>(id)) : nullptr;
    if (!c || !(c->Has(CF_GENERIC) || c->Has(CF_OWNER_ENDS))) {
        return false;
    }
    ClearPending(c->code);
    // A request whose feature ends it writes its own lines; the request is over either way.
    if (c->Has(CF_GENERIC) && Title(c->code) != 0) {
        m_panes.SystemLine(
            QStringLiteral("%1 %2").arg(LoadString(Title(c->code)), LoadString(IDS_TIMEOUT)));
    }
    if (const auto it = m_timeouts.find(c->code); it != m_timeouts.end()) {
        it->second();
    }
    return true;
}

bool CRequestDiscipline::IsPending(short code) const {
    return InRange(code) && m_pending[static_cast<size_t>(code)] != 0;
}

void CRequestDiscipline::ClearPending(short code) {
    if (InRange(code)) {
        m_pending[static_cast<size_t>(code)] = 0;
    }
    m_window.KillTimer(static_cast<unsigned>(code));
}

void CRequestDiscipline::Reset() {
    for (size_t code = 0; code < m_pending.size(); ++code) {
        if (m_pending[code]) {
            m_window.KillTimer(static_cast<unsigned>(code));
        }
    }
    m_pending.fill(0);
}
