#pragma once
// Who else sees the video frames of a room or a private chat: the recorder takes the user's
// own frames while it records them and sends its played frames instead of them while it plays
// out; it takes the frames a window receives while it records that picture.

class QByteArray;

class IOwnFrameTap {
public:
    virtual ~IOwnFrameTap() = default;
    virtual bool TakesOverSending() const = 0;
    // The whole frame packet the camera's sender made.
    virtual void OnOwnFrame(const QByteArray& frame) = 0;
};

class IReceivedFrameTap {
public:
    virtual ~IReceivedFrameTap() = default;
    virtual bool TakesWindow(int window) const = 0;
    // The whole frame packet, as it came in the room packet.
    virtual void OnReceivedFrame(bool key, const QByteArray& framePacket) = 0;
};
