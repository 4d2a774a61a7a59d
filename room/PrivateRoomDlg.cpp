#include "room/PrivateRoomDlg.h"

#include "audio/AudioFormats.h"
#include "audio/AudioPacket.h"
#include "audio/RecordSource.h"
#include "audio/SoundConfigDlg.h"
#include "core/AppState.h"
#include "core/WindowMessages.h"
#include "platform/Prompt.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/keys/AdminKeys.h"
#include "protocol/keys/AudioKeys.h"
#include "protocol/keys/ChatKeys.h"
#include "protocol/keys/DirectLinkKeys.h"
#include "protocol/keys/GiftsKeys.h"
#include "protocol/keys/MembersKeys.h"
#include "protocol/keys/PrivateChatKeys.h"
#include "room/ChatFormat.h"
#include "room/ChatSanitizer.h"
#include "room/Gifts.h"
#include "room/PrivateLinks.h"
#include "room/PrivateRoomView.h"
#include "room/ResponseDlg.h"
#include "room/RoomDlg.h"
#include "room/RoomStrings.h"

namespace {

IPrivateRoomView& NoView() {
    static CNullPrivateRoomView view;
    return view;
}

int QualityMenuItem(int quality) {
    switch (quality) {
        case AUDIO_QUALITY_HIFI:
            return ID_QUALITY_HIFI;
        case AUDIO_QUALITY_SINGING:
            return ID_QUALITY_SINGING;
        default:
            return ID_QUALITY_SPEECH;
    }
}

constexpr int kMeterScale = 5;

}  // namespace

CPrivateRoomDlg::CPrivateRoomDlg(IRoomHost& host)
    : m_host(host),
      m_discipline(*this, m_panes, [this](CKParam& p) { return SendMain(p); }),
      m_capture(std::make_unique<CMyWaveIn>()) {
    m_capture->SetRoomMode(false);
    m_capture->SetPrivateWindow(this);
    // The same requests as in the room, under the private room's own names.
    m_discipline.SetOperationNames({{CMD_GRAB_MIC, IDS_OP_PLAY_MUSIC},
                                    {CMD_RELEASE_MIC, IDS_OP_STOP_MUSIC},
                                    {CMD_BANDWIDTH, IDS_OP_BANDWIDTH}});
    Register();
}

CPrivateRoomDlg::~CPrivateRoomDlg() {
    // The capture thread calls back into us: it ends first.
    m_capture->StopCapture();
    m_capture->SetPrivateWindow(nullptr);
    DestroyMessageWindow();
}

void CPrivateRoomDlg::SetViews(IPrivateRoomView* view, IChatView* chat) {
    m_view = view;
    // One chat view, the private one: every line of the private room goes there.
    m_panes.SetViews(nullptr, chat);
}

IPrivateRoomView& CPrivateRoomDlg::View() {
    return m_view ? *m_view : NoView();
}

void CPrivateRoomDlg::Register() {
    CDispatchTable& t = m_table;
    t.On(CMD_PEER_IN_PRIVATE_ROOM, [this](CKParam& p) { OnPeerArrived(p); });
    t.On(CMD_DEPARTURE, [this](CKParam& p) { OnPeerLeft(p); });
    t.On(CMD_NICKNAME_CHANGED, [this](CKParam& p) { OnNickname(p); });
    t.On(CMD_GIFT_GIVEN, [this](CKParam& p) { OnGiftGiven(p); });
    t.On(CMD_QUEUE_JOINED, [this](CKParam& p) { OnPeerMusic(p); });
    t.On(CMD_MIC_RELEASED, [this](CKParam& p) { OnPeerMusicStopped(p); });
    t.On(CMD_TEXT_LINE, [this](CKParam& p) { OnText(p); });
    t.On(CMD_AUDIO, [this](CKParam& p) { OnAudio(p); });
    t.On(CMD_VIDEO, [this](CKParam& p) {
        if (m_video) {
            m_video->OnVideo(p);
        }
    });
    t.On(CMD_QUALITY_CHANGED, [this](CKParam& p) { OnQualityChanged(p); });
    t.On(CMD_BANDWIDTH_CHANGED, [this](CKParam& p) { OnBandwidthChanged(p); });
    t.On(CMD_RECORD_CONTROL_REPLY, [this](CKParam& p) { OnRecordResult(p); });
    t.On(CMD_FILE_OFFER_REPLY, [this](CKParam& p) { OnFileOfferReply(p); });
    t.On(CMD_FILE_OFFERED, [this](CKParam& p) { OnFileOffered(p); });
    for (short code : kFileCommands) {
        t.On(code, [this](CKParam& p) {
            if (m_files) {
                m_files->OnFilePacket(p);
            }
        });
    }
    t.On(CMD_PRIVATE_SPEAK, [this](CKParam& p) { OnSpeak(p); });
    t.On(CMD_FORCED_EXIT,
         [this](CKParam&) { m_host.MainConnection().SetCloseReason(LoadString(IDS_CHARGE_EXIT)); });
    // Managers' commands of the room have no business here.
    t.On(CMD_KICKED, [](CKParam&) {});
    t.On(CMD_NICKNAME_FORCED, [](CKParam&) {});
    // The generic replies of the private room's requests.
    for (short code : {CMD_NICKNAME, CMD_GIFT, CMD_GIFT_INFO, CMD_GRAB_MIC, CMD_RELEASE_MIC,
                       CMD_TEXT, CMD_SNAPSHOT_CONTROL, CMD_QUALITY, CMD_BANDWIDTH}) {
        const tagCommandInfo* c = FindCommand(code);
        t.OnReply(c->reply, [this, code](CKParam& p) { m_discipline.OnReply(code, p); });
        t.Sends(code);
    }
    t.AddReplyHandling(CMD_GRAB_MIC_REPLY, [this](CKParam& p) { OnMusicReply(p); });
    for (short code : {CMD_AUDIO, CMD_FILE_OFFER, CMD_FILE_ANSWER, CMD_PRIVATE_TICK,
                       CMD_PRIVATE_TOCK, CMD_PEER_INFO}) {
        t.Sends(code);
    }
}

// --- The stay ------------------------------------------------------------------------------

void CPrivateRoomDlg::Open(const QString& ownId, const QString& ownNickname, bool registered) {
    if (IsWindow()) {
        StopMedia();
        DestroyMessageWindow();
    }
    CreateMessageWindow(QStringLiteral("PrivateRoom"));
    m_ownId = ownId;
    m_ownNickname = ownNickname;
    m_registered = registered;
    m_ownReported.clear();
    m_peer = tagPrivatePeer();
    m_peerPresent = false;
    m_active = false;
    m_closing = false;
    m_quality = AUDIO_QUALITY_SPEECH;
    m_bandwidth = BANDWIDTH_BROAD;
    m_musicPlaying = false;
    m_peerPlaying = false;
    m_counters = tagCounters();
    m_discipline.Reset();
    const int volume = GetMicVolume();
    if (volume >= 0) {
        m_micVolume = volume;
    }
    m_panes.LoadPages();
    SetTitle(LoadString(IDS_WAITING_FOR_PEER));
    // The camera starts off; the video turns it on when the user asks.
    View().SetVideoPicture(PRIVATE_VIDEO_OWN, EVideoPicture::Closed);
    View().SetVideoPicture(PRIVATE_VIDEO_PEER, EVideoPicture::Idle);
}

void CPrivateRoomDlg::Entered(const CKParam& reply) {
    if (!IsWindow()) {
        return;
    }
    m_ownReported = reply.TextOr(EnterPrivateReplyKey::REPORTED_ADDRESS);
    m_active = true;
    m_players.OpenAtInit();
    // The direct link listens from the start, so that the peer can reach us first.
    if (m_link) {
        m_link->Listen(*this);
    }
    View().SetQualityMark(QualityMenuItem(m_quality));
    View().SetBandwidth(m_bandwidth);
    View().ShowPrivateWindow(true);
}

void CPrivateRoomDlg::StopMedia() {
    KillTimer(TIMER_TICK);
    KillTimer(TIMER_TOCK);
    if (m_recording) {
        m_recording->OnRoomClosing();
    }
    if (m_video) {
        m_video->Close();
    }
    if (m_files) {
        m_files->Close();
    }
    if (m_link) {
        m_link->Close();
    }
    if (m_capture->IsCapturing()) {
        m_capture->StopCapture();
    }
    m_players.ClosePlayers();
    CRecordSource::Get().Release();
    m_discipline.Reset();
}

void CPrivateRoomDlg::Abandon() {
    if (!IsWindow()) {
        return;
    }
    StopMedia();
    m_active = false;
    DestroyMessageWindow();
}

void CPrivateRoomDlg::Close() {
    if (!IsWindow() || m_closing) {
        return;
    }
    m_closing = true;
    if (CResponseDlg* waiting = m_host.MainConnection().WaitingDialog();
        waiting && waiting->IsOpen()) {
        waiting->EndDialog(IDCANCEL);
    }
    StopMedia();
    m_active = false;
    View().ShowPrivateWindow(false);
    DestroyMessageWindow();
    m_closing = false;
    const int next = m_host.NextRoom();
    m_host.PostToHall(WM_HALL_ROOM, next != 0 ? 1 : 0, next);
}

void CPrivateRoomDlg::SetTitle(const QString& title) {
    m_title = title;
    View().SetTitle(title);
}

int CPrivateRoomDlg::SendMain(CKParam& packet) {
    CChatSocket& main = m_host.MainConnection();
    return main.IsConnect() ? main.SendPacket(packet) : -1;
}

int CPrivateRoomDlg::SendVideo(CKParam& packet) {
    if (m_link && m_link->SendVideo(packet)) {
        return 0;
    }
    CChatSocket& second = m_host.SecondConnection();
    return second.IsConnect() ? second.SendPacket(packet) : -1;
}

void CPrivateRoomDlg::DispatchPacket(CKParam& packet) {
    if (IsWindow()) {
        m_table.Dispatch(packet);
    }
}

// --- The peer ------------------------------------------------------------------------------

void CPrivateRoomDlg::OnPeerArrived(CKParam& packet) {
    // What the arrival says is only a notice; the peer's information is fetched, later, off
    // the receive path.
    m_peer.id = packet.TextOr(PeerArrivedKey::PEER);
    PostMessage(WM_PEER_INFO);
}

void CPrivateRoomDlg::FetchPeer() {
    CResponseDlg dialog(&m_host.MainConnection(), CMD_PEER_INFO);
    const int result = dialog.DoModal();
    if (!IsWindow()) {
        return;
    }
    if (result != IDOK) {
        MessageBox(LoadString(IDS_OP_PEER_INFO_FAILED) + LoadString(IDS_FAILURE_SUFFIX),
                   QStringLiteral("Warning"));
        return;
    }
    const CKParam& reply = dialog.Reply();
    m_peer.id = reply.TextOr(PeerInfoKey::PEER);
    m_peer.nickname = reply.TextOr(PeerInfoKey::NICKNAME);
    m_peer.number = reply.IntOr(PeerInfoKey::NUMBER, 0);
    m_peer.registered = reply.BoolOr(PeerInfoKey::REGISTERED, false);
    m_peer.video = reply.BoolOr(PeerInfoKey::VIDEO, false);
    m_peer.localAddress = reply.TextOr(PeerInfoKey::LOCAL_ADDRESS);
    m_peer.reportedAddress = reply.TextOr(PeerInfoKey::REPORTED_ADDRESS);
    m_peerPresent = true;
    SetTitle(m_peer.nickname + LoadString(IDS_PRIVATE_CHATTING));
    SetTimer(TIMER_TICK, kTickMs);
    if (m_video) {
        m_video->OnPeerPresent(true);
    }
    if (m_link) {
        m_link->Connect(m_ownReported, m_peer.reportedAddress, m_peer.localAddress);
    }
}

void CPrivateRoomDlg::OnPeerLeft(CKParam& packet) {
    const QString id = packet.TextOr(DepartureKey::MEMBER);
    if (!m_peerPresent || id.compare(m_peer.id, Qt::CaseInsensitive) != 0) {
        return;
    }
    m_peerPresent = false;
    m_peerPlaying = false;
    KillTimer(TIMER_TICK);
    KillTimer(TIMER_TOCK);
    EndSpeaking();
    if (m_video) {
        m_video->OnPeerPresent(false);
    }
    m_panes.SystemLine(LoadString(IDS_PEER_LEFT));
    m_panes.SystemLine(LoadString(IDS_STOPPED_SENDING));
    SetTitle(m_peer.nickname);
}

void CPrivateRoomDlg::OnNickname(CKParam& packet) {
    const QString id = packet.TextOr(NicknameChangedKey::MEMBER);
    const QString nickname = packet.TextOr(NicknameChangedKey::NICKNAME);
    if (nickname.isEmpty()) {
        return;
    }
    if (id.compare(m_ownId, Qt::CaseInsensitive) == 0) {
        m_ownNickname = nickname;
    } else if (m_peerPresent && id.compare(m_peer.id, Qt::CaseInsensitive) == 0) {
        m_peer.nickname = nickname;
        SetTitle(m_peer.nickname + LoadString(IDS_PRIVATE_CHATTING));
    }
}

// --- Requests ------------------------------------------------------------------------------

bool CPrivateRoomDlg::MayRequest(short code) {
    if (!IsWindow()) {
        return false;
    }
    if (!m_peerPresent) {
        m_panes.SystemLine(LoadString(IDS_WAIT_FOR_PEER));
        return false;
    }
    return m_discipline.CheckPending(code) && m_discipline.CheckInterval(code);
}

int CPrivateRoomDlg::SendText(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || !MayRequest(CMD_TEXT)) {
        return -1;
    }
    tagTextStyle style;
    const QString body = ChatLine(QString(), StyleAttribute(style), EscapeAngles(trimmed));
    return m_discipline.SendAttempt(CMD_TEXT, [&](CKParam& p) {
        p.SetCString(TextKey::TARGET, m_peer.id);
        p.SetCString(TextKey::LINE, body);
        p.SetInt(TextKey::PRIVATE, 1);
        p.SetCString(TextKey::TEXT, trimmed);
    });
}

void CPrivateRoomDlg::OnText(CKParam& packet) {
    const QString sender = packet.TextOr(TextLineKey::SENDER);
    const QString raw = packet.TextOr(TextLineKey::LINE);
    const bool own = sender.compare(m_ownId, Qt::CaseInsensitive) == 0;
    const bool fromPeer =
        !m_peer.id.isEmpty() && sender.compare(m_peer.id, Qt::CaseInsensitive) == 0;
    if (raw.isEmpty() || (!own && !fromPeer)) {
        return;
    }
    tagHeaderStyle style;
    style.nameFont = m_panes.Fonts().name;
    style.folder = CAppState::Get().programFolder;
    const QString nickname = m_peer.nickname.isEmpty() ? m_peer.id : m_peer.nickname;
    const QString header = own ? OwnPrivateHeader(style, {m_peer.id, nickname, 0})
                               : TargetPrivateHeader(style, {m_peer.id, nickname, 0});
    m_panes.Append(header + SanitizeChatFragment(raw, style.folder), false);
}

int CPrivateRoomDlg::PlayMusic() {
    if (!IsWindow()) {
        return -1;
    }
    if (!m_peerPresent) {
        m_panes.SystemLine(LoadString(IDS_PEER_ABSENT_NO_MUSIC));
        return -1;
    }
    if (m_quality != AUDIO_QUALITY_HIFI && m_quality != AUDIO_QUALITY_SINGING) {
        m_panes.SystemLine(LoadString(IDS_MUSIC_NEEDS_QUALITY));
        return -1;
    }
    if (!MayRequest(CMD_GRAB_MIC)) {
        return -1;
    }
    return m_discipline.SendAttempt(CMD_GRAB_MIC);
}

void CPrivateRoomDlg::OnMusicReply(CKParam& packet) {
    if (packet.IntOr(KEY_RESULT, 0) == -1) {
        return;
    }
    m_musicPlaying = true;
    View().SetMusic(true);
}

int CPrivateRoomDlg::StopMusic() {
    if (!MayRequest(CMD_RELEASE_MIC)) {
        return -1;
    }
    m_musicPlaying = false;
    View().SetMusic(false);
    return m_discipline.SendAttempt(CMD_RELEASE_MIC);
}

void CPrivateRoomDlg::OnPeerMusic(CKParam&) {
    m_peerPlaying = true;
    m_panes.SystemLine(LoadString(IDS_PEER_PLAYING));
}

void CPrivateRoomDlg::OnPeerMusicStopped(CKParam&) {
    m_peerPlaying = false;
    m_panes.SystemLine(LoadString(IDS_THE_PEER) + LoadString(IDS_OP_RELEASE_MIC));
}

int CPrivateRoomDlg::ChangeQuality(int quality) {
    if (!IsAudioQuality(quality) || !IsWindow()) {
        return -1;
    }
    if (quality == m_quality) {
        m_panes.SystemLine(LoadString(IDS_ALREADY) + LoadString(QualityNameId(quality)));
        return -1;
    }
    if (!MayRequest(CMD_QUALITY)) {
        return -1;
    }
    return m_discipline.SendAttempt(CMD_QUALITY,
                                    [&](CKParam& p) { p.SetInt(QualityKey::QUALITY, quality); });
}

void CPrivateRoomDlg::OnQualityChanged(CKParam& packet) {
    const int quality = packet.IntOr(QualityChangedKey::QUALITY, 0);
    if (!IsAudioQuality(quality)) {
        return;
    }
    View().SetQualityMark(QualityMenuItem(quality));
    if (quality == m_quality) {
        return;
    }
    m_quality = quality;
    m_panes.SystemLine(QStringLiteral("%1: %2").arg(LoadString(IDS_OP_QUALITY),
                                                    LoadString(QualityNameId(quality))));
    if (quality == AUDIO_QUALITY_SPEECH && m_musicPlaying) {
        m_musicPlaying = false;
        View().SetMusic(false);
        m_discipline.SendAttempt(CMD_RELEASE_MIC);
    }
    // A running capture goes on in the new quality.
    if (m_capture->IsCapturing()) {
        m_capture->StopCapture();
        BeginSpeaking();
    }
}

int CPrivateRoomDlg::SetBandwidth(int mode) {
    if (mode != BANDWIDTH_NARROW && mode != BANDWIDTH_BROAD) {
        return -1;
    }
    if (!MayRequest(CMD_BANDWIDTH)) {
        return -1;
    }
    return m_discipline.SendAttempt(CMD_BANDWIDTH,
                                    [&](CKParam& p) { p.SetInt(BandwidthKey::MODE, mode); });
}

void CPrivateRoomDlg::OnBandwidthChanged(CKParam& packet) {
    const int mode = packet.IntOr(BandwidthChangedKey::MODE, 0);
    if (mode != BANDWIDTH_NARROW && mode != BANDWIDTH_BROAD) {
        return;
    }
    m_bandwidth = mode;
    View().SetBandwidth(mode);
    m_panes.SystemLine(LoadString(mode == BANDWIDTH_NARROW ? IDS_NARROWBAND : IDS_BROADBAND));
}

int CPrivateRoomDlg::ChangeNickname(const QString& nickname) {
    const QString trimmed = nickname.trimmed();
    if (trimmed.isEmpty() || !MayRequest(CMD_NICKNAME)) {
        return -1;
    }
    return m_discipline.SendAttempt(
        CMD_NICKNAME, [&](CKParam& p) { p.SetCString(NicknameKey::NICKNAME, trimmed); });
}

int CPrivateRoomDlg::RequestSnapshot(int kind) {
    if (kind < 1 || kind > 3 || !MayRequest(CMD_SNAPSHOT_CONTROL)) {
        return -1;
    }
    return m_discipline.SendAttempt(CMD_SNAPSHOT_CONTROL,
                                    [&](CKParam& p) { p.SetInt(SnapshotControlKey::KIND, kind); });
}

void CPrivateRoomDlg::OnRecordResult(CKParam& packet) {
    if (m_recording) {
        m_recording->OnCharge(packet);
        return;
    }
    if (packet.IntOr(KEY_RESULT, 0) == -1) {
        m_panes.SystemLine(LoadString(IDS_OP_SNAPSHOT_CONTROL) + LoadString(IDS_FAILURE_SUFFIX) +
                           RefusalText(packet.IntOr(KEY_REFUSAL, 0)));
    }
}

int CPrivateRoomDlg::AskGift() {
    if (!IsWindow()) {
        return -1;
    }
    if (!m_registered) {
        m_panes.SystemLine(LoadString(IDS_LOGIN_FIRST));
        return -1;
    }
    if (!m_gifts || !MayRequest(CMD_GIFT)) {
        return -1;
    }
    CGiveGiftDlg dialog(m_gifts->Catalogue(), m_peer.id, GIFT_KIND_GIFT, true);
    if (dialog.DoModal() != IDOK || !IsWindow() || !dialog.ChosenItem()) {
        return -1;
    }
    return GiveGift(dialog.ChosenItem()->number);
}

int CPrivateRoomDlg::GiveGift(int number) {
    if (!IsWindow()) {
        return -1;
    }
    if (!m_registered) {
        m_panes.SystemLine(LoadString(IDS_LOGIN_FIRST));
        return -1;
    }
    if (number <= 0) {
        m_panes.SystemLine(LoadString(IDS_BAD_GIFT));
        return -1;
    }
    if (!MayRequest(CMD_GIFT)) {
        return -1;
    }
    // The private room's request names the peer and the gift alone: one item, never a stamp.
    return m_discipline.SendAttempt(CMD_GIFT, [&](CKParam& p) {
        p.SetCString(GiveGiftKey::RECIPIENT, m_peer.id);
        p.SetInt(GiveGiftKey::GIFT, number);
    });
}

QString CPrivateRoomDlg::LineName(const QString& id) const {
    if (id.isEmpty()) {
        return LoadString(IDS_BACKSTAGE_ADMIN);
    }
    const QString name = id == m_ownId                      ? m_ownNickname
                         : id == m_peer.id && m_peerPresent ? m_peer.nickname
                                                            : id;
    return QStringLiteral("%1(%2)").arg(name, id);
}

void CPrivateRoomDlg::OnGiftGiven(CKParam& packet) {
    using namespace GiftGivenKey;
    const QString name = packet.TextOr(NAME);
    if (name.isEmpty()) {
        return;
    }
    ApplyGiftBalance(packet, m_ownId, m_registered);
    m_panes.SystemLine(HtmlEscape(FillPlaceholders(
        LoadString(IDS_LINE_GIFT),
        {LineName(packet.TextOr(GIVER)), LineName(packet.TextOr(RECIPIENT)), name,
         CGifts::ValueText(packet.IntOr(VALUE, 0), CAppState::Get().settings.moneyName)})));
    if (m_gifts) {
        m_gifts->Animate(packet);
    }
}

// --- Files ---------------------------------------------------------------------------------

void CPrivateRoomDlg::OfferFile() {
    if (!IsWindow()) {
        return;
    }
    if (!m_peerPresent) {
        m_panes.SystemLine(LoadString(IDS_WAIT_FOR_PEER));
        return;
    }
    if (m_files) {
        m_files->Offer(*this);
    }
}

void CPrivateRoomDlg::OnFileOfferReply(CKParam& packet) {
    if (m_files) {
        m_files->OnOfferReply(*this, packet);
    }
}

void CPrivateRoomDlg::OnFileOffered(CKParam& packet) {
    if (m_files) {
        m_files->OnOffered(*this, packet);
        return;
    }
    // Nothing here can receive a file.
    CKParam answer;
    answer.SetShortInt(KEY_COMMAND, CMD_FILE_ANSWER);
    answer.SetBoolean(FileOfferKey::AGREED, false);
    SendMain(answer);
}

// --- Voice ---------------------------------------------------------------------------------

int CPrivateRoomDlg::BeginSpeaking() {
    if (!IsWindow()) {
        return -1;
    }
    int result = 0;
    if (!m_capture->IsCapturing() && m_capture->StartCapture(m_quality) != 0) {
        m_panes.SystemLine(LoadString(IDS_CAPTURE_FAILED));
        result = -1;
    }
    if (m_quality == AUDIO_QUALITY_SPEECH) {
        // Speech records the microphone alone. Its line stays open: in our mixer the
        // microphone line is what is recorded, and muting it would send silence.
        SelectDualMicSource();
    } else {
        SelectSpeakingSource(*this);
    }
    View().SetSpeakButton(m_capture->IsCapturing());
    return result;
}

void CPrivateRoomDlg::EndSpeaking() {
    if (m_capture->IsCapturing()) {
        m_capture->StopCapture();
        SelectSilentSource();
    }
    View().SetSpeakButton(false);
    View().SetMeter(0);
}

void CPrivateRoomDlg::OnSpeak(CKParam&) {
    if (m_capture->IsCapturing() && m_quality == AUDIO_QUALITY_SPEECH) {
        return;
    }
    m_capture->StopCapture();
    m_quality = AUDIO_QUALITY_SPEECH;
    View().SetQualityMark(ID_QUALITY_SPEECH);
    BeginSpeaking();
}

void CPrivateRoomDlg::OnAudio(CKParam& packet) {
    ++m_counters.received;
    tagAudioPacket audio;
    const bool fromPeer =
        ParseAudioPacket(packet, audio) == 0 && !m_peer.id.isEmpty() &&
        packet.TextOr(AudioKey::SENDER).compare(m_peer.id, Qt::CaseInsensitive) == 0;
    if (fromPeer && m_players.PlayPayload(audio.quality, 1, audio.payload)) {
        ++m_counters.played;
    } else {
        ++m_counters.dropped;
    }
}

QString CPrivateRoomDlg::VoiceOwnId() const {
    return m_ownId;
}

void CPrivateRoomDlg::PostVoiceMeter(int meter, int loud) {
    PostMessage(WM_PRIVATE_VOICE_METER, static_cast<uintptr_t>(meter), loud);
}

void CPrivateRoomDlg::SendVoicePacket(CKParam& packet) {
    // Voice always goes through the room, whatever the direct link does.
    CChatSocket& second = m_host.SecondConnection();
    if (second.IsConnect()) {
        second.SendPacket(packet);
    }
}

void CPrivateRoomDlg::AddSystemLine(const QString& text) {
    m_panes.SystemLine(text);
}

void CPrivateRoomDlg::ShowMicVolume(int volume) {
    View().ShowMicVolume(volume);
}

bool CPrivateRoomDlg::OpenSoundSettings() {
    CSoundConfigDlg dialog;
    dialog.DoModal();
    return true;
}

// --- Window --------------------------------------------------------------------------------

void CPrivateRoomDlg::OnTimer(unsigned id) {
    if (m_discipline.OnTimer(id)) {
        return;
    }
    CKParam tick;
    switch (id) {
        case TIMER_TICK:
            tick.SetShortInt(KEY_COMMAND, CMD_PRIVATE_TICK);
            SendMain(tick);
            SetTimer(TIMER_TOCK, kTockMs);
            break;
        case TIMER_TOCK:
            KillTimer(TIMER_TOCK);
            tick.SetShortInt(KEY_COMMAND, CMD_PRIVATE_TOCK);
            SendMain(tick);
            break;
        default:
            break;
    }
}

intptr_t CPrivateRoomDlg::OnMessage(unsigned msg, uintptr_t wParam, intptr_t) {
    switch (msg) {
        case WM_PEER_INFO:
            FetchPeer();
            break;
        case WM_PRIVATE_VOICE_METER:
            if (m_capture->IsCapturing()) {
                View().SetMeter(kMeterScale * static_cast<int>(wParam));
            }
            break;
        default:
            break;
    }
    return 0;
}

void CPrivateRoomDlg::OnCopyData(unsigned tag, const QByteArray& data) {
    if (m_video) {
        m_video->OnCopyData(tag, data);
    }
}
