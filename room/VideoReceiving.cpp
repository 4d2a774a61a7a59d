#include "room/VideoReceiving.h"

#include "core/AppState.h"
#include "platform/CodePage.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "protocol/KParam.h"
#include "protocol/keys/VideoKeys.h"
#include "room/ChatText.h"
#include "room/MicOrder.h"
#include "room/RoomDlg.h"
#include "room/RoomMembers.h"
#include "room/RoomView.h"
#include "room/UserInfo.h"

#include <memory>

namespace {
constexpr tagVideoRect kPicture{0, 0, 176, 144};
}  // namespace

CVideoReceiving::CVideoReceiving(CRoomDlg& room) : m_room(room) {}

void CVideoReceiving::Reset() {
    for (int w = VIDEO_PRIVATE; w <= VIDEO_2; ++w) {
        m_receivers[Index(w)].Release();
    }
    m_open.fill(false);
    m_poppedOut.fill(false);
    m_loss.fill(tagVideoLoss());
    m_lastDecoded.fill(0);
    m_watched.clear();
    m_counters = tagCounters();
}

void CVideoReceiving::CloseAll() {
    ClosePrivateViewer();
    for (int slot : {VIDEO_1, VIDEO_2}) {
        PopIn(slot);
        CloseVideo(slot, true);
    }
}

bool CVideoReceiving::IsOpen(int slot) const {
    return m_open[Index(slot)];
}

bool CVideoReceiving::IsPoppedOut(int window) const {
    return m_poppedOut[Index(window)];
}

QString CVideoReceiving::Holder(int window) const {
    switch (window) {
        case VIDEO_1:
            return m_room.Mic().MainHolder();
        case VIDEO_2:
            return m_room.Mic().SecondHolder();
        default:
            return m_watched;
    }
}

void CVideoReceiving::CreateReceiver(int window) {
    CVideoClientH264& receiver = m_receivers[Index(window)];
    IVideoSurface* videoWindow = nullptr;
    // The room does not look at the result: without a decoder the window stays empty.
    receiver.Create(m_room.View().VideoSurface(window), kPicture, kPicture, videoWindow);
    receiver.Open();
    receiver.Start();
    receiver.ShowVideoWindow(true);
}

void CVideoReceiving::OpenVideo(int slot) {
    if ((slot != VIDEO_1 && slot != VIDEO_2) || m_open[Index(slot)]) {
        return;
    }
    CreateReceiver(slot);
    m_open[Index(slot)] = true;
    m_room.View().SetVideoToggle(slot, LoadString(IDS_VIDEO_TOGGLE_CLOSE));
    m_room.View().SetVideoPicture(slot, EVideoPicture::Open);
}

void CVideoReceiving::CloseVideo(int slot, bool leaving) {
    if ((slot != VIDEO_1 && slot != VIDEO_2) || !m_open[Index(slot)]) {
        return;
    }
    CVideoClientH264& receiver = m_receivers[Index(slot)];
    receiver.Stop();
    receiver.Close();
    receiver.Release();
    m_open[Index(slot)] = false;
    if (!leaving) {
        m_room.View().SetVideoToggle(slot, LoadString(IDS_VIDEO_TOGGLE_OPEN));
        m_room.View().SetVideoPicture(slot, EVideoPicture::Closed);
    } else {
        m_room.View().SetVideoPicture(slot, EVideoPicture::Idle);
    }
}

void CVideoReceiving::OpenPrivateViewer(const QString& member) {
    m_watched = member;
    if (m_poppedOut[VIDEO_PRIVATE]) {
        return;
    }
    CreateReceiver(VIDEO_PRIVATE);
    m_open[VIDEO_PRIVATE] = true;
    m_poppedOut[VIDEO_PRIVATE] = true;
    m_room.View().ShowVideoPopOut(VIDEO_PRIVATE, true);
    m_receivers[VIDEO_PRIVATE].SetVideoRect(kPicture);
}

void CVideoReceiving::ClosePrivateViewer() {
    m_watched.clear();
    if (!m_open[VIDEO_PRIVATE] && !m_poppedOut[VIDEO_PRIVATE]) {
        return;
    }
    CVideoClientH264& receiver = m_receivers[VIDEO_PRIVATE];
    receiver.Stop();
    receiver.Close();
    receiver.Release();
    m_open[VIDEO_PRIVATE] = false;
    m_loss[VIDEO_PRIVATE] = tagVideoLoss();
    if (m_poppedOut[VIDEO_PRIVATE]) {
        m_poppedOut[VIDEO_PRIVATE] = false;
        m_room.View().ShowVideoPopOut(VIDEO_PRIVATE, false);
    }
}

void CVideoReceiving::PopOut(int slot) {
    if ((slot != VIDEO_1 && slot != VIDEO_2) || m_poppedOut[Index(slot)]) {
        return;
    }
    m_poppedOut[Index(slot)] = true;
    m_room.View().ShowVideoPopOut(slot, true);
    m_receivers[Index(slot)].SetVideoRect(kPicture);
}

void CVideoReceiving::PopIn(int slot) {
    if ((slot != VIDEO_1 && slot != VIDEO_2) || !m_poppedOut[Index(slot)]) {
        return;
    }
    m_poppedOut[Index(slot)] = false;
    m_room.View().ShowVideoPopOut(slot, false);
    m_receivers[Index(slot)].MoveWindow(&kPicture, 1);
}

int CVideoReceiving::CapturePicture(int slot, const QString& path) {
    if (slot != VIDEO_1 && slot != VIDEO_2) {
        return -1;
    }
    return m_receivers[Index(slot)].CapturePicture(ToAnsi(path));
}

bool CVideoReceiving::Vetted(int slot, const QString& sender) const {
    const QString holder =
        slot == VIDEO_1 ? m_room.Mic().MainHolder() : m_room.Mic().SecondHolder();
    if (m_filter.rankedVideo) {
        const UserInfo* member = m_room.Members().Find(holder);
        if (!member || member->rank < kMinRankedVideo) {
            return false;
        }
    }
    // Video 1 belongs to the main microphone's holder, video 2 to the second's. A member the
    // user blocked is not seen, as he is not heard or read.
    return !sender.isEmpty() && sender == holder && !m_room.Chat().IsBlocked(holder);
}

void CVideoReceiving::OnVideo(CKParam& packet) {
    ++m_counters.received;
    const int slot = packet.IntOr(VideoKey::SLOT, -1);
    if (CAppState::Get().clientVersion > kRoomKeyVersion &&
        packet.IntOr(VideoKey::ROOM, -1) != m_room.Entry().room) {
        ++m_counters.dropped;
        return;
    }
    const QString sender = packet.TextOr(VideoKey::SENDER);
    const QString viewers = packet.TextOr(VideoKey::VIEWERS);
    if (viewers.isEmpty() && (slot == VIDEO_1 || slot == VIDEO_2) && !Vetted(slot, sender)) {
        ++m_counters.dropped;
        return;
    }
    // The frame packet is copied out: parsing it must not disturb the room packet.
    unsigned short length = 0;
    if (packet.GetChar(VideoKey::FRAME, nullptr, length) != 0 || length == 0) {
        ++m_counters.dropped;
        return;
    }
    const auto copy = std::make_unique<char[]>(length);
    CKParam frame;
    if (packet.GetChar(VideoKey::FRAME, copy.get(), length) != 0 ||
        frame.SetBufferPtr(copy.get(), length) != 0) {
        ++m_counters.dropped;
        return;
    }
    bool key = false;
    int number = 0;
    if (frame.GetBoolean(VideoFrameKey::KEY, key) != 0 ||
        frame.GetInt(VideoFrameKey::NUMBER, number) != 0 || slot < 0 || slot > VIDEO_2) {
        ++m_counters.dropped;
        return;
    }
    if (!m_loss[Index(slot)].Accept(key, number)) {
        ++m_counters.dropped;
        return;
    }
    char* data = nullptr;
    unsigned short n = 0;
    if (frame.GetCharNC(VideoFrameKey::DATA, &data, n) != 0 || !data || n == 0) {
        ++m_counters.dropped;
        return;
    }
    if (slot == VIDEO_PRIVATE && !ForMe(viewers, sender)) {
        ++m_counters.dropped;
        return;
    }
    if (m_tap && m_tap->TakesWindow(slot)) {
        m_tap->OnReceivedFrame(key, QByteArray(copy.get(), length));
    }
    Decode(slot, number, data, n);
}

bool CVideoReceiving::ForMe(const QString& viewers, const QString& sender) const {
    const QString own = m_room.OwnId();
    for (const QString& id : viewers.split(QLatin1Char(','))) {
        if (id == own) {
            return !m_watched.isEmpty() && sender == m_watched;
        }
    }
    return false;
}

void CVideoReceiving::Decode(int window, int number, const char* data, int length) {
    m_lastDecoded[Index(window)] = number;
    // A closed receiver is not created; it takes the frame and draws nothing.
    if (m_receivers[Index(window)].DecodeBuffer(data, length) == 0) {
        ++m_counters.decoded;
    } else {
        ++m_counters.dropped;
    }
}
