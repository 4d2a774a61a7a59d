#pragma once
// What the room's widgets implement. The room controller owns every piece of room state and
// tells these views what to draw; the views report user actions back through the
// controller's own operations. Every operation is pure, so a window cannot miss one by
// accident; a view that draws only part of the room (the console client, tests) derives from
// the null views below, which draw nothing.

#include <QString>
#include <QStringList>

#include <vector>

class CMemberList;
class IVideoSurface;
struct UserInfo;

// The room's video windows: the private viewer, the two public pictures and the own preview.
enum EVideoWindow : int { VIDEO_PRIVATE = 0, VIDEO_1 = 1, VIDEO_2 = 2, VIDEO_OWN = 3 };

// What a public picture control shows while no video is drawn on it.
enum class EVideoPicture { Open, Closed, Idle };

// One chat page ("pub.htm", "big_pub.htm" or "pri.htm") shown in an HTML view.
class IChatView {
public:
    virtual ~IChatView() = default;
    // Shows the page of that name from the program's folder, replacing what was shown.
    virtual void LoadPage(const QString& page) = 0;
    // Inserts a fragment at the end of the page's first TD element. False when the page has
    // none; the fragment is then dropped.
    virtual bool InsertAtFirstTd(const QString& fragment) = 0;
    virtual void ScrollTo(int x, int y) = 0;
    // Empties the page's first TD.
    virtual void Clear() = 0;
};

// The rest of the room window: member list, microphone panel, topic and notices.
class IRoomView {
public:
    virtual ~IRoomView() = default;
    virtual void ShowRoomWindow(bool show) = 0;
    virtual void SetRoomName(const QString& name) = 0;
    // Redraw the member list; the count text is the number followed by "人".
    virtual void RedrawMembers(const CMemberList& members, const QString& countText) = 0;
    // The chat-target choice: everybody first, then the members; current is the chosen
    // member's identifier, empty for everybody.
    virtual void RefreshChatTargets(const CMemberList& members, const QString& current) = 0;
    // The label above the input box ("你对 所有人 说:").
    virtual void SetChatTargetLabel(const QString& text) = 0;
    virtual void SetMicMode(const QString& text) = 0;
    virtual void SetMainMic(const QString& holder, const QString& time) = 0;
    virtual void SetSecondMic(const QString& holder, const QString& time) = 0;
    // The microphone queue, first in line first.
    virtual void RedrawQueue(const std::vector<const UserInfo*>& queue) = 0;
    virtual void SetTopic(const QString& title, const QString& topic) = 0;
    // The timed notices shown right now, oldest first.
    virtual void SetTimedNotices(const QStringList& notices) = 0;
    // A text notice of the room.
    virtual void ShowTextNotice(const QString& text) = 0;
    virtual void AddSideListEntry(const QString& entry) = 0;
    // The private-chat panel beside the public view ("分屏") or hidden ("合屏").
    virtual void ShowPrivatePanel(bool visible) = 0;
    // The window of a private microphone the user visits or holds.
    virtual void ClosePrivateMicWindow() = 0;
    // How much of the holder's time is used on the main (mic 1) or second microphone (mic 2):
    // used of total seconds; total 0 when nobody holds it.
    virtual void SetMicTimeBar(int mic, int used, int total) = 0;
    // The level bars of the main (mic 1) and the second microphone (mic 2), 0 to 100.
    virtual void SetMicMeter(int mic, int value) = 0;
    // The speak button: pressed while the user's voice is being sent.
    virtual void SetSpeakButton(bool pressed) = 0;
    // The microphone volume slider.
    virtual void ShowMicVolume(int volume) = 0;
    // The surface a video window draws on; nullptr where the view draws no video.
    virtual IVideoSurface* VideoSurface(int window) = 0;
    // The open/close toggle of video 1 or 2.
    virtual void SetVideoToggle(int window, const QString& text) = 0;
    // The picture a public video control shows behind its video.
    virtual void SetVideoPicture(int window, EVideoPicture picture) = 0;
    // Moves a video window into its pop-out window (shown) or back into the room window.
    virtual void ShowVideoPopOut(int window, bool shown) = 0;
    // The own video opened or closed.
    virtual void SetOwnVideo(bool open) = 0;
};

// A chat page drawn nowhere: it has no first TD, so every fragment is dropped.
class CNullChatView : public IChatView {
public:
    void LoadPage(const QString& page) override {}
    bool InsertAtFirstTd(const QString& fragment) override { return false; }
    void ScrollTo(int x, int y) override {}
    void Clear() override {}
};

// A room window drawn nowhere.
class CNullRoomView : public IRoomView {
public:
    void ShowRoomWindow(bool show) override {}
    void SetRoomName(const QString& name) override {}
    void RedrawMembers(const CMemberList& members, const QString& countText) override {}
    void RefreshChatTargets(const CMemberList& members, const QString& current) override {}
    void SetChatTargetLabel(const QString& text) override {}
    void SetMicMode(const QString& text) override {}
    void SetMainMic(const QString& holder, const QString& time) override {}
    void SetSecondMic(const QString& holder, const QString& time) override {}
    void RedrawQueue(const std::vector<const UserInfo*>& queue) override {}
    void SetTopic(const QString& title, const QString& topic) override {}
    void SetTimedNotices(const QStringList& notices) override {}
    void ShowTextNotice(const QString& text) override {}
    void AddSideListEntry(const QString& entry) override {}
    void ShowPrivatePanel(bool visible) override {}
    void ClosePrivateMicWindow() override {}
    void SetMicTimeBar(int mic, int used, int total) override {}
    void SetMicMeter(int mic, int value) override {}
    void SetSpeakButton(bool pressed) override {}
    void ShowMicVolume(int volume) override {}
    IVideoSurface* VideoSurface(int window) override { return nullptr; }
    void SetVideoToggle(int window, const QString& text) override {}
    void SetVideoPicture(int window, EVideoPicture picture) override {}
    void ShowVideoPopOut(int window, bool shown) override {}
    void SetOwnVideo(bool open) override {}
};
