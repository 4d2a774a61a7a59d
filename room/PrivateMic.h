#pragma once
// The private microphones and the microphone handle: taking, visiting, releasing a private
// microphone and sending a member off one, handing the handle, and the announcements of each.
// Who of the two public holders is heard once the handle moves is the microphone order's to
// decide; this feature tells it where the handle went.

#include "room/RoomFeature.h"

#include <QString>

#include <functional>

class CKParam;
class CRoomDlg;

class CPrivateMic : public IRoomFeature {
public:
    explicit CPrivateMic(CRoomDlg& room);

    void Register(CDispatchTable& table) override;

    // Requests. Each returns 0 when the request went out, -1 when a check refused it.
    // confirm: the confirmation the user chose in the microphone menu.
    int Take(bool confirm);
    int Visit(const QString& id);
    int Release();
    int SendOff(const QString& id);
    int HandHandle(const QString& id);

    // Announcements.
    void OnChanged(CKParam& packet);
    void OnNotice(CKParam& packet);
    void OnHandleHanded(CKParam& packet);

private:
    // A request about a member who must be in the room; once it is on its way, the line lineId
    // names the member.
    int SendAbout(short code, const QString& id, int lineId,
                  const std::function<void(CKParam&)>& keys);

    CRoomDlg& m_room;
};
