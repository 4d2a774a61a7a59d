#pragma once
// Voice in the room: the user's capture object sends each block as an audio packet (460) on
// the second room connection while the microphone order lets the user speak, and received
// audio packets are checked against the room's mic state and played on one of the room's five
// players. The capture thread reads the mic state through the microphone order's lock, sends
// under the connection's own lock, and hands meter values to the GUI thread as WM_ROOM_VOICE_METER.

#include "audio/MyWaveIn.h"
#include "audio/Players.h"
#include "audio/SpeakingSource.h"
#include "audio/VoiceOwner.h"
#include "room/RoomFeature.h"
#include "room/VoiceSender.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class CKParam;
class CRoomDlg;

class CRoomAudio : public IRoomFeature,
                   public IVoiceSender,
                   public IVoiceOwner,
                   public ISpeakingRoom {
public:
    // Servers newer than this add the room number (key 70) to every relayed audio packet.
    static constexpr int kRoomKeyVersion = 1410;
    static constexpr int kMeterScale = 5;
    static constexpr int kMaxMeter = 20;
    static constexpr int kMinShieldRank = 30;
    // The speak button.
    enum : int { IDC_SPEAK = 1068 };

    explicit CRoomAudio(CRoomDlg& room);
    ~CRoomAudio() override;
    CRoomAudio(const CRoomAudio&) = delete;
    CRoomAudio& operator=(const CRoomAudio&) = delete;

    // Adds the feature to the room and makes it the room's voice sender.
    static CRoomAudio& Install(CRoomDlg& room);

    // IRoomFeature
    void Register(CDispatchTable& table) override;
    void OnRoomOpened() override;
    void OnSettings(const tagRoomSettings& settings) override;
    void OnRoomClosing(bool keepSharedCapture) override;
    bool OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;

    // IVoiceSender, called by the microphone order on the GUI thread.
    int BeginSpeaking() override;
    void EndSpeaking() override;
    void Teardown(bool keepSharedCapture) override;

    // IVoiceOwner, called by the capture thread.
    QString VoiceOwnId() const override;
    tagMicState VoiceMicState() const override;
    void PostVoiceMeter(int meter, int loud) override;
    void SendVoicePacket(CKParam& packet) override;

    // ISpeakingRoom
    void AddSystemLine(const QString& text) override;
    int StoredMicVolume() const override { return m_micVolume; }
    void ShowMicVolume(int volume) override;
    bool OpenSoundSettings() override;

    // Command 460 from either room connection.
    void OnAudio(CKParam& packet);
    // Command 232: the server forbids ("禁止") or allows ("允许") receiving sound.
    void OnAudioControl(CKParam& packet);
    // Command 502: the room's audio quality changed.
    void OnQualityChanged(CKParam& packet);
    // Request 500: asks the server to change the room's audio quality (1 to 3).
    int ChangeQuality(int quality);

    // The room's configured quality, used when capture starts.
    int RoomQuality() const { return m_quality; }
    // Set and cleared by the server's command about receiving sound ("接收声音数据").
    bool ReceiveBan() const { return m_receiveBan; }
    // The room server's version; by default the version the service's configuration names.
    void SetServerVersion(int version) { m_serverVersion = version; }
    int ServerVersion() const;
    void SetStoredMicVolume(int volume) { m_micVolume = volume; }

    bool IsSpeakButtonPressed() const { return m_speakPressed; }
    // The meters as last set (0 to 100): mic 1 main, mic 2 second.
    int Meter(int mic) const { return mic == 2 ? m_meterSecond : m_meterMain; }

    CMyWaveIn& Capture() { return *m_capture; }
    CRoomPlayers& Players() { return m_players; }

    // The private chat shares the audio packet: a handler set here takes the packets its
    // connections deliver; without one they go nowhere.
    using FPrivateAudio = std::function<void(CKParam&)>;
    void SetPrivateAudioHandler(FPrivateAudio handler) { m_privateAudio = std::move(handler); }
    const FPrivateAudio& PrivateAudioHandler() const { return m_privateAudio; }

    // What happened to received packets, for the console client's statistics.
    struct tagCounters {
        int received = 0;
        int played = 0;
        int dropped = 0;
    };
    tagCounters Counters() const { return m_counters; }

private:
    bool Accepts(const CKParam& packet, int micIndex, const QString& sender) const;
    void SetMeter(int mic, int value);
    void OnOwnMeter(int meter);

    CRoomDlg& m_room;
    std::unique_ptr<CMyWaveIn> m_capture;
    CRoomPlayers m_players;
    std::atomic<bool> m_capturePaused{true};
    bool m_receiveBan = false;
    bool m_speakPressed = false;
    int m_quality = 1;
    int m_serverVersion = -1;
    int m_micVolume = 0;
    int m_meterMain = 0;
    int m_meterSecond = 0;
    FPrivateAudio m_privateAudio;
    tagCounters m_counters;
};
