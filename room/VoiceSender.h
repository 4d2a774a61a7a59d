#pragma once
// What the microphone order asks of the audio transport: start sending the user's voice when
// the user gets a microphone, stop when the user loses it. The audio layer implements it.
// Until one is installed the room has no voice sender: the user still holds the microphone
// and the panel shows it, but nothing is captured or sent.

class IVoiceSender {
public:
    enum EBegin : int {
        BEGIN_OK = 0,
        BEGIN_CAPTURE_FAILED = -1,  // "打开声音采集失败,对方可能无法听到您的声音."
        BEGIN_MIX_FAILED = -2,      // "打开内放失败,请手动打开."
    };
    virtual ~IVoiceSender() = default;
    // The microphone state now lets the user speak.
    virtual int BeginSpeaking() = 0;
    // The user may no longer speak.
    virtual void EndSpeaking() = 0;
    // The room is being left: stop capture and sending. With keepSharedCapture the capture
    // shared with the private chat keeps running.
    virtual void Teardown(bool keepSharedCapture) = 0;
};
