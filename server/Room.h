#pragma once
// A room while members are inside: its settings from the database, its members in order of
// arrival and its microphone state. A room exists only while someone is in it.

#include "platform/MessageWindow.h"
#include "server/RoomMember.h"
#include "server/Store.h"

#include <QString>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class CKParam;

struct tagMicState {
    QString main;               // holder of the main microphone
    QString second;             // holder of the second microphone
    QString floor;              // holder of the microphone handle
    std::deque<QString> queue;  // waiting for the main microphone, first in line first
    int64_t mainDueMs = 0;      // uptime when the main holder's turn ends; 0: no end
    int64_t secondDueMs = 0;
    bool secondAllowed = true;
};

class CRoom : public CMessageWindow {
public:
    using TimerHook = std::function<void(CRoom&, unsigned)>;

    CRoom(const tagRoomRecord& record, TimerHook onTimer);
    ~CRoom() override;

    int Number() const { return m_record.number; }
    tagRoomRecord& Record() { return m_record; }
    const tagRoomRecord& Record() const { return m_record; }
    tagMicState& Mic() { return m_mic; }
    // Video in the room, allowed unless a manager forbade it (315).
    bool VideoAllowed() const { return m_videoAllowed; }
    void SetVideoAllowed(bool allowed) { m_videoAllowed = allowed; }

    int Count() const { return static_cast<int>(m_members.size()); }
    CRoomMember* Find(const QString& id) const;
    CRoomMember& Add(std::unique_ptr<CRoomMember> member);
    // Takes the member out; the caller keeps it alive for what it still has to say.
    std::unique_ptr<CRoomMember> Remove(const QString& id);
    const std::vector<std::unique_ptr<CRoomMember>>& Members() const { return m_members; }

    // Sends to every member's main connection but one (nullptr: everybody).
    void Broadcast(const CKParam& packet, const CRoomMember* except = nullptr) const;
    // Sends voice or video to every other member's second connection; a receiver that is far
    // behind loses the packet.
    void BroadcastMedia(const CKParam& packet, const CRoomMember* except) const;

protected:
    void OnTimer(unsigned id) override;

private:
    static QString Key(const QString& id) { return id.toLower(); }

    tagRoomRecord m_record;
    TimerHook m_onTimer;
    tagMicState m_mic;
    bool m_videoAllowed = true;
    std::vector<std::unique_ptr<CRoomMember>> m_members;
    std::map<QString, CRoomMember*> m_index;
};
