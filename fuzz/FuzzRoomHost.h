#pragma once
// The room's host for a fuzzer: two connections that are never connected, so whatever the
// room sends goes nowhere, and a hall that hears nothing.

#include "room/ChatSocket.h"
#include "room/RoomDlg.h"

class CFuzzRoomHost : public IRoomHost {
public:
    CChatSocket& MainConnection() override { return m_main; }
    CChatSocket& SecondConnection() override { return m_second; }
    int NextRoom() const override { return 0; }
    void PostToHall(unsigned, unsigned, long) override {}

private:
    CChatSocket m_main{CChatSocket::ROLE_MAIN};
    CChatSocket m_second{CChatSocket::ROLE_SECOND};
};
