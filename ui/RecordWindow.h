#pragma once
// The recorder window: the played picture, the pause/resume button, stop, the progress slider,
// the time and the "send" box. It draws what the recorder tells it and hands the user's
// actions to the room's recording; the logic lives there.

#include "room/RecordDlg.h"

#include <QWidget>

class CRoomRecording;
class CRoomVideoPanel;
class CVideoPicture;
class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;

class CRecordWindow : public QWidget, public IRecordView {
    Q_OBJECT
public:
    explicit CRecordWindow(CRoomRecording& recording, QWidget* parent = nullptr);
    ~CRecordWindow() override;

    // The room menu's two entries: record the own video into a file chosen with a save dialog,
    // and play a file chosen with an open dialog.
    void RecordOwnVideo();
    void PlayFile();
    // Puts the two entries into the room's video menu.
    void OfferIn(CRoomVideoPanel& panel);

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
    QLabel* TimeLabel() const { return m_time; }
    QCheckBox* SendBox() const { return m_send; }
    CVideoPicture* Picture() const { return m_picture; }

private:
    void OnSendToggled(bool checked);

    CRoomRecording& m_recording;
    CVideoPicture* m_picture = nullptr;
    QPushButton* m_toggle = nullptr;
    QPushButton* m_stop = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_time = nullptr;
    QCheckBox* m_send = nullptr;
};
