#include "room/RoomDlg.h"

#include "core/AppState.h"
#include "core/WindowMessages.h"
#include "platform/Prompt.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "room/ChatText.h"
#include "room/Gifts.h"
#include "room/MicGuards.h"
#include "room/MicOrder.h"
#include "room/NoticeBoard.h"
#include "room/PrivateInvite.h"
#include "room/PrivateMic.h"
#include "room/ResponseDlg.h"
#include "room/RoomAdministration.h"
#include "room/RoomMembers.h"
#include "room/RoomScoring.h"
#include "room/RoomStrings.h"
#include "room/RoomView.h"
#include "room/VoiceSender.h"

namespace {
// Draws nothing: the room without widgets (a test, the console before it sets its views).
IRoomView& NoRoomView() {
    static CNullRoomView view;
    return view;
}
}  // namespace

CRoomDlg::CRoomDlg(IRoomHost& host)
    : m_host(host),
      m_discipline(*this, m_panes, [this](CKParam& p) { return SendMain(p); }),
      m_members(std::make_unique<CRoomMembers>(*this)),
      m_mic(std::make_unique<CMicOrder>(*this)),
      m_privateMic(std::make_unique<CPrivateMic>(*this)),
      m_chat(std::make_unique<CChatText>(*this)),
      m_notices(std::make_unique<CNoticeBoard>(*this, WM_NOTICES_CHANGED)),
      m_admin(std::make_unique<CRoomAdministration>(*this)),
      m_scoring(std::make_unique<CRoomScoring>(*this)),
      m_guards(std::make_unique<CMicGuards>(*this)),
      m_gifts(std::make_unique<CGifts>(*this)),
      m_invite(std::make_unique<CPrivateInvite>(*this)) {
    m_features = {m_members.get(), m_mic.get(),   m_privateMic.get(), m_chat.get(),
                  m_notices.get(), m_admin.get(), m_scoring.get(),    m_guards.get(),
                  m_gifts.get(),   m_invite.get()};
    RegisterCore();
    for (IRoomFeature* f : m_features) {
        f->Register(m_table);
    }
}

CRoomDlg::~CRoomDlg() {
    // The worker must be gone before the window it posts to.
    m_notices->OnRoomClosing(false);
    DestroyMessageWindow();
}

void CRoomDlg::RegisterCore() {
    // The entry's requests and the replies the waiting dialog or the entry consume.
    for (short code : {CMD_ENTER, CMD_ROOM_LOGIN, CMD_ROOM_SETTINGS, CMD_ATTACH}) {
        m_table.Sends(code);
    }
    for (short code : {CMD_ENTER_REPLY, CMD_ROOM_LOGIN_REPLY, CMD_USER_VERIFIED,
                       CMD_ROOM_SETTINGS_REPLY, CMD_ATTACH_REPLY}) {
        m_table.Elsewhere(code);
    }
    m_table.On(CMD_FORCED_EXIT, [this](CKParam&) {
        m_host.MainConnection().SetCloseReason(LoadString(IDS_CHARGE_EXIT));
    });
    // The generic reply of every operation of the reply table.
    for (const tagCommandInfo& c : kCommandTable) {
        if (c.Has(CF_GENERIC)) {
            m_table.OnReply(c.reply,
                            [this, code = c.code](CKParam& p) { m_discipline.OnReply(code, p); });
        }
    }
}

void CRoomDlg::SetViews(IRoomView* room, IChatView* publicView, IChatView* privateView) {
    for (IRoomFeature* f : m_features) {
        f->OnViewsChanging();
    }
    m_roomView = room;
    m_panes.SetViews(publicView, privateView);
}

IRoomView& CRoomDlg::View() {
    return m_roomView ? *m_roomView : NoRoomView();
}

void CRoomDlg::AddFeature(std::unique_ptr<IRoomFeature> feature) {
    feature->Register(m_table);
    m_features.push_back(feature.get());
    m_added.push_back(std::move(feature));
}

int CRoomDlg::Edition() const {
    return CAppState::Get().edition;
}

int CRoomDlg::SendMain(CKParam& packet) {
    CChatSocket& main = m_host.MainConnection();
    if (!main.IsConnect()) {
        return -1;
    }
    return main.SendPacket(packet);
}

const UserInfo* CRoomDlg::OwnRecord() const {
    return m_members->Find(m_ownId);
}

int CRoomDlg::OwnRank() const {
    const UserInfo* own = OwnRecord();
    return own ? own->rank : RANK_VISITOR;
}

void CRoomDlg::Open(const tagEntryData& entry) {
    if (IsWindow()) {
        Teardown(false);
        DestroyMessageWindow();
    }
    CreateMessageWindow(QStringLiteral("Room"));
    m_entry = entry;
    m_settings = tagRoomSettings();
    m_ownId = CAppState::Get().account.Name();
    m_closing = false;
    const auto& switches = CAppState::Get().settings.switches;
    const auto stamp = switches.find(QStringLiteral("ENABLE_STAMP_SEAL"));
    m_options.stampsEnabled = stamp != switches.end() && stamp->second.toInt() != 0;
    if (m_options.programFolder.isEmpty()) {
        m_options.programFolder = CAppState::Get().programFolder;
    }
    m_options.LoadPictureConfig();
    m_panes.SetFonts(m_options.fonts);
    m_panes.LoadPages();
    m_notices->SetDuration(m_options.noticeSeconds);
    m_discipline.Reset();
    for (IRoomFeature* f : m_features) {
        f->OnRoomOpened();
    }
}

void CRoomDlg::Show() {
    if (!IsWindow()) {
        return;
    }
    m_shown = true;
    View().ShowRoomWindow(true);
    // The end of the window's initial layout: fetch what the room looks like.
    PostMessage(WM_FETCH_ROOM);
}

void CRoomDlg::FetchRoom() {
    CChatSocket& main = m_host.MainConnection();
    {
        CResponseDlg members(&main, CMD_MEMBER_LIST);
        const int result = members.DoModal();
        if (!IsWindow()) {
            return;
        }
        if (result != IDOK) {
            MessageBox(CResponseDlg::TitleFor(CMD_MEMBER_LIST) + LoadString(IDS_FAILURE_SUFFIX) +
                       members.ErrorText());
            Close(IDCANCEL);
            return;
        }
        m_members->LoadMemberList(members.Reply());
    }
    CResponseDlg settings(&main, CMD_ROOM_SETTINGS);
    const int result = settings.DoModal();
    if (!IsWindow()) {
        return;
    }
    if (result != IDOK) {
        MessageBox(CResponseDlg::TitleFor(CMD_ROOM_SETTINGS) + LoadString(IDS_FAILURE_SUFFIX) +
                   settings.ErrorText());
        Close(IDCANCEL);
        return;
    }
    ApplySettings(tagRoomSettings::FromReply(settings.Reply()));
    ShowWelcome();
}

void CRoomDlg::ApplySettings(const tagRoomSettings& s) {
    m_settings = s;
    View().SetRoomName(s.name);
    View().SetTopic(LoadString(IDS_TOPIC_TITLE), HtmlEscape(s.topic));
    for (IRoomFeature* f : m_features) {
        f->OnSettings(m_settings);
    }
}

void CRoomDlg::ShowWelcome() {
    if (m_entry.entryText.isEmpty()) {
        return;
    }
    const UserInfo* own = OwnRecord();
    QString text = m_chat->SanitizeFragment(m_entry.entryText);
    text.replace(QStringLiteral("$某某人$"), HtmlEscape(own ? own->nickname : m_ownId));
    text.replace(QStringLiteral("$某某房间$"), HtmlEscape(m_settings.name));
    m_panes.SystemLine(text, SUFFIX_NONE, true, LoadString(IDS_ENTRY_MESSAGE_TITLE));
}

void CRoomDlg::OnConnectionLost() {
    for (IRoomFeature* f : m_features) {
        f->OnConnectionLost();
    }
}

void CRoomDlg::Teardown(bool keepSharedCapture) {
    if (m_voice) {
        m_voice->Teardown(keepSharedCapture);
    }
    for (IRoomFeature* f : m_features) {
        f->OnRoomClosing(keepSharedCapture);
    }
    m_discipline.Reset();
}

void CRoomDlg::Close(int result) {
    if (!IsWindow() || m_closing) {
        return;
    }
    m_closing = true;
    // A fetch still waiting on the main connection belongs to this stay.
    if (CResponseDlg* waiting = m_host.MainConnection().WaitingDialog();
        waiting && waiting->IsOpen()) {
        waiting->EndDialog(IDCANCEL);
    }
    const int next = m_host.NextRoom();
    const bool toPrivateRoom = result == IDOK && next == 0;
    Teardown(toPrivateRoom);
    m_shown = false;
    View().ShowRoomWindow(false);
    DestroyMessageWindow();
    m_closing = false;
    if (result != IDOK) {
        m_host.PostToHall(WM_HALL_ROOM, 0, 0);
    } else if (next != 0) {
        m_host.PostToHall(WM_HALL_ROOM, 1, next);
    } else {
        m_host.PostToHall(WM_HALL_ROOM, 2, m_privatePeer);
    }
}

void CRoomDlg::DispatchPacket(CKParam& packet) {
    m_table.Dispatch(packet);
}

void CRoomDlg::OnTimer(unsigned id) {
    if (m_discipline.OnTimer(id)) {
        return;
    }
    for (IRoomFeature* f : m_features) {
        if (f->OnTimer(id)) {
            return;
        }
    }
}

intptr_t CRoomDlg::OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) {
    switch (msg) {
        case WM_FETCH_ROOM:
            FetchRoom();
            break;
        case WM_NOTICES_CHANGED:
            View().SetTimedNotices(m_notices->Notices());
            break;
        default:
            for (IRoomFeature* f : m_features) {
                if (f->OnMessage(msg, wParam, lParam)) {
                    break;
                }
            }
            break;
    }
    return 0;
}

void CRoomDlg::OnCopyData(unsigned tag, const QByteArray& data) {
    for (IRoomFeature* f : m_features) {
        if (f->OnCopyData(tag, data)) {
            return;
        }
    }
}
