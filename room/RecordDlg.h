#pragma once
// The recorder window's logic, with no widgets: recording the user's own picture and voice
// (mode 2) or another member's picture (mode 3, charged) into an AVI file, and playing a file
// out (mode 1), shown in the recorder's picture and, with "send" ticked, sent into the room as
// the user's video. The owner (the room window or the private chat) supplies the frames and
// takes the played ones; a view shows the button texts, the time and the slider.

#include "media/AudioServer.h"
#include "media/AviRecord.h"
#include "media/VideoFileClient.h"
#include "video/VideoClientH264.h"

#include <QByteArray>
#include <QString>

#include <memory>

class IRecordOwner {
public:
    virtual ~IRecordOwner() = default;
    // A played frame packet goes out as the user's video.
    virtual void SendPlayedFrame(const QByteArray& framePacket) = 0;
    // Sends the charge request of a charged recording or play-out.
    virtual void RequestCharge() = 0;
    // Whether the picture recorded in mode 3 is the large one.
    virtual bool ShowsLargePicture() const { return false; }
    // The video controls moved into the recorder go back to their places.
    virtual void ReturnVideoControls() {}
    // Where the recorder's own picture is drawn.
    virtual IVideoSurface* RecorderSurface() { return nullptr; }
};

class IRecordView {
public:
    virtual ~IRecordView() = default;
    virtual void SetToggleText(const QString& text) {}
    virtual void SetTimeText(const QString& text) {}
    virtual void SetSlider(int percent) {}
    virtual void EnableControls(bool enable) {}
    virtual void EnableSlider(bool enable) {}
    virtual void SetSendChecked(bool checked) {}
};

class CRecordDlg : public CFilterWindow, public CRecordSoundSink {
public:
    enum EMode { MODE_IDLE = 0, MODE_PLAY = 1, MODE_RECORD_OWN = 2, MODE_RECORD_OTHER = 3 };
    enum : unsigned { TIMER_RECORD = 10, TIMER_PLAY = 20 };

    explicit CRecordDlg(IRecordOwner& owner);
    ~CRecordDlg() override;

    void SetView(IRecordView* view) { m_view = view; }

    // Starts recording into the file (modes 2 and 3). 0, or -1 with the recorder inactive.
    int StartRecording(int mode, const QString& path);
    // Loads a file for play-out (mode 1); it plays after Toggle. 0 or -1.
    int OpenPlayout(const QString& path);
    // The toggle button: pause or resume the recording or the play-out.
    void Toggle();
    // The stop button.
    void Stop();
    // The "send" box.
    void SetSend(bool send);
    // The slider: while dragged the time display leaves it alone; released, the play-out
    // seeks to its percentage.
    void SetDragging(bool dragging) { m_dragging = dragging; }
    void OnSliderReleased(int percent);

    // The user's own frame packets (or the watched member's, in mode 3).
    void OnVideoFrame(bool key, const QByteArray& framePacket);
    // CRecordSoundSink: a GSM 6.10 block of the sound capture.
    void OnAudioBlock(const char* data, int length) override;

    // The surface the played pictures were drawn on is going: stop drawing on it.
    void DetachDisplay();

    // The owner's figures of a charged recording or play-out.
    void SetCharge(int periodTicks, int cost, int balance);
    int Balance() const { return m_balance; }

    int Mode() const { return m_mode; }
    bool IsActive() const { return m_active; }
    bool IsRunning() const { return m_running; }
    bool IsWaitingForKey() const { return m_waitingForKey; }
    bool IsSending() const { return m_send; }
    // Play-out frames go out instead of the live camera's.
    bool IsPlayingOut() const { return m_mode == MODE_PLAY && m_active && m_send; }
    QString FilePath() const { return m_path; }
    QString ToggleText() const { return m_toggleText; }
    QString TimeText() const { return m_timeText; }
    int SliderPercent() const { return m_slider; }
    int Elapsed() const { return m_elapsed; }
    int Total() const { return m_total; }
    int PlayedFrames() const { return m_playedFrames; }
    const CVideoClientH264& Display() const { return m_display; }
    const CVideoFileClient& Player() const { return m_player; }

    // The time display of a mode: "hh:mm:ss", and in mode 1 "hh:mm:ss (hh:mm:ss,p%)".
    static QString FormatTime(int mode, int elapsed, int total);
    // The room menu's rule for a file name: ".Avi" is added unless it ends in ".AVI".
    static QString AviPath(const QString& chosen);

protected:
    void OnTimer(unsigned id) override;
    void OnCopyData(unsigned tag, const QByteArray& data) override;

private:
    void ReleaseRecording();
    void ReleasePlayout();
    void SetToggle(int textId);
    void ShowTime();
    // Counts a charged tick; false when the balance ran out and everything stopped.
    bool ChargeTick();
    void EnableControls(bool enable);

    IRecordOwner& m_owner;
    IRecordView* m_view = nullptr;
    CAviRecord m_writer;
    std::unique_ptr<CMyAudioServer> m_sound;
    CVideoFileClient m_player;
    CVideoClientH264 m_display;

    int m_mode = MODE_IDLE;
    bool m_active = false;
    bool m_running = false;
    bool m_waitingForKey = false;
    bool m_send = false;
    bool m_dragging = false;
    QString m_path;
    int32_t m_videoWindow = 0;
    int32_t m_audioWindow = 0;
    int m_elapsed = 0;
    int m_total = 0;
    int m_frameNumber = 0;
    int m_playedFrames = 0;
    int m_ticks = 0;
    int m_period = 0;
    int m_cost = 0;
    int m_balance = 0;
    QString m_toggleText;
    QString m_timeText;
    int m_slider = 0;
};
