#pragma once
// What the room's widgets implement. The room controller owns every piece of room state and
// tells these views what to draw; the views report user actions back through the
// controller's own operations. A view that does not draw something leaves the operation as it
// is: every operation has an empty default, so the console client can implement only what it
// prints.

#include <QString>
#include <QStringList>

#include <vector>

class CMemberList;
struct UserInfo;

// One chat page ("pub.htm", "big_pub.htm" or "pri.htm") shown in an HTML view.
class IChatView {
public:
    virtual ~IChatView() = default;
    // Shows the page of that name from the program's folder, replacing what was shown.
    virtual void LoadPage(const QString& page) {}
    // Inserts a fragment at the end of the page's first TD element. False when the page has
    // none; the fragment is then dropped.
    virtual bool InsertAtFirstTd(const QString& fragment) { return false; }
    virtual void ScrollTo(int x, int y) {}
    // Empties the page's first TD.
    virtual void Clear() {}
};

// The rest of the room window: member list, microphone panel, topic and notices.
class IRoomView {
public:
    virtual ~IRoomView() = default;
    virtual void ShowRoomWindow(bool show) {}
    virtual void SetRoomName(const QString& name) {}
    // Redraw the member list; the count text is the number followed by "人".
    virtual void RedrawMembers(const CMemberList& members, const QString& countText) {}
    // The chat-target choice: everybody first, then the members; current is the chosen
    // member's identifier, empty for everybody.
    virtual void RefreshChatTargets(const CMemberList& members, const QString& current) {}
    // The label above the input box ("你对 所有人 说:").
    virtual void SetChatTargetLabel(const QString& text) {}
    virtual void SetMicMode(const QString& text) {}
    virtual void SetMainMic(const QString& holder, const QString& time) {}
    virtual void SetSecondMic(const QString& holder, const QString& time) {}
    // The microphone queue, first in line first.
    virtual void RedrawQueue(const std::vector<const UserInfo*>& queue) {}
    virtual void SetTopic(const QString& title, const QString& topic) {}
    // The timed notices shown right now, oldest first.
    virtual void SetTimedNotices(const QStringList& notices) {}
    // A text notice of the room.
    virtual void ShowTextNotice(const QString& text) {}
    virtual void AddSideListEntry(const QString& entry) {}
    // The private-chat panel beside the public view ("分屏") or hidden ("合屏").
    virtual void ShowPrivatePanel(bool visible) {}
    // The window of a private microphone the user visits or holds.
    virtual void ClosePrivateMicWindow() {}
    // The level bars of the main (mic 1) and the second microphone (mic 2), 0 to 100.
    virtual void SetMicMeter(int mic, int value) {}
    // The speak button: pressed while the user's voice is being sent.
    virtual void SetSpeakButton(bool pressed) {}
    // The microphone volume slider.
    virtual void ShowMicVolume(int volume) {}
};
