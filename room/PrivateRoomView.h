#pragma once
// What the private room's window implements. The private room owns every piece of its state
// and tells this view what to draw; the window reports what the user does through the private
// room's own operations. A view that draws only part of it (the console client, tests)
// derives from the null view, which draws nothing.

#include "room/RoomView.h"

#include <QString>

class IVideoSurface;

// The private room's video areas.
enum EPrivateVideo : int { PRIVATE_VIDEO_PEER = 0, PRIVATE_VIDEO_OWN = 1 };

// The quality menu's items: speech, singing, hi-fi.
enum : int { ID_QUALITY_SPEECH = 32832, ID_QUALITY_SINGING = 32833, ID_QUALITY_HIFI = 32834 };

class IPrivateRoomView {
public:
    virtual ~IPrivateRoomView() = default;
    virtual void ShowPrivateWindow(bool show) = 0;
    // "等待私聊对象进入中...", then the peer's nickname and "私聊中".
    virtual void SetTitle(const QString& title) = 0;
    // Marks the quality menu item of the quality in force (ID_QUALITY_*).
    virtual void SetQualityMark(int menuItem) = 0;
    // 1 narrowband, 10 broadband.
    virtual void SetBandwidth(int mode) = 0;
    // The music menu: the user is playing music.
    virtual void SetMusic(bool playing) = 0;
    // The speak button: pressed while the user's voice is sent.
    virtual void SetSpeakButton(bool pressed) = 0;
    // The level of the user's voice, 0 to 100.
    virtual void SetMeter(int value) = 0;
    virtual void ShowMicVolume(int volume) = 0;
    // The surface a video area draws on; nullptr where the view draws no video.
    virtual IVideoSurface* VideoSurface(int area) = 0;
    // What a video area shows while no picture is drawn on it, as the room's pictures do: the
    // own area "closed" while the camera is off, the peer's "waiting" for its pictures.
    virtual void SetVideoPicture(int area, EVideoPicture picture) {}
    // A file on its way, in percent; -1 once it ended, however. A view without a progress bar
    // leaves it.
    virtual void ShowFileProgress(const QString& name, bool sending, int percent) {}
};

class CNullPrivateRoomView : public IPrivateRoomView {
public:
    void ShowPrivateWindow(bool) override {}
    void SetTitle(const QString&) override {}
    void SetQualityMark(int) override {}
    void SetBandwidth(int) override {}
    void SetMusic(bool) override {}
    void SetSpeakButton(bool) override {}
    void SetMeter(int) override {}
    void ShowMicVolume(int) override {}
    IVideoSurface* VideoSurface(int) override { return nullptr; }
};
