#include "ui/RecordWindow.h"

#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "room/PrivateRoomView.h"
#include "room/Recording.h"
#include "room/RoomView.h"
#include "ui/PrivateRoomWindow.h"
#include "ui/RoomVideoPanel.h"
#include "ui/VideoPicture.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

CRecordWindow::CRecordWindow(CRecording& recording, QWidget* parent)
    : QWidget(parent, Qt::Tool), m_recording(recording) {
    setWindowTitle(LoadString(IDS_UI_RECORD_TITLE));
    m_picture = new CVideoPicture(this);
    m_toggle = new QPushButton(LoadString(IDS_RECORD_START), this);
    m_stop = new QPushButton(LoadString(IDS_UI_RECORD_STOP), this);
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setRange(0, 100);
    m_time = new QLabel(CRecordDlg::FormatTime(CRecordDlg::MODE_RECORD_OWN, 0, 0), this);
    m_send = new QCheckBox(LoadString(IDS_UI_RECORD_SEND), this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_toggle);
    buttons->addWidget(m_stop);
    buttons->addWidget(m_send);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_picture, 0, Qt::AlignHCenter);
    layout->addWidget(m_slider);
    layout->addWidget(m_time);
    layout->addLayout(buttons);

    CRecordDlg& recorder = m_recording.Recorder();
    connect(m_toggle, &QPushButton::clicked, this, [&recorder] { recorder.Toggle(); });
    connect(m_stop, &QPushButton::clicked, this, [&recorder] { recorder.Stop(); });
    connect(m_slider, &QSlider::sliderPressed, this, [&recorder] { recorder.SetDragging(true); });
    connect(m_slider, &QSlider::sliderReleased, this,
            [this, &recorder] { recorder.OnSliderReleased(m_slider->value()); });
    connect(m_send, &QCheckBox::toggled, this, &CRecordWindow::OnSendToggled);

    EnableControls(false);
    recorder.SetView(this);
    m_recording.SetSurface(m_picture);
}

CRecordWindow::~CRecordWindow() {
    m_recording.Recorder().SetView(nullptr);
    m_recording.SetSurface(nullptr);
}

QString CRecordWindow::ChooseRecordingFile() {
    const QString chosen = QFileDialog::getSaveFileName(this, LoadString(IDS_UI_RECORD_TITLE),
                                                        QString(), QStringLiteral("AVI(*.avi)"));
    if (!chosen.isEmpty()) {
        show();
    }
    return chosen;
}

void CRecordWindow::RecordOwnVideo() {
    if (const QString chosen = ChooseRecordingFile(); !chosen.isEmpty()) {
        m_recording.RecordOwnVideo(chosen);
    }
}

void CRecordWindow::RecordOtherVideo(int window) {
    if (const QString chosen = ChooseRecordingFile(); !chosen.isEmpty()) {
        m_recording.RecordOtherVideo(window, chosen);
    }
}

void CRecordWindow::PlayFile() {
    const QString chosen = QFileDialog::getOpenFileName(this, LoadString(IDS_UI_RECORD_OPEN),
                                                        QString(), QStringLiteral("AVI(*.avi)"));
    if (chosen.isEmpty()) {
        return;
    }
    show();
    m_recording.PlayVideo(chosen, false);
}

void CRecordWindow::AddEntries(QMenu* menu, const std::vector<std::pair<int, int>>& pictures) {
    menu->addAction(LoadString(IDS_UI_RECORD_OWN), this, [this] { RecordOwnVideo(); });
    menu->addAction(LoadString(IDS_UI_PLAY_FILE), this, [this] { PlayFile(); });
    for (const auto& [window, title] : pictures) {
        menu->addAction(LoadString(IDS_UI_RECORD_OTHER) + QStringLiteral(": ") + LoadString(title),
                        this, [this, window = window] { RecordOtherVideo(window); })
            ->setEnabled(m_recording.Shows(window));
    }
}

void CRecordWindow::OfferIn(CRoomVideoPanel& panel) {
    panel.SetMenuExtras([this](QMenu* menu) {
        AddEntries(menu,
                   {{VIDEO_1, IDS_VIDEO_1}, {VIDEO_2, IDS_VIDEO_2}, {VIDEO_PRIVATE, IDS_OP_WATCH}});
    });
}

void CRecordWindow::OfferIn(CPrivateRoomWindow& window) {
    window.SetRecordMenu([this](QMenu* menu) {
        AddEntries(menu, {{PRIVATE_VIDEO_PEER, IDS_UI_PRIVATE_PEER_VIDEO}});
    });
}

void CRecordWindow::OnSendToggled(bool checked) {
    CRecordDlg& recorder = m_recording.Recorder();
    if (!checked) {
        recorder.SetSend(false);
        return;
    }
    // Sending is paid for: the room asks for the charge and the user's agreement, and plays
    // the file with "send" once both are given.
    {
        const QSignalBlocker block(m_send);
        m_send->setChecked(false);
    }
    if (recorder.Mode() == CRecordDlg::MODE_PLAY && !recorder.FilePath().isEmpty()) {
        m_recording.PlayVideo(recorder.FilePath(), true);
    }
}

void CRecordWindow::SetToggleText(const QString& text) {
    m_toggle->setText(text);
}

void CRecordWindow::SetTimeText(const QString& text) {
    m_time->setText(text);
}

void CRecordWindow::SetSlider(int percent) {
    if (!m_slider->isSliderDown()) {
        m_slider->setValue(percent);
    }
}

void CRecordWindow::EnableControls(bool enable) {
    m_toggle->setEnabled(enable);
    m_stop->setEnabled(enable);
    m_send->setEnabled(enable);
    m_slider->setEnabled(enable && m_recording.Recorder().Mode() == CRecordDlg::MODE_PLAY);
}

void CRecordWindow::EnableSlider(bool enable) {
    m_slider->setEnabled(enable);
}

void CRecordWindow::SetSendChecked(bool checked) {
    const QSignalBlocker block(m_send);
    m_send->setChecked(checked);
}
