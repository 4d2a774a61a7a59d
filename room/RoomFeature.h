#pragma once
// A feature of the room (members, microphone order, chat text, the notices, the room's voice):
// it registers the commands it owns in the room's dispatch table and follows the room's stay.

#include <QByteArray>

#include <cstdint>

class CDispatchTable;
struct tagRoomSettings;

class IRoomFeature {
public:
    virtual ~IRoomFeature() = default;
    // Called once, when the feature joins the room controller.
    virtual void Register(CDispatchTable& table) = 0;
    // A new stay in a room begins: forget the last one.
    virtual void OnRoomOpened() {}
    // The room settings arrived (entry) and were stored.
    virtual void OnSettings(const tagRoomSettings& settings) {}
    // The stay ends; keepSharedCapture when leaving for the private room.
    virtual void OnRoomClosing(bool keepSharedCapture) {}
    // A timer of the room window; true when the feature owns the id.
    virtual bool OnTimer(unsigned id) { return false; }
    // The connection dropped while inside.
    virtual void OnConnectionLost() {}
    // A message posted to the room window that the room itself does not handle; true when
    // the feature owns it.
    virtual bool OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) { return false; }
    // The room's views are about to be replaced: let go of what the old ones lent (video
    // surfaces) while they still exist.
    virtual void OnViewsChanging() {}
    // A copy-data message to the room window; true when the feature owns the tag.
    virtual bool OnCopyData(unsigned tag, const QByteArray& data) { return false; }
};
