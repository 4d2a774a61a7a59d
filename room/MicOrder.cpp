#include "room/MicOrder.h"

#include "core/Notifier.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/keys/MicKeys.h"
#include "room/ChatText.h"
#include "room/ModifyMicTimeDlg.h"
#include "room/PrivateMic.h"
#include "room/RoomDlg.h"
#include "room/RoomMembers.h"
#include "room/RoomStrings.h"
#include "room/RoomView.h"
#include "room/VoiceSender.h"

#include <algorithm>

CMicOrder::CMicOrder(CRoomDlg& room) : m_room(room) {}

void CMicOrder::Register(CDispatchTable& t) {
    for (short code : {CMD_MIC_QUEUE, CMD_MIC_TIME, CMD_MIC_MODE, CMD_QUEUE_CONTROL,
                       CMD_SECOND_MIC_CONTROL, CMD_HAND_MIC, CMD_TAKE_BACK_MIC, CMD_HAND_SECOND_MIC,
                       CMD_GRAB_MIC, CMD_RELEASE_MIC, CMD_RELEASE_SECOND_MIC, CMD_EXTEND_MIC}) {
        t.Sends(code);
    }
    t.On(CMD_MIC_TAKEN, [this](CKParam& p) { OnMicTaken(p); });
    t.On(CMD_QUEUE_JOINED, [this](CKParam& p) { OnQueueJoined(p); });
    t.On(CMD_MIC_QUEUE_REPLY, [this](CKParam& p) { OnQueueReply(p); });
    t.On(CMD_MIC_TIME_CHANGED, [this](CKParam& p) { OnMicTimeChanged(p); });
    t.On(CMD_MIC_MODE_CHANGED, [this](CKParam& p) { OnModeChanged(p); });
    t.On(CMD_QUEUE_CHANGED, [this](CKParam& p) { OnQueueChanged(p); });
    t.On(CMD_SECOND_MIC_CONTROL_CHANGED, [this](CKParam& p) { OnSecondMicControl(p); });
    t.On(CMD_MIC_HANDED, [this](CKParam& p) { OnHanded(p, IDS_LINE_MIC_HANDED); });
    t.On(CMD_MIC_TAKEN_BACK, [this](CKParam& p) { OnHanded(p, IDS_LINE_MIC_TAKEN_BACK); });
    t.On(CMD_SECOND_MIC_HANDED, [this](CKParam& p) { OnHanded(p, IDS_LINE_SECOND_MIC_HANDED); });
    t.On(CMD_MIC_EXTENDED, [this](CKParam& p) { OnHanded(p, IDS_LINE_MIC_EXTENDED); });
    t.On(CMD_MIC_RELEASED, [this](CKParam&) { OnReleased(false); });
    t.On(CMD_SECOND_MIC_RELEASED, [this](CKParam&) { OnReleased(true); });
}

QString CMicOrder::TimeText(int r) {
    if (r >= 600) {
        return LoadString(IDS_TIME_UNKNOWN);
    }
    if (r >= 540) {
        return QStringLiteral("10") + LoadString(IDS_MINUTES);
    }
    if (r >= 60) {
        return QString::number(r / 60 + 1) + LoadString(IDS_MINUTES);
    }
    return QString::number(r) + LoadString(IDS_SECONDS);
}

QString CMicOrder::ModeName(int mode, bool forced) {
    switch (mode) {
        case MIC_QUEUE:
            return LoadString(IDS_MODE_QUEUE) + (forced ? LoadString(IDS_FORCED_QUEUE) : QString());
        case MIC_OPERATOR:
            return LoadString(IDS_MODE_OPERATOR);
        default:
            return LoadString(IDS_MODE_GRAB);
    }
}

QString CMicOrder::MainHolder() const {
    return m_state.With([](const tagMicState& s) { return s.mainHolder; });
}
QString CMicOrder::SecondHolder() const {
    return m_state.With([](const tagMicState& s) { return s.secondHolder; });
}
bool CMicOrder::DualMic() const {
    return m_state.With([](const tagMicState& s) { return s.dualMic; });
}

void CMicOrder::OnRoomOpened() {
    m_state.With([&](tagMicState& s) {
        s = tagMicState();
        s.ownId = m_room.OwnId();
    });
    m_mode = MIC_GRAB;
    m_forced = false;
    m_micTime = 0;
    m_queue.clear();
    m_grabForbidden = false;
    m_mainCountdown = 0;
    m_secondCountdown = 0;
}

void CMicOrder::OnSettings(const tagRoomSettings& s) {
    m_mode = s.micMode;
    m_forced = s.forcedQueue;
    m_micTime = static_cast<short>(s.micTime);
    m_state.With([&](tagMicState& st) {
        st.dualMic = s.dualMic;
        st.floorHolder = s.floorHolder;
    });
    ShowMode();
    SetHolder(false, s.mainHolder);
    SetHolder(true, s.secondHolder);
    if (s.mainHolder.isEmpty()) {
        ShowFree(false);
    } else {
        StartCountdown(false);
    }
    if (!s.secondHolder.isEmpty()) {
        StartCountdown(true);
    } else {
        ShowFree(true);
    }
    if (m_mode == MIC_QUEUE) {
        FetchQueue();
    }
    m_room.SetTimer(TIMER_QUEUE, kQueueRefreshMs);
}

void CMicOrder::OnRoomClosing(bool keepSharedCapture) {
    m_room.KillTimer(TIMER_MAIN);
    m_room.KillTimer(TIMER_SECOND);
    m_room.KillTimer(TIMER_QUEUE);
}

void CMicOrder::OnConnectionLost() {
    SetHolder(false, QString());
    SetHolder(true, QString());
    m_room.KillTimer(TIMER_MAIN);
    m_room.KillTimer(TIMER_SECOND);
    ShowFree(false);
    ShowFree(true);
}

bool CMicOrder::OnTimer(unsigned id) {
    if (id == TIMER_QUEUE) {
        if (m_mode == MIC_QUEUE) {
            FetchQueue();
        }
        return true;
    }
    if (id != TIMER_MAIN && id != TIMER_SECOND) {
        return false;
    }
    const bool second = id == TIMER_SECOND;
    short& countdown = second ? m_secondCountdown : m_mainCountdown;
    if (countdown <= 0) {
        m_room.KillTimer(id);
        return true;
    }
    --countdown;
    const QString holder = m_room.Members().DisplayName(second ? SecondHolder() : MainHolder());
    if (second) {
        m_room.View().SetSecondMic(holder, TimeText(countdown));
    } else {
        m_room.View().SetMainMic(holder, TimeText(countdown));
    }
    ShowTimeBar(second);
    return true;
}

void CMicOrder::SetHolder(bool second, const QString& id) {
    m_state.With([&](tagMicState& s) { (second ? s.secondHolder : s.mainHolder) = id; });
}

void CMicOrder::StartCountdown(bool second) {
    const unsigned timer = second ? TIMER_SECOND : TIMER_MAIN;
    m_room.KillTimer(timer);
    const QString holder = m_room.Members().DisplayName(second ? SecondHolder() : MainHolder());
    if (second) {
        m_secondCountdown = m_secondTotal = m_micTime;
        m_room.View().SetSecondMic(holder, LoadString(IDS_TIME_UNKNOWN));
    } else {
        m_mainCountdown = m_mainTotal = m_micTime;
        m_room.View().SetMainMic(holder, TimeText(m_mainCountdown));
    }
    ShowTimeBar(second);
    m_room.SetTimer(timer, kTickMs);
}

void CMicOrder::ShowFree(bool second) {
    const QString free = LoadString(IDS_MIC_FREE);
    const QString time = QString::number(0) + LoadString(IDS_SECONDS);
    if (second) {
        m_room.View().SetSecondMic(free, time);
    } else {
        m_room.View().SetMainMic(free, time);
    }
    ShowTimeBar(second);
}

void CMicOrder::ShowTimeBar(bool second) {
    const bool held = !(second ? SecondHolder() : MainHolder()).isEmpty();
    const int total = held ? (second ? m_secondTotal : m_mainTotal) : 0;
    const int left = second ? m_secondCountdown : m_mainCountdown;
    m_room.View().SetMicTimeBar(second ? 2 : 1, std::clamp(total - left, 0, total), total);
}

void CMicOrder::ShowMode() {
    m_room.View().SetMicMode(ModeName(m_mode, m_forced));
}

void CMicOrder::Speak(bool second, const QString& previous, const QString& now) {
    const QString own = m_room.OwnId();
    IVoiceSender* voice = m_room.VoiceSender();
    if (previous == own && now != own && voice) {
        voice->EndSpeaking();
    }
    if (now == own && !own.isEmpty() && previous != own) {
        NotifyUser(
            NOTICE_MIC_HANDED, LoadString(IDS_NOTICE_MIC_HANDED),
            FillPlaceholders(LoadString(IDS_NOTICE_MIC_HANDED_TEXT), {m_room.Settings().name}));
    }
    if (now == own && !own.isEmpty() && voice) {
        BeginSpeaking(*voice);
    }
}

void CMicOrder::BeginSpeaking(IVoiceSender& voice) {
    const int result = voice.BeginSpeaking();
    if (result == IVoiceSender::BEGIN_CAPTURE_FAILED) {
        m_room.Panes().SystemLine(LoadString(IDS_CAPTURE_FAILED));
    } else if (result == IVoiceSender::BEGIN_MIX_FAILED) {
        m_room.Panes().SystemLine(LoadString(IDS_MIX_FAILED));
    }
}

void CMicOrder::RedrawQueue() {
    std::vector<const UserInfo*> queue;
    queue.reserve(static_cast<size_t>(m_queue.size()));
    for (const QString& id : m_queue) {
        if (const UserInfo* m = m_room.Members().Find(id)) {
            queue.push_back(m);
        }
    }
    m_room.View().RedrawQueue(queue);
    // Next is the first waiting member behind the one speaking from the head of the queue.
    const QString own = m_room.OwnId();
    const int nextAt = !m_queue.isEmpty() && m_queue.first() == MainHolder() ? 1 : 0;
    const bool next = !own.isEmpty() && m_queue.value(nextAt) == own;
    if (next && !m_ownNext) {
        NotifyUser(
            NOTICE_QUEUE_NEXT, LoadString(IDS_NOTICE_QUEUE_NEXT),
            FillPlaceholders(LoadString(IDS_NOTICE_QUEUE_NEXT_TEXT), {m_room.Settings().name}));
    }
    m_ownNext = next;
}

void CMicOrder::OnMicTaken(CKParam& p) {
    const QString holder = p.TextOr(MicTakenKey::HOLDER);
    const bool second = p.ShortOr(MicTakenKey::WHICH, 1) == 2;
    const short fromQueue = p.ShortOr(MicTakenKey::FROM_QUEUE, 0);
    const QString previous = second ? SecondHolder() : MainHolder();
    SetHolder(second, holder);
    Speak(second, previous, holder);
    if (second) {
        if (holder.isEmpty()) {
            m_room.KillTimer(TIMER_SECOND);
            ShowFree(true);
        } else {
            StartCountdown(true);
        }
    } else if (m_mode != MIC_QUEUE) {
        if (holder.isEmpty()) {
            m_room.KillTimer(TIMER_MAIN);
            m_room.KillTimer(TIMER_SECOND);
            ShowFree(false);
        } else {
            StartCountdown(false);
        }
    } else {
        // The previous holder's turn is over: its entry at the head of the queue goes. The
        // holder announced again is the same turn going on, and keeps its place.
        if ((fromQueue != 0 || holder.isEmpty()) && !previous.isEmpty() && previous != holder) {
            m_queue.removeAll(previous);
        }
        if (!holder.isEmpty()) {
            // Only a waiting member moves to the head: one handed the microphone from outside
            // the queue does not join it.
            if (m_queue.removeAll(holder) > 0) {
                m_queue.prepend(holder);
            }
            StartCountdown(false);
        } else {
            m_room.KillTimer(TIMER_MAIN);
            m_room.KillTimer(TIMER_SECOND);
            ShowFree(false);
        }
        RedrawQueue();
    }
    m_room.Chat().RefreshTargets();
    m_room.Members().Redraw();
}

void CMicOrder::OnQueueJoined(CKParam& p) {
    if (m_mode != MIC_QUEUE) {
        return;
    }
    const QString id = p.TextOr(QueueJoinedKey::MEMBER);
    const short where = p.ShortOr(QueueJoinedKey::WHERE, 0);
    if (id.isEmpty()) {
        return;
    }
    if (where == 0) {
        if (!m_queue.contains(id)) {
            m_queue.append(id);
        }
    } else if (where == 1 || where == 2) {
        const bool second = where == 2;
        const QString previous = second ? SecondHolder() : MainHolder();
        SetHolder(second, id);
        Speak(second, previous, id);
        if (!second) {
            m_queue.removeAll(id);
            m_queue.prepend(id);
        }
        StartCountdown(second);
    }
    RedrawQueue();
    m_room.Members().Redraw();
}

void CMicOrder::FetchQueue() {
    if (!m_room.Host().MainConnection().IsRoomConnected()) {
        return;
    }
    CKParam p;
    p.SetShortInt(KEY_COMMAND, CMD_MIC_QUEUE);
    m_room.SendMain(p);
}

void CMicOrder::OnQueueReply(CKParam& p) {
    if (p.IntOr(KEY_RESULT, 0) != 0) {
        return;
    }
    const int n = p.IntOr(MicQueueReplyKey::COUNT, 0);
    m_queue.clear();
    for (int i = 0; i < n && MicQueueReplyKey::FIRST_MEMBER + i <= 32767; ++i) {
        const QString id = p.TextOr(static_cast<short>(MicQueueReplyKey::FIRST_MEMBER + i));
        if (m_room.Members().Find(id) && !m_queue.contains(id)) {
            m_queue.append(id);
        }
    }
    RedrawQueue();
    m_room.Members().Redraw();
}

void CMicOrder::OnMicTimeChanged(CKParam& p) {
    m_micTime = static_cast<short>(p.IntOr(MicTimeChangedKey::SECONDS, m_micTime));
    m_room.Panes().SystemLine(FillPlaceholders(
        LoadString(IDS_LINE_MIC_TIME),
        {m_room.Members().LineName(p.TextOr(MicTimeChangedKey::BY)), QString::number(m_micTime)}));
}

void CMicOrder::OnModeChanged(CKParam& p) {
    m_mode = p.IntOr(MicModeChangedKey::MODE, m_mode);
    m_forced = m_mode == MIC_QUEUE && p.IntOr(MicModeChangedKey::FORCED, 0) == 1;
    m_state.With([](tagMicState& s) { s.floorHolder.clear(); });
    m_room.Panes().SystemLine(FillPlaceholders(
        LoadString(IDS_LINE_MIC_MODE),
        {m_room.Members().LineName(p.TextOr(MicModeChangedKey::BY)), ModeName(m_mode, m_forced)}));
    ShowMode();
    // The queue is asked for by the refresh timer alone; leaving queue mode empties it here.
    if (m_mode != MIC_QUEUE) {
        m_queue.clear();
        RedrawQueue();
    }
}

void CMicOrder::OnQueueChanged(CKParam& p) {
    const QString id = p.TextOr(QueueChangedKey::MEMBER);
    const bool up = p.IntOr(QueueChangedKey::UP, 0) == 1;
    const CRoomMembers& members = m_room.Members();
    m_room.Panes().SystemLine(
        FillPlaceholders(LoadString(up ? IDS_LINE_QUEUE_UP : IDS_LINE_QUEUE_REMOVED),
                         {members.LineName(id), members.LineName(p.TextOr(QueueChangedKey::BY))}));
    if (!m_queue.contains(id)) {
        return;
    }
    m_queue.removeAll(id);
    if (up) {
        // Moved up to the first place after the member holding the main microphone.
        const QString main = MainHolder();
        const int at = !m_queue.isEmpty() && m_queue.first() == main ? 1 : 0;
        m_queue.insert(at, id);
    }
    RedrawQueue();
}

void CMicOrder::OnSecondMicControl(CKParam& p) {
    const bool allow = p.IntOr(SecondMicControlChangedKey::ALLOW, 0) != 0;
    const int which = p.IntOr(SecondMicControlChangedKey::WHICH, 0);
    m_state.With([&](tagMicState& s) { s.dualMic = allow; });
    const int micName = which == 1 ? IDS_MAIN_MIC : which == 2 ? IDS_SECOND_MIC : IDS_BOTH_MICS;
    m_room.Panes().SystemLine(QStringLiteral("%1 %2%3").arg(
        m_room.Members().LineName(p.TextOr(SecondMicControlChangedKey::BY)),
        LoadString(allow ? IDS_ALLOW : IDS_FORBID), LoadString(micName)));
}

void CMicOrder::OnHanded(CKParam& p, int lineId) {
    const CRoomMembers& members = m_room.Members();
    m_room.Panes().SystemLine(
        FillPlaceholders(LoadString(lineId), {members.LineName(p.TextOr(MicHandedKey::MEMBER)),
                                              members.LineName(p.TextOr(MicHandedKey::BY))}));
}

void CMicOrder::OnReleased(bool second) {
    const QString previous = second ? SecondHolder() : MainHolder();
    SetHolder(second, QString());
    Speak(second, previous, QString());
    if (second) {
        m_room.KillTimer(TIMER_SECOND);
        ShowFree(true);
    } else {
        if (m_mode == MIC_QUEUE && !previous.isEmpty()) {
            m_queue.removeAll(previous);
            RedrawQueue();
        }
        m_room.KillTimer(TIMER_MAIN);
        ShowFree(false);
    }
    m_room.Members().Redraw();
}

void CMicOrder::SetFloorHolder(const QString& id) {
    const QString own = m_room.OwnId();
    const tagMicState s = m_state.With([&](tagMicState& st) {
        st.floorHolder = id;
        return st;
    });
    IVoiceSender* voice = m_room.VoiceSender();
    if (!voice) {
        return;
    }
    // The handle decides who of the two holders is heard.
    const bool mayMain = s.mainHolder == own && (s.floorHolder.isEmpty() || s.floorHolder == own);
    const bool maySecond =
        s.secondHolder == own && (s.dualMic || s.floorHolder.isEmpty() || s.floorHolder == own);
    if (mayMain || maySecond) {
        BeginSpeaking(*voice);
    } else if (s.mainHolder == own || s.secondHolder == own) {
        voice->EndSpeaking();
    }
}

void CMicOrder::OnMemberLeft(const QString& id) {
    if (m_queue.removeAll(id) > 0) {
        RedrawQueue();
    }
}

bool CMicOrder::Checked(short code) {
    return m_room.Discipline().CheckPending(code);
}

int CMicOrder::Grab() {
    CRequestDiscipline& d = m_room.Discipline();
    if (!Checked(CMD_GRAB_MIC)) {
        return -1;
    }
    if (m_mode == MIC_OPERATOR) {
        m_room.Panes().SystemLine(LoadString(IDS_OPERATOR_MODE_NO_GRAB));
        return -1;
    }
    if (m_grabForbidden) {
        m_room.Panes().SystemLine(LoadString(IDS_GRAB_FORBIDDEN));
        return -1;
    }
    if (!d.CheckInterval(CMD_GRAB_MIC)) {
        return -1;
    }
    if (m_mode != MIC_GRAB && m_mode != MIC_QUEUE) {
        return -1;
    }
    return m_room.Discipline().SendAttempt(CMD_GRAB_MIC);
}

int CMicOrder::Release() {
    const QString own = m_room.OwnId();
    if (SecondHolder() == own && !own.isEmpty()) {
        return Checked(CMD_RELEASE_SECOND_MIC)
                   ? m_room.Discipline().SendAttempt(CMD_RELEASE_SECOND_MIC)
                   : -1;
    }
    const UserInfo* me = m_room.OwnRecord();
    if (me && me->onPrivateMic) {
        return m_room.PrivateMic().Release();
    }
    const bool holds = MainHolder() == own && !own.isEmpty();
    const bool allowed = m_mode == MIC_QUEUE ? holds || m_queue.contains(own) : holds;
    if (!allowed) {
        return -1;
    }
    return Checked(CMD_RELEASE_MIC) ? m_room.Discipline().SendAttempt(CMD_RELEASE_MIC) : -1;
}

int CMicOrder::HandMic(const QString& id) {
    return Hand(CMD_HAND_MIC, id);
}

int CMicOrder::HandSecondMic(const QString& id) {
    return Hand(CMD_HAND_SECOND_MIC, id);
}

// Either microphone goes to a present member who holds neither.
int CMicOrder::Hand(short code, const QString& id) {
    if (!Checked(code) || !m_room.Discipline().CheckInterval(code) ||
        !m_room.Members().RequirePresent(id)) {
        return -1;
    }
    if (MainHolder() == id) {
        m_room.Panes().SystemLine(LoadString(IDS_ON_MAIN_MIC));
        return -1;
    }
    if (SecondHolder() == id) {
        m_room.Panes().SystemLine(LoadString(IDS_ON_SECOND_MIC));
        return -1;
    }
    return m_room.Discipline().SendAttempt(
        code, [&](CKParam& p) { p.SetCString(HandMicKey::MEMBER, id); });
}

int CMicOrder::TakeBack(const QString& id) {
    if (!Checked(CMD_TAKE_BACK_MIC)) {
        return -1;
    }
    if (id.isEmpty() || (MainHolder() != id && SecondHolder() != id)) {
        m_room.Panes().SystemLine(LoadString(IDS_NOT_ON_MIC));
        return -1;
    }
    return m_room.Discipline().SendAttempt(
        CMD_TAKE_BACK_MIC, [&](CKParam& p) { p.SetCString(TakeBackMicKey::MEMBER, id); });
}

int CMicOrder::Extend(const QString& id) {
    if (!Checked(CMD_EXTEND_MIC) || !m_room.Members().RequirePresent(id)) {
        return -1;
    }
    return m_room.Discipline().SendAttempt(
        CMD_EXTEND_MIC, [&](CKParam& p) { p.SetCString(ExtendMicKey::MEMBER, id); });
}

int CMicOrder::MoveUp(const QString& id) {
    if (!Checked(CMD_QUEUE_CONTROL) || !m_room.Members().RequirePresent(id)) {
        return -1;
    }
    return m_room.Discipline().SendAttempt(CMD_QUEUE_CONTROL, [&](CKParam& p) {
        p.SetInt(QueueControlKey::UP, 1);
        p.SetCString(QueueControlKey::MEMBER, id);
    });
}

int CMicOrder::RemoveFromQueue(const QString& id) {
    if (!Checked(CMD_QUEUE_CONTROL) || !m_room.Members().RequirePresent(id)) {
        return -1;
    }
    return m_room.Discipline().SendAttempt(CMD_QUEUE_CONTROL, [&](CKParam& p) {
        p.SetInt(QueueControlKey::UP, 0);
        p.SetCString(QueueControlKey::MEMBER, id);
    });
}

int CMicOrder::SetSecondMicAllowed(bool allow) {
    if (!Checked(CMD_SECOND_MIC_CONTROL)) {
        return -1;
    }
    if (DualMic() == allow) {
        m_room.Panes().SystemLine(LoadString(IDS_ALREADY) +
                                  LoadString(allow ? IDS_ALLOW : IDS_FORBID) +
                                  LoadString(IDS_SECOND_MIC));
        return -1;
    }
    return m_room.Discipline().SendAttempt(CMD_SECOND_MIC_CONTROL, [&](CKParam& p) {
        p.SetInt(SecondMicControlKey::ALLOW, allow ? 1 : 0);
        p.SetInt(SecondMicControlKey::WHICH, 2);
    });
}

int CMicOrder::SetMode(int mode, bool forced) {
    if (!Checked(CMD_MIC_MODE)) {
        return -1;
    }
    forced = forced && mode == MIC_QUEUE;
    if (mode == m_mode && forced == m_forced) {
        m_room.Panes().SystemLine(LoadString(IDS_ALREADY) + ModeName(mode, forced));
        return -1;
    }
    return m_room.Discipline().SendAttempt(CMD_MIC_MODE, [&](CKParam& p) {
        p.SetInt(MicModeKey::MODE, mode);
        if (forced) {
            p.SetInt(MicModeKey::FORCED, 1);
        }
    });
}

int CMicOrder::ChangeMicTime() {
    if (!Checked(CMD_MIC_TIME)) {
        return -1;
    }
    CModifyMicTimeDlg dialog(m_micTime);
    if (dialog.DoModal() != IDOK || !m_room.IsWindow()) {
        return -1;
    }
    return SendMicTime(dialog.Seconds());
}

int CMicOrder::SendMicTime(int seconds) {
    if (!Checked(CMD_MIC_TIME)) {
        return -1;
    }
    return m_room.Discipline().SendAttempt(
        CMD_MIC_TIME, [&](CKParam& p) { p.SetInt(MicTimeKey::SECONDS, seconds); });
}
