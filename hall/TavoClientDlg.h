#pragma once
// The hall window's logic, for the whole run: it learns where the hall server is, keeps the
// client present there (as a visitor, later as the logged-in user), loads the room directory,
// offers login, user information, favourites and creating one's own room, and hands entering
// a room to the room side. Start-up runs it modally until the user quits or the server says so.
// Its account side (TavoClientDlgAccount.cpp) and its replies (TavoClientDlgReplies.cpp) have
// files of their own.

#include "core/RoomGateway.h"
#include "hall/HallLists.h"
#include "hall/HallRequests.h"
#include "hall/KWinSocketLogin.h"
#include "hall/ReplySink.h"
#include "hall/TempDlg.h"
#include "platform/DialogHost.h"
#include "protocol/DispatchTable.h"

#include <QString>

#include <cstdint>
#include <map>
#include <memory>

class CAppState;
class CResponse2Dlg;
class IHallView;

class CTavoClientDlg : public CDialogModel, public IHallReplySink, public IHallServices {
public:
    enum : int { IDD = 102 };
    enum : unsigned {
        TIMER_QUIT = 18,
        TIMER_VISITOR = 20,
        TIMER_PRESENCE_CHECK = 23,
        TIMER_VERIFY = 30,
        TIMER_OWN_ROOMS = 87,  // the short wait between a login and the own-rooms request
        TIMER_PRESENCE = 99,
    };
    static constexpr unsigned kVisitorMs = 5000;
    static constexpr unsigned kPresenceMs = 15000;
    static constexpr unsigned kPresenceCheckMs = 30000;
    static constexpr int kPresenceLostSeconds = 60;
    static constexpr unsigned kVerifyMs = 30000;
    static constexpr unsigned kQuitMs = 3000;
    static constexpr unsigned kQuitExitingMs = 500;
    static constexpr unsigned kOwnRoomsDelayMs = 100;
    // The kind of a directory list that fills the room list (kinds 1 to 4 fill area lists).
    static constexpr int kRoomListKind = 99;

    CTavoClientDlg(CAppState& state, IHallView& view, IRoomEntry* room);
    ~CTavoClientDlg() override;

    // What the user does in the hall.
    void OnLogin();
    // Logs out and stays a visitor: only while logged in and outside every room.
    void OnLogout();
    bool CanLogout() const;
    void OnUserInfo();
    void OnEntryInfo(int first, int second);
    void OnAddFavorite(int room);
    void OnCreateRoom();
    void OnSelectRoom(int index);
    // Loads the room list of an area list's entry.
    void OnSelectArea(int list, int index);
    // Enters the room typed in the room-number box.
    void OnEnterTypedRoom();
    // Enters a room (from a list, a typed number, the command line or a created room).
    void EnterRoom(int room);
    // Loads a directory page of a kind (1 to 4: area lists, 99: the room list).
    void LoadDirectory(const QString& address, int kind);
    // Quitting: asks, tells the server, and ends once the request is on its way.
    void Quit();

    // Enter does nothing in the hall; closing the window is quitting.
    void OnOK() override {}
    void OnCancel() override { Quit(); }

    // Every reply and notice of the hall server that reaches the hall window goes through its
    // dispatch table.
    void OnHallReply(CKParam& reply) override;
    const CDispatchTable& Replies() const { return m_replies; }

    // IHallServices: what the room side asks of the hall.
    void RequestRoomAddress(int room) override;
    void SetHallStatus(const QString& text) override;
    void ShowHall(bool show) override;
    void StartVerifyTimer(bool start) override;
    void OpenLogin() override;
    void PostToHall(unsigned msg, unsigned wParam, long lParam) override;

protected:
    void OnInitDialog() override;
    void OnTimer(unsigned id) override;
    intptr_t OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;

private:
    // Runs one exchange of the request dialog, lending it the second route where the exchange
    // takes it; the dialog keeps the reply or the refusal text.
    int RunExchange(CResponse2Dlg& exchange, short command, const CKParam& request);
    bool Start();
    bool FetchServerInformation();
    bool CheckVersion();
    void LoadAreaDocuments();
    void OnDirectoryPage(int kind, const QString& text);
    bool RequireLogin();
    // Opens the login on the hall's own initiative (start, visitor presence): never while the
    // dialog is already up, while logged in or inside a room.
    void OfferLogin();
    void RequestOwnRooms();
    void ResetAccountValues();
    void AfterLogin(const QString& loginName, const QString& password);

    // Registers the replies in m_replies, next to their handlers (TavoClientDlgReplies.cpp).
    void RegisterReplies();
    void OnVisitorReply(CKParam& reply);
    void OnLogoutReply(CKParam& reply);
    void OnRoomListReply(CKParam& reply);
    void OnFavoriteReply(CKParam& reply);
    void OnLoggedElsewhere(CKParam& reply);
    void OnRoomAddressPush(CKParam& reply);
    // Closes the quit request's connection, stops the lists' loads and ends the run; once.
    void EndQuit();

    CAppState& m_state;
    IHallView& m_view;
    IRoomEntry* m_room;
    CHallLists m_lists;
    CHallRequests m_requests;
    CKWinSocketLogin m_route;
    CDispatchTable m_replies;
    std::map<int, std::unique_ptr<CTempDlg>> m_directories;
    int64_t m_lastPresenceReply;
    int64_t m_lastLoginTime = 0;
    bool m_loginOpen = false;  // the login dialog is up
    // The logout under way was asked for by the login command, which continues with the login.
    bool m_loginAfterLogout = true;
    bool m_quitting = false;
};
