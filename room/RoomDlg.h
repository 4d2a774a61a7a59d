#pragma once
// The room's controller. One object for the whole run; its window exists for each stay in a
// room. It owns the room's state and dispatches every packet of both room connections to the
// handler of the feature that owns the command. The widgets draw what it tells the view
// interfaces and call its operations for what the user does.

#include "platform/MessageWindow.h"
#include "protocol/DispatchTable.h"
#include "room/ChatPanes.h"
#include "room/ChatSocket.h"
#include "room/RequestDiscipline.h"
#include "room/RoomFeature.h"
#include "room/RoomOptions.h"
#include "room/RoomSettings.h"

#include <QString>

#include <memory>
#include <vector>

class CChatText;
class CGifts;
class CMicGuards;
class CMicOrder;
class CNoticeBoard;
class CPrivateInvite;
class CPrivateMic;
class CRoomAdministration;
class CRoomMembers;
class CRoomScoring;
class CRoomVideo;
class IChatView;
class IRoomView;
class IVoiceSender;
struct UserInfo;

// What the room asks of its owner (the entry, standing for the hall window).
class IRoomHost {
public:
    virtual ~IRoomHost() = default;
    virtual CChatSocket& MainConnection() = 0;
    virtual CChatSocket& SecondConnection() = 0;
    // Non-zero while the client leaves this room to enter that one.
    virtual int NextRoom() const = 0;
    // A message to the hall (WM_HALL_ROOM).
    virtual void PostToHall(unsigned msg, unsigned wParam, long lParam) = 0;
};

// What the room keeps from the entry.
struct tagEntryData {
    int room = 0;
    int keyA = 0;        // key 30 of the entry reply; back as key 20 of request 650
    int keyB = 0;        // key 40; back as key 40 of request 650
    int secondPort = 0;  // key 50
    QString entryText;   // key 60
    QString text70;
    int number90 = 0;
    QString host;           // the room server
    int64_t entryTime = 0;  // seconds since 1970 (editions 50 and 70)
};

class CRoomDlg : public CMessageWindow, public IRoomPacketSink {
public:
    explicit CRoomDlg(IRoomHost& host);
    ~CRoomDlg() override;

    // Views of the widgets; none set means nothing is drawn.
    void SetViews(IRoomView* room, IChatView* publicView, IChatView* privateView);
    void SetVoiceSender(IVoiceSender* sender) { m_voice = sender; }
    IVoiceSender* VoiceSender() const { return m_voice; }
    // The video feature, once installed.
    void SetVideo(CRoomVideo* video) { m_video = video; }
    CRoomVideo* Video() const { return m_video; }
    // Features the program adds beside the built-in ones (the room's voice and video) join here.
    void AddFeature(std::unique_ptr<IRoomFeature> feature);

    // The stay: the window is created for the entry data, shown once the second connection is
    // attached, and closed with OK (leaving for another room or the private room) or Cancel.
    void Open(const tagEntryData& entry);
    void Show();
    void Close(int result);
    // Whether the user can see the window: shown by the entry, hidden or shown again by the
    // user. An invitation to a window nobody sees is refused unasked.
    bool IsShown() const { return IsWindow() && m_shown; }
    void SetShown(bool shown) { m_shown = shown; }
    bool IsWindowOpen() const override { return IsWindow(); }

    // The dispatcher.
    void DispatchPacket(CKParam& packet) override;
    const CDispatchTable& Dispatch() const { return m_table; }

    // What the features share.
    IRoomHost& Host() { return m_host; }
    CChatPanes& Panes() { return m_panes; }
    CRequestDiscipline& Discipline() { return m_discipline; }
    IRoomView& View();
    tagRoomOptions& Options() { return m_options; }
    const tagRoomSettings& Settings() const { return m_settings; }
    tagRoomSettings& MutableSettings() { return m_settings; }
    const tagEntryData& Entry() const { return m_entry; }
    int Edition() const;
    int SendMain(CKParam& packet);

    // The user in this room.
    QString OwnId() const { return m_ownId; }
    const UserInfo* OwnRecord() const;
    int OwnRank() const;

    CRoomMembers& Members() { return *m_members; }
    CMicOrder& Mic() { return *m_mic; }
    CPrivateMic& PrivateMic() { return *m_privateMic; }
    CChatText& Chat() { return *m_chat; }
    CGifts& Gifts() { return *m_gifts; }
    CPrivateInvite& Invite() { return *m_invite; }
    CNoticeBoard& Notices() { return *m_notices; }
    CRoomAdministration& Admin() { return *m_admin; }
    CRoomScoring& Scoring() { return *m_scoring; }
    CMicGuards& Guards() { return *m_guards; }

    // The welcome texts: the entry message with its placeholders filled.
    void ShowWelcome();
    // The connection dropped: reset what shows a live room.
    void OnConnectionLost();
    // Fetches the member list and the room settings (WM_FETCH_ROOM).
    void FetchRoom();
    // The peer of the private chat the room is left for (set by the private-chat feature).
    void SetPrivatePeer(int peer) { m_privatePeer = peer; }
    void SetEntryTime(int64_t seconds) { m_entry.entryTime = seconds; }

protected:
    void OnTimer(unsigned id) override;
    intptr_t OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;
    void OnCopyData(unsigned tag, const QByteArray& data) override;

private:
    void RegisterCore();
    void ApplySettings(const tagRoomSettings& settings);
    void Teardown(bool keepSharedCapture);

    IRoomHost& m_host;
    IRoomView* m_roomView = nullptr;
    IVoiceSender* m_voice = nullptr;
    CRoomVideo* m_video = nullptr;
    CChatPanes m_panes;
    CDispatchTable m_table;
    CRequestDiscipline m_discipline;
    tagRoomOptions m_options;
    tagRoomSettings m_settings;
    tagEntryData m_entry;
    QString m_ownId;
    bool m_closing = false;
    bool m_shown = false;
    int m_privatePeer = 0;

    std::unique_ptr<CRoomMembers> m_members;
    std::unique_ptr<CMicOrder> m_mic;
    std::unique_ptr<CPrivateMic> m_privateMic;
    std::unique_ptr<CChatText> m_chat;
    std::unique_ptr<CNoticeBoard> m_notices;
    std::unique_ptr<CRoomAdministration> m_admin;
    std::unique_ptr<CRoomScoring> m_scoring;
    std::unique_ptr<CMicGuards> m_guards;
    std::unique_ptr<CGifts> m_gifts;
    std::unique_ptr<CPrivateInvite> m_invite;
    std::vector<IRoomFeature*> m_features;  // the built-in ones above and those added
    std::vector<std::unique_ptr<IRoomFeature>> m_added;
};
