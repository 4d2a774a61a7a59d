#pragma once
// The recorder window: the played picture, the pause/resume button, stop, the progress slider,
// the time and the "send" box. It draws what the recorder tells it and hands the user's
// actions to the room's recording; the logic lives there.

#include "room/RecordDlg.h"

#include <QWidget>

#include <utility>
#include <vector>

class CRecording;
class CPrivateRoomWindow;
class CRoomVideoPanel;
class CVideoPicture;
class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QSlider;

class CRecordWindow : public QWidget, public IRecordView {
    Q_OBJECT
public:
    explicit CRecordWindow(CRecording& recording, QWidget* parent = nullptr);
    ~CRecordWindow() override;

    // The room menu's two entries: record the own video into a file chosen with a save dialog,
    // and play a file chosen with an open dialog.
    void RecordOwnVideo();
    void PlayFile();
    // Records the picture of video 1, video 2 or the watched member into a file chosen with a
    // save dialog.
    void RecordOtherVideo(int window);
    // The entries of a menu: record the own video, play a file, and record each picture
    // (its window and the string of its title) while it shows a member.
    void AddEntries(QMenu* menu, const std::vector<std::pair<int, int>>& pictures);
    // Puts the entries into the room's video menu (video 1, video 2, the watched member) or
    // the private room's recording menu (the peer).
    void OfferIn(CRoomVideoPanel& panel);
    void OfferIn(CPrivateRoomWindow& window);

    // IRecordView
    void SetToggleText(const QString& text) override;
    void SetTimeText(const QString& text) override;
    void SetSlider(int percent) override;
    void EnableControls(bool enable) override;
    void EnableSlider(bool enable) override;
    void SetSendChecked(bool checked) override;

    QPushButton* ToggleButton() const { return m_toggle; }
    QPushButton* StopButton() const { return m_stop; }
    QSlider* Slider() const { return m_slider; }
    QCheckBox* SendBox() const { return m_send; }
    CVideoPicture* Picture() const { return m_picture; }

private:
    // The save dialog of a recording's file (the window shows once one is chosen); empty
    // when the user cancelled.
    QString ChooseRecordingFile();
    void OnSendToggled(bool checked);

    CRecording& m_recording;
    CVideoPicture* m_picture = nullptr;
    QPushButton* m_toggle = nullptr;
    QPushButton* m_stop = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_time = nullptr;
    QCheckBox* m_send = nullptr;
};
