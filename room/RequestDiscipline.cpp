#include "room/RequestDiscipline.h"

#include "hall/AppState.h"
#include "platform/Clock.h"
#include "platform/MessageWindow.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "room/ChatPanes.h"
#include "room/RoomStrings.h"

namespace {

struct tagOperation {
    short code;
    int nameId;  // 0: no lines at all
};

// The operations whose replies reach the generic reply, with their display names.
constexpr tagOperation kOperations[] = {
    {230, 330},   {250, 306},  {260, 309}, {270, 314},  {280, 315}, {290, 313},  {300, 310},
    {310, 316},   {315, 311},  {320, 325}, {325, 332},  {330, 317}, {340, 319},  {350, 320},
    {360, 308},   {370, 318},  {380, 321}, {390, 326},  {393, 451}, {395, 331},  {400, 322},
    {403, 32878}, {410, 323},  {420, 304}, {440, 305},  {450, 242}, {480, 329},  {500, 312},
    {530, 324},   {560, 307},  {600, 333}, {610, 334},  {620, 344}, {900, 335},  {930, 336},
    {937, 355},   {1010, 454}, {1020, 0},  {1040, 455}, {1050, 0},  {1070, 458},
};

struct tagInterval {
    short code;
    int seconds;
};

constexpr tagInterval kIntervals[] = {
    {450, 2}, {420, 10}, {1010, 10}, {250, 20}, {280, 20}, {620, 20}, {330, 4}, {400, 5}, {410, 5},
};

const tagOperation* FindOperation(short code) {
    for (const auto& op : kOperations) {
        if (op.code == code) {
            return &op;
        }
    }
    return nullptr;
}

bool InRange(short code) {
    return code >= 0 && code < CRequestDiscipline::kMaxCode;
}

}  // namespace

CRequestDiscipline::CRequestDiscipline(CMessageWindow& window, CChatPanes& panes, FSend send)
    : m_window(window), m_panes(panes), m_send(std::move(send)) {}

QString CRequestDiscipline::OperationName(short code) {
    const tagOperation* op = FindOperation(code);
    return op && op->nameId ? LoadString(op->nameId) : QString();
}

int CRequestDiscipline::IntervalSeconds(short code) {
    for (const auto& i : kIntervals) {
        if (i.code == code) {
            return i.seconds;
        }
    }
    return 0;
}

bool CRequestDiscipline::IsReplyTableCode(short code) {
    // Private-chat requests 520 and 550 are answered through the private-chat feature.
    return FindOperation(code) != nullptr;
}

bool CRequestDiscipline::CarriesConfigKeys(short code) {
    switch (code) {
        case 250:
        case 260:
        case 280:
        case 310:
        case 360:
        case 390:
        case 490:
        case 613:
        case 900:
        case 930:
            return true;
        default:
            return false;
    }
}

short CRequestDiscipline::IntervalGroup(short code) {
    // Grabbing the public and taking a private microphone are one operation, "抢麦".
    return code == CMD_PRIVATE_MIC ? short{CMD_GRAB_MIC} : code;
}

void CRequestDiscipline::Line(short code, int suffix, const QString& extra) {
    const tagOperation* op = FindOperation(code);
    if (op && op->nameId == 0) {
        return;
    }
    // A chat line is its own confirmation: text requests write only failures and time-outs.
    if (code == CMD_TEXT && (suffix == SUFFIX_WAIT || suffix == SUFFIX_SUCCESS)) {
        return;
    }
    m_panes.SystemLine(OperationName(code) + extra, suffix);
}

bool CRequestDiscipline::CheckPending(short code) {
    if (IsPending(code)) {
        m_panes.SystemLine(LoadString(252));
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
                               .arg(OperationName(IntervalGroup(code)), LoadString(253),
                                    QString::number(seconds), LoadString(IDS_SECONDS)));
        return false;
    }
    return true;
}

void CRequestDiscipline::RecordAttempt(short code) {
    if (IntervalSeconds(code) != 0) {
        m_lastAttempt[IntervalGroup(code)] = CClock::Get().Now();
    }
}

int CRequestDiscipline::Send(short code, CKParam& packet) {
    if (CarriesConfigKeys(code)) {
        const tagSettings& settings = CAppState::Get().settings;
        packet.SetCString(101, settings.fip);
        packet.SetInt(102, settings.fport);
    }
    const int result = m_send ? m_send(packet) : -1;
    if (result != 0) {
        Line(code, SUFFIX_FAILURE);
        return result;
    }
    if (InRange(code)) {
        m_pending[static_cast<size_t>(code)] = 1;
    }
    m_window.SetTimer(static_cast<unsigned>(code), code == CMD_PRIVATE_REQUEST
                                                       ? unsigned{kPrivateChatTimeoutMs}
                                                       : unsigned{kTimeoutMs});
    Line(code, SUFFIX_WAIT);
    return 0;
}

int CRequestDiscipline::Request(short code, CKParam& packet) {
    if (!CheckPending(code) || !CheckInterval(code)) {
        return -1;
    }
    RecordAttempt(code);
    return Send(code, packet);
}

bool CRequestDiscipline::OnReply(short requestCode, CKParam& reply) {
    if (!m_window.IsWindow()) {
        return false;
    }
    short code = requestCode;
    if (code == CMD_GIFT && reply.ShortOr(31, 0) == 10) {
        code = CMD_STAMP;
    }
    if (code != CMD_PRIVATE_REQUEST && code != CMD_PRIVATE_ANSWER && code != CMD_WATCH) {
        ClearPending(code);
    }
    if (reply.IntOr(KEY_RESULT, 0) == -1) {
        const int refusal = reply.IntOr(KEY_REFUSAL, 0);
        Line(code, SUFFIX_NONE, LoadString(IDS_FAILURE_SUFFIX) + RefusalText(refusal));
        if (code == CMD_TEXT) {
            m_panes.SystemLine(LoadString(247));
        }
    } else {
        Line(code, SUFFIX_SUCCESS);
    }
    return true;
}

bool CRequestDiscipline::OnTimer(unsigned id) {
    // Timers of other ids (the microphone countdowns, the private-chat requests) belong to
    // their features.
    if (id == CMD_PRIVATE_REQUEST || id == CMD_PRIVATE_ANSWER) {
        // The private-chat feature writes its own lines; the request is over either way.
        ClearPending(static_cast<short>(id));
        return true;
    }
    const tagOperation* op = id < kMaxCode ? FindOperation(static_cast<short>(id)) : nullptr;
    if (!op) {
        return false;
    }
    ClearPending(op->code);
    if (op->nameId != 0) {
        m_panes.SystemLine(QStringLiteral("%1 %2").arg(OperationName(op->code), LoadString(343)));
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
