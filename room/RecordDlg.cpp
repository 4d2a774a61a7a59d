#include "room/RecordDlg.h"

#include "media/MakerFilters.h"
#include "platform/Prompt.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "video/VideoServerH264.h"

#include <cstring>

namespace {
constexpr tagVideoRect kSmall{0, 0, 176, 144};
constexpr tagVideoRect kLarge{0, 0, 352, 288};
}  // namespace

CRecordDlg::CRecordDlg(IRecordOwner& owner) : m_owner(owner) {
    CreateMessageWindow(QStringLiteral("CRecordDlg"));
    m_toggleText = LoadString(IDS_RECORD_START);
}

CRecordDlg::~CRecordDlg() {
    DestroyMessageWindow();
    ReleaseRecording();
    ReleasePlayout();
}

QString CRecordDlg::FormatTime(int mode, int elapsed, int total) {
    const auto hms = [](int s) {
        return QString::asprintf("%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
    };
    if (mode != MODE_PLAY) {
        return hms(elapsed);
    }
    const int percent = total > 0 ? elapsed * 100 / total : 0;
    return QStringLiteral("%1 (%2,%3%)").arg(hms(elapsed), hms(total)).arg(percent);
}

QString CRecordDlg::AviPath(const QString& chosen) {
    if (chosen.endsWith(QStringLiteral(".AVI"), Qt::CaseInsensitive)) {
        return chosen;
    }
    return chosen + QStringLiteral(".Avi");
}

void CRecordDlg::SetToggle(int textId) {
    m_toggleText = LoadString(textId);
    if (m_view) {
        m_view->SetToggleText(m_toggleText);
    }
}

void CRecordDlg::EnableControls(bool enable) {
    if (m_view) {
        m_view->EnableControls(enable);
    }
}

void CRecordDlg::ShowTime() {
    m_timeText = FormatTime(m_mode, m_elapsed, m_total);
    if (m_view) {
        m_view->SetTimeText(m_timeText);
    }
    if (m_mode == MODE_PLAY) {
        m_slider = m_total > 0 ? m_elapsed * 100 / m_total : 0;
        if (m_view) {
            m_view->SetSlider(m_slider);
        }
    }
}

int CRecordDlg::StartRecording(int mode, const QString& path) {
    if (mode != MODE_RECORD_OWN && mode != MODE_RECORD_OTHER) {
        return -1;
    }
    ReleasePlayout();
    ReleaseRecording();
    m_mode = mode;
    m_path = path;
    const tagVideoRect rect =
        mode == MODE_RECORD_OTHER && m_owner.ShowsLargePicture() ? kLarge : kSmall;
    m_sound = std::make_unique<CMyAudioServer>(this);
    const bool built = m_sound->Create(this) &&
                       m_writer.Create(nullptr, rect, m_videoWindow, m_audioWindow, path) == 0 &&
                       m_writer.Start() == 0 && m_writer.SetFileName(path) == 0 &&
                       m_writer.Run() == 0;
    if (!built) {
        ReleaseRecording();
        m_active = false;
        m_running = false;
        EnableControls(false);
        return -1;
    }
    m_active = true;
    m_elapsed = 0;
    m_ticks = 0;
    EnableControls(true);
    m_running = true;
    m_waitingForKey = true;
    SetToggle(IDS_RECORD_PAUSE);
    SetTimer(TIMER_RECORD, 1000);
    ShowTime();
    return 0;
}

int CRecordDlg::OpenPlayout(const QString& path) {
    ReleaseRecording();
    ReleasePlayout();
    m_mode = MODE_PLAY;
    m_path = path;
    int width = 0, height = 0;
    if (m_player.Create(m_owner.RecorderSurface(), kSmall, path, Handle(), width, height) != 0) {
        m_active = false;
        EnableControls(false);
        return -1;
    }
    IVideoSurface* window = nullptr;
    if (m_display.Create(m_owner.RecorderSurface(), kSmall, kSmall, window) == 0) {
        m_display.Open();
        m_display.Start();
    }
    m_total = m_player.Duration();
    m_elapsed = 0;
    m_ticks = 0;
    m_frameNumber = 0;
    m_playedFrames = 0;
    m_active = true;
    m_running = false;
    SetToggle(IDS_PLAY_START);
    EnableControls(true);
    ShowTime();
    return 0;
}

void CRecordDlg::Toggle() {
    if (!m_active) {
        return;
    }
    if (m_mode == MODE_RECORD_OWN || m_mode == MODE_RECORD_OTHER) {
        if (m_mode == MODE_RECORD_OTHER) {
            m_owner.RequestCharge();
        }
        if (!m_running) {
            m_running = true;
            m_waitingForKey = true;
            SetToggle(IDS_RECORD_PAUSE);
            m_writer.Run();
            SetTimer(TIMER_RECORD, 1000);
        } else {
            m_running = false;
            m_waitingForKey = false;
            SetToggle(IDS_RECORD_START);
            m_writer.Pause();
        }
    } else if (m_mode == MODE_PLAY) {
        if (!m_running) {
            m_running = true;
            SetToggle(IDS_PLAY_PAUSE);
            m_player.Run();
            SetTimer(TIMER_PLAY, 1000);
            if (m_view) {
                m_view->EnableSlider(true);
            }
        } else {
            m_running = false;
            SetToggle(IDS_PLAY_START);
            m_player.Pause();
        }
    }
}

void CRecordDlg::Stop() {
    if (m_mode == MODE_RECORD_OWN || m_mode == MODE_RECORD_OTHER) {
        m_owner.ReturnVideoControls();
        KillTimer(TIMER_RECORD);
        const bool wasActive = m_active;
        m_writer.Stop();
        SetToggle(IDS_RECORD_START);
        ReleaseRecording();
        m_active = false;
        m_running = false;
        m_waitingForKey = false;
        // The file just written is ready to be played.
        if (wasActive) {
            OpenPlayout(m_path);
        } else {
            m_mode = MODE_PLAY;
        }
    } else if (m_mode == MODE_PLAY) {
        KillTimer(TIMER_PLAY);
        m_player.Stop();
        m_running = false;
        SetToggle(IDS_PLAY_START);
        m_elapsed = 0;
        m_slider = 0;
        if (m_view) {
            m_view->SetSlider(0);
        }
        SetSend(false);
    }
}

void CRecordDlg::SetSend(bool send) {
    m_send = send;
    if (m_view) {
        m_view->SetSendChecked(send);
    }
}

void CRecordDlg::OnSliderReleased(int percent) {
    m_dragging = false;
    if (m_mode != MODE_PLAY || !m_active) {
        return;
    }
    const int seconds = percent * m_total / 100;
    const bool wasRunning = m_running;
    if (wasRunning) {
        m_player.Pause();
    }
    m_player.Seek(seconds);
    if (wasRunning) {
        m_player.Run();
    }
}

void CRecordDlg::OnVideoFrame(bool key, const QByteArray& framePacket) {
    if ((m_mode != MODE_RECORD_OWN && m_mode != MODE_RECORD_OTHER) || !m_active || !m_running) {
        return;
    }
    if (m_waitingForKey) {
        if (!key) {
            return;
        }
        m_waitingForKey = false;
    }
    CFilterWindow::SendCopyData(m_videoWindow, TAG_SOURCE_FRAME, framePacket);
}

void CRecordDlg::OnAudioBlock(const char* data, int length) {
    if ((m_mode != MODE_RECORD_OWN && m_mode != MODE_RECORD_OTHER) || !m_active || !m_running ||
        m_waitingForKey || length <= 0) {
        return;
    }
    CFilterWindow::SendCopyData(m_audioWindow, TAG_SOURCE_AUDIO, QByteArray(data, length));
}

void CRecordDlg::SetCharge(int periodTicks, int cost, int balance) {
    m_period = periodTicks;
    m_cost = cost;
    m_balance = balance;
}

bool CRecordDlg::ChargeTick() {
    ++m_ticks;
    if (m_period > 0 && m_ticks % m_period == 0) {
        m_owner.RequestCharge();
    }
    if (m_cost > m_balance) {
        MessageBox(LoadString(IDS_NO_BALANCE), QStringLiteral("Warning"), MB_ICONWARNING);
        Stop();
        return false;
    }
    return true;
}

void CRecordDlg::OnTimer(unsigned id) {
    if (id == TIMER_RECORD && m_active) {
        m_elapsed = m_writer.Position();
        ShowTime();
        if (m_mode == MODE_RECORD_OTHER) {
            ChargeTick();
        }
    } else if (id == TIMER_PLAY && m_active) {
        const int position = m_player.Position();
        if (position != m_elapsed || position < m_total) {
            m_elapsed = position;
            if (!m_dragging) {
                ShowTime();
            }
            if (m_send) {
                ChargeTick();
            }
        } else {
            // The position stands at the end: the file has played out.
            Stop();
        }
    }
}

void CRecordDlg::OnCopyData(unsigned tag, const QByteArray& data) {
    if (tag != TAG_PLAY_FRAME || m_mode != MODE_PLAY || !m_active) {
        return;
    }
    tagPlayFrameHeader header;
    if (data.size() < static_cast<qsizetype>(sizeof header)) {
        return;
    }
    std::memcpy(&header, data.constData(), sizeof header);
    if (data.size() - static_cast<qsizetype>(sizeof header) < header.length) {
        return;
    }
    const QByteArray bytes = data.mid(sizeof header, header.length);
    const QByteArray packet = CVideoServerH264::FramePacket(
        static_cast<int>(header.flags >> 16), (header.flags & 1u) != 0, ++m_frameNumber, bytes);
    m_display.DecodeBuffer(bytes.constData(), static_cast<int>(bytes.size()));
    ++m_playedFrames;
    if (m_send) {
        m_owner.SendPlayedFrame(packet);
    }
}

void CRecordDlg::ReleaseRecording() {
    KillTimer(TIMER_RECORD);
    m_writer.Close();
    if (m_sound) {
        m_sound->Destroy();
        m_sound.reset();
    }
    m_videoWindow = 0;
    m_audioWindow = 0;
}

void CRecordDlg::DetachDisplay() {
    m_display.Stop();
    m_display.Close();
    m_display.Release();
}

void CRecordDlg::ReleasePlayout() {
    KillTimer(TIMER_PLAY);
    DetachDisplay();
    m_player.Close();
    m_send = false;
}
