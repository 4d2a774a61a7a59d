#include "room/RoomVideo.h"

#include "audio/AudioFormats.h"
#include "platform/DialogHost.h"
#include "platform/Profile.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/KParam.h"
#include "protocol/Refusal.h"
#include "protocol/keys/AudioKeys.h"
#include "protocol/keys/MembersKeys.h"
#include "protocol/keys/VideoKeys.h"
#include "room/ChatPanes.h"
#include "room/RoomDlg.h"
#include "room/RoomEntry.h"
#include "room/RoomMembers.h"
#include "room/RoomSettings.h"
#include "room/RoomStrings.h"
#include "room/RoomView.h"
#include "room/SavePictureDlg.h"
#include "video/VideoProbe.h"

CRoomVideo::CRoomVideo(CRoomDlg& room) : m_room(room), m_sending(room), m_receiving(room) {}

CRoomVideo::~CRoomVideo() {
    // The component's threads post to the room window: they end before we do.
    m_sending.Sender().Release();
    if (m_room.Video() == this) {
        m_room.SetVideo(nullptr);
    }
    if (m_room.Host().MainConnection().VideoParamSink() == this) {
        m_room.Host().MainConnection().SetVideoParamSink(nullptr);
    }
}

CRoomVideo& CRoomVideo::Install(CRoomDlg& room) {
    auto feature = std::make_unique<CRoomVideo>(room);
    CRoomVideo& video = *feature;
    room.AddFeature(std::move(feature));
    room.SetVideo(&video);
    room.Host().MainConnection().SetVideoParamSink(&video);
    video.m_sending.SetCameraAvailable(ProbeH264Encoder());
    return video;
}

bool CRoomVideo::AnnouncesVideoState() {
    return CAppProfile::GetProfileInt(QStringLiteral("Main"), QStringLiteral("SendVideoState"),
                                      1) != 0;
}

void CRoomVideo::Register(CDispatchTable& table) {
    table.On(CMD_VIDEO, [this](CKParam& p) { m_receiving.OnVideo(p); });
    table.On(CMD_VIDEO_OFF_UNATTENDED, [this](CKParam& p) { OnVideoOff(p); });
    table.On(CMD_VIDEO_REQUEST_REPLY, [this](CKParam& p) { OnVideoRequestReply(p); });
    table.AddReplyHandling(CMD_WATCH_REPLY, [this](CKParam& p) { OnWatchReply(p); });
    table.On(CMD_WATCH_ASKED, [this](CKParam& p) { OnWatchAsked(p); });
    table.On(CMD_WATCH_ENDED, [this](CKParam& p) { OnWatchEnded(p); });
    table.On(CMD_VIDEO_STATE_CHANGED, [this](CKParam& p) { OnVideoState(p); });
    // What other features own but video follows: the room's quality sets the frame rate, and
    // a member who leaves stops watching or being watched.
    table.On(CMD_QUALITY_CHANGED, [this](CKParam& p) { OnQualityChanged(p); });
    table.On(CMD_DEPARTURE, [this](CKParam& p) { OnDeparture(p); });
    for (short code : {CMD_VIDEO_REQUEST, CMD_WATCH, CMD_WATCH_ANSWER, CMD_VIDEO_STATE}) {
        table.Sends(code);
    }
    // The frame packet travels inside 470; the parameter requests come by the main
    // connection's own path.
    table.Elsewhere(CMD_VIDEO_FRAME);
    table.Elsewhere(CMD_VIDEO_PARAMS);
}

void CRoomVideo::OnRoomOpened() {
    m_receiving.Reset();
    m_sending.Viewers().With([](QStringList& ids) { ids.clear(); });
    m_sending.ResetCounters();
    m_states.clear();
    m_watchAsked.clear();
    m_quality = AUDIO_QUALITY_HIFI;
}

void CRoomVideo::OnSettings(const tagRoomSettings& settings) {
    // The room's sound-quality mode is carried as its audio quality; a room that names none
    // is in hi-fi.
    m_quality = IsAudioQuality(settings.number140) ? settings.number140 : AUDIO_QUALITY_HIFI;
    for (int i = 0; i < 3; ++i) {
        m_frameRates[i] = settings.frameRates[i];
    }
    m_receiving.OpenVideo(VIDEO_1);
    m_receiving.OpenVideo(VIDEO_2);
    AnnounceVideoState();
}

void CRoomVideo::AnnounceVideoState() {
    if (!m_sending.CameraAvailable() || !AnnouncesVideoState()) {
        return;
    }
    CKParam request;
    request.SetShortInt(KEY_COMMAND, CMD_VIDEO_STATE);
    request.SetInt(VideoStateKey::STATE, 1);
    m_room.Discipline().Request(CMD_VIDEO_STATE, request);
}

void CRoomVideo::OnRoomClosing(bool /*keepSharedCapture*/) {
    m_sending.Close();
    m_receiving.CloseAll();
    m_sending.Viewers().With([](QStringList& ids) { ids.clear(); });
}

void CRoomVideo::OnViewsChanging() {
    // The components draw on the old view's surfaces: they close with them.
    m_sending.Close();
    m_receiving.CloseAll();
    m_receiving.Reset();
}

bool CRoomVideo::OnCopyData(unsigned tag, const QByteArray& data) {
    switch (tag) {
        case CVideoServerH264::TAG_FRAME:
            // A play-out into the room sends the file's frames; the camera's wait.
            if (m_tap && m_tap->TakesOverSending()) {
                return true;
            }
            m_sending.OnFrame(data);
            if (m_tap) {
                m_tap->OnOwnFrame(data);
            }
            return true;
        case CVideoServerH264::TAG_PACKET:
            m_sending.OnComponentPacket(data);
            return true;
        default:
            return false;
    }
}

bool CRoomVideo::IsWindowOpen() const {
    return m_room.IsWindow();
}

void CRoomVideo::DispatchPacket(CKParam& packet) {
    if (packet.Command() == CMD_VIDEO_PARAMS) {
        m_sending.Sender().CheckParam(packet);
    }
}

int CRoomVideo::FrameRate(int quality) const {
    return quality >= 1 && quality <= 3 ? m_frameRates[quality - 1] : 0;
}

// --- The own video -------------------------------------------------------------------------

int CRoomVideo::OpenOwnVideo() {
    if (!m_sending.CameraAvailable()) {
        m_room.Panes().SystemLine(LoadString(IDS_VIDEO_NO_SOURCE));
        return -1;
    }
    if (m_sending.IsOpen()) {
        return 0;
    }
    CKParam request;
    request.SetShortInt(KEY_COMMAND, CMD_VIDEO_REQUEST);
    request.SetInt(VideoRequestKey::OPEN, 1);
    return m_room.Discipline().Request(CMD_VIDEO_REQUEST, request) == 0 ? 0 : -1;
}

void CRoomVideo::OnVideoRequestReply(CKParam& packet) {
    m_room.Discipline().ClearPending(CMD_VIDEO_REQUEST);
    if (packet.IntOr(VideoRequestReplyKey::RESULT, 0) == -1) {
        m_room.Panes().SystemLine(LoadString(IDS_VIDEO_OPEN_FAILED));
        return;
    }
    m_sending.Open(FrameRate(m_quality));
}

void CRoomVideo::CloseOwnVideo() {
    m_sending.Close();
}

void CRoomVideo::OnQualityChanged(CKParam& packet) {
    const int quality = packet.IntOr(QualityChangedKey::QUALITY, 0);
    if (!IsAudioQuality(quality)) {
        return;
    }
    m_quality = quality;
    if (m_sending.CameraAvailable() && m_sending.OwnSlot() != 0) {
        m_sending.SetFrameRate(FrameRate(quality));
    }
}

int CRoomVideo::CapturePicture(int window) {
    if (window == VIDEO_OWN && !m_sending.CameraAvailable()) {
        m_room.Panes().SystemLine(LoadString(IDS_VIDEO_NO_DATA));
        return -1;
    }
    CSavePictureDlg dialog;
    if (dialog.DoModal() != IDOK) {
        return -1;
    }
    const QString path = dialog.ChosenPath();
    if (path.isEmpty()) {
        return -1;
    }
    return window == VIDEO_OWN ? m_sending.CapturePicture(path)
                               : m_receiving.CapturePicture(window, path);
}

void CRoomVideo::ShowCameraSettings() {
    m_sending.Sender().DisplayCameraProperty(&m_room);
}

void CRoomVideo::PopOut(int window) {
    if (window == VIDEO_OWN) {
        m_sending.PopOut();
    } else {
        m_receiving.PopOut(window);
    }
}

void CRoomVideo::PopIn(int window) {
    if (window == VIDEO_OWN) {
        m_sending.PopIn();
    } else if (window == VIDEO_PRIVATE) {
        m_receiving.ClosePrivateViewer();
    } else {
        m_receiving.PopIn(window);
    }
}

// --- Private watching ----------------------------------------------------------------------

int CRoomVideo::Watch(const QString& id) {
    if (id.isEmpty() || id == m_room.OwnId()) {
        return -1;
    }
    CKParam request;
    request.SetShortInt(KEY_COMMAND, CMD_WATCH);
    request.SetCString(WatchKey::MEMBER, id);
    if (m_room.Discipline().Request(CMD_WATCH, request) != 0) {
        return -1;
    }
    m_watchAsked = id;
    return 0;
}

void CRoomVideo::OnWatchReply(CKParam& packet) {
    // The generic reply has written the line; the request ends here.
    m_room.Discipline().ClearPending(CMD_WATCH);
    const QString member = packet.TextOr(WatchReplyKey::MEMBER, m_watchAsked);
    m_watchAsked.clear();
    if (packet.IntOr(WatchReplyKey::RESULT, 0) == -1 || member.isEmpty()) {
        m_receiving.ClosePrivateViewer();
        return;
    }
    if (m_receiving.Watched() != member) {
        m_receiving.ClosePrivateViewer();
    }
    m_receiving.OpenPrivateViewer(member);
}

void CRoomVideo::OnWatchAsked(CKParam& packet) {
    const QString viewer = packet.TextOr(WatchAskedKey::VIEWER);
    if (viewer.isEmpty()) {
        return;
    }
    const bool sending = m_sending.IsOpen();
    if (sending) {
        m_sending.Viewers().With([&](QStringList& ids) {
            if (!ids.contains(viewer)) {
                ids.push_back(viewer);
            }
        });
    }
    CKParam answer;
    answer.SetShortInt(KEY_COMMAND, CMD_WATCH_ANSWER);
    answer.SetInt(WatchAnswerKey::RESULT, sending ? 0 : -1);
    answer.SetInt(WatchAnswerKey::REFUSAL, sending ? 0 : REFUSE_NO_VIDEO);
    answer.SetCString(WatchAnswerKey::VIEWER, viewer);
    m_room.Discipline().Answer(CMD_WATCH_ANSWER, answer);
}

void CRoomVideo::OnWatchEnded(CKParam& packet) {
    QString line = LoadString(IDS_OP_WATCH) + LoadString(IDS_VIDEO_ENDED);
    if (packet.IntOr(WatchEndedKey::RESULT, 0) == -1) {
        line += QStringLiteral(": ") + RefusalText(packet.IntOr(WatchEndedKey::REFUSAL, 0));
    }
    m_room.Panes().SystemLine(line);
    m_receiving.ClosePrivateViewer();
}

void CRoomVideo::OnDeparture(CKParam& packet) {
    const QString id = packet.TextOr(DepartureKey::MEMBER);
    if (id.isEmpty()) {
        return;
    }
    m_sending.Viewers().With([&](QStringList& ids) { ids.removeAll(id); });
    m_states.remove(id);
    if (id == m_receiving.Watched()) {
        m_receiving.ClosePrivateViewer();
    }
}

// --- Notices -------------------------------------------------------------------------------

void CRoomVideo::OnVideoState(CKParam& packet) {
    const QString id = packet.TextOr(VideoStateKey::MEMBER);
    if (id.isEmpty()) {
        return;
    }
    m_states.insert(id, packet.IntOr(VideoStateKey::STATE, 0));
    m_room.Members().Redraw();
}

void CRoomVideo::OnVideoOff(CKParam& /*packet*/) {
    m_room.Panes().SystemLine(LoadString(IDS_VIDEO_OFF_UNATTENDED), SUFFIX_NONE, true);
    m_receiving.CloseVideo(VIDEO_1, false);
    m_receiving.CloseVideo(VIDEO_2, false);
}
