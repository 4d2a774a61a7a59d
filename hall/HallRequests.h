#pragma once
// The requests the hall window sends to the hall server, each with its identity fields. Those
// sent directly go out on a center connection of their own per kind of request, and their
// replies come back to the hall window's reply handler; the others are built here and run
// through the request dialog.

#include "hall/CenterSocket.h"
#include "protocol/KParam.h"

#include <functional>
#include <map>
#include <memory>

class CAppState;
class CDispatchTable;

class CHallRequests {
public:
    explicit CHallRequests(CAppState& state) : m_state(state) {}

    // Declares the requests sent directly in the hall's dispatch table.
    static void Register(CDispatchTable& table);

    // Sent directly.
    int SendVisitor();              // 37
    int SendPresence();             // 72
    int SendRoomList();             // 82
    int SendAddFavorite(int room);  // 92
    int SendLoggedElsewhereAck();   // 771
    int SendLogout();               // 52
    // 57; gone() is called once the request is on its way or its connection failed.
    int SendQuit(std::function<void()> gone);
    int SendRoomAddress(int room);  // 32
    // Closes the connection the quit request went out on.
    void CloseQuit();

    // Built for the request dialog.
    void BuildServerInfo(CKParam& request) const;                        // 3100
    void BuildVersion(CKParam& request) const;                           // 3
    void BuildUserInfo(CKParam& request) const;                          // 62
    void BuildEntryInfo(CKParam& request, int first, int second) const;  // 77
    void BuildOwnRooms(CKParam& request) const;                          // 87
    void BuildRoomFormats(CKParam& request) const;                       // 870
    // 642 without the create-room dialog's choices (keys 40 to 80), which the caller appends
    // before the identity fields with FinishCreateRoom.
    void BeginCreateRoom(CKParam& request) const;
    void FinishCreateRoom(CKParam& request) const;

private:
    void BeginAccount(CKParam& request, short command) const;
    CCenterSocket& Socket(short command);
    int Send(short command, CKParam& request);

    CAppState& m_state;
    std::map<short, std::unique_ptr<CCenterSocket>> m_sockets;
};
