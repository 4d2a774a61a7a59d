#include "app/cli/ConsoleViews.h"

#include "room/ChatFormat.h"
#include "room/MemberList.h"
#include "room/RoomVideo.h"
#include "room/UserInfo.h"

void CConsoleHallView::SetAreaList(int list, const std::vector<tagListEntry>& entries) {
    if (list < 0 || list >= static_cast<int>(m_areas.size())) {
        return;
    }
    m_areas[static_cast<size_t>(list)] = entries;
    m_out.Line(QStringLiteral("大厅"),
               QStringLiteral("area list %1: %2 entries").arg(list).arg(entries.size()));
}

void CConsoleHallView::SetRoomList(const std::vector<tagListEntry>& entries) {
    m_rooms = entries;
    ++m_roomLists;
    m_out.Line(QStringLiteral("大厅"), QStringLiteral("room list: %1 rooms").arg(entries.size()));
}

void CConsoleHallView::SetInformation(const QString& text) {
    if (!text.isEmpty()) {
        m_out.Line(QStringLiteral("信息"), text);
    }
}

void CConsoleHallView::SetStatus(const QString& text) {
    // The status window repeats itself while a step runs; print each text once.
    if (!text.isEmpty() && text != m_status) {
        m_out.Line(QStringLiteral("状态"), text);
    }
    m_status = text;
}

int CConsoleHallView::TextWidth(const QString& text) const {
    int width = 0;
    for (const QChar c : text) {
        width += c.unicode() >= 0x1100 ? 2 : 1;
    }
    return width;
}

bool CConsoleChatView::InsertAtFirstTd(const QString& fragment) {
    const QString text = PlainChatText(fragment);
    if (!text.isEmpty()) {
        m_out.Line(m_tag, text);
    }
    return true;
}

void CConsoleRoomView::ShowRoomWindow(bool show) {
    m_out.Line(QStringLiteral("房间"),
               show ? QStringLiteral("window open") : QStringLiteral("window closed"));
    if (!show) {
        m_members = nullptr;
    }
}

void CConsoleRoomView::SetRoomName(const QString& name) {
    m_out.Line(QStringLiteral("房间"), name);
}

void CConsoleRoomView::RedrawMembers(const CMemberList& members, const QString& countText) {
    m_members = &members;
    if (countText != m_count) {
        m_count = countText;
        m_out.Line(QStringLiteral("成员"), countText);
    }
}

void CConsoleRoomView::SetMicMode(const QString& text) {
    m_out.Line(QStringLiteral("麦序"), text);
}

void CConsoleRoomView::SetMainMic(const QString& holder, const QString& time) {
    // The countdown ticks every second; print only a change of holder.
    if (holder != m_mainHolder) {
        m_mainHolder = holder;
        m_out.Line(QStringLiteral("主麦"), holder);
    }
}

void CConsoleRoomView::SetSecondMic(const QString& holder, const QString& time) {
    if (holder != m_secondHolder) {
        m_secondHolder = holder;
        m_out.Line(QStringLiteral("二麦"), holder);
    }
}

void CConsoleRoomView::SetTopic(const QString& title, const QString& topic) {
    if (!topic.isEmpty()) {
        m_out.Line(title, topic);
    }
}

void CConsoleRoomView::SetTimedNotices(const QStringList& notices) {
    if (!notices.isEmpty()) {
        m_out.Line(QStringLiteral("公告"), notices.last());
    }
}

void CConsoleRoomView::ShowTextNotice(const QString& text) {
    m_out.Line(QStringLiteral("公告"), text);
}

void CConsoleRoomView::PrintMembers() const {
    if (!m_members) {
        m_out.Line(QStringLiteral("成员"), QStringLiteral("not in a room"));
        return;
    }
    // Owner first, then the ranks from the top down, then the general lists.
    static const CMemberList::EList order[] = {
        CMemberList::OWNER,       CMemberList::LIST_80,   CMemberList::LIST_70,
        CMemberList::LIST_50,     CMemberList::LIST_40,   CMemberList::LIST_30,
        CMemberList::GENERAL_2_B, CMemberList::GENERAL_2, CMemberList::GENERAL_1};
    for (const auto list : order) {
        for (const UserInfo& m : m_members->List(list)) {
            m_out.Line(QStringLiteral("成员"),
                       QStringLiteral("%1(%2) rank %3").arg(m.nickname, m.id).arg(m.rank));
        }
    }
    m_out.Line(QStringLiteral("成员"), m_count);
}

QStringList CConsoleRoomView::MemberWords() const {
    QStringList words;
    if (m_members) {
        m_members->ForEach([&](const UserInfo& m) { words << m.id << m.nickname; });
    }
    words.removeAll(QString());
    words.removeDuplicates();
    return words;
}

void CConsoleRoomView::SetVideo(CRoomVideo* video) {
    for (int window = VIDEO_PRIVATE; window <= VIDEO_OWN; ++window) {
        std::function<int()> number;
        if (video && window != VIDEO_OWN) {
            number = [video, window] { return video->Receiving().LastDecoded(window); };
        }
        m_video[static_cast<size_t>(window)] =
            std::make_unique<CConsoleVideoSurface>(m_out, window, std::move(number));
    }
}

IVideoSurface* CConsoleRoomView::VideoSurface(int window) {
    return window >= VIDEO_PRIVATE && window <= VIDEO_OWN
               ? m_video[static_cast<size_t>(window)].get()
               : nullptr;
}

const CConsoleVideoSurface* CConsoleRoomView::Surface(int window) const {
    return window >= VIDEO_PRIVATE && window <= VIDEO_OWN
               ? m_video[static_cast<size_t>(window)].get()
               : nullptr;
}

void CConsoleRoomView::SaveFrames(const QString& folder) {
    for (int window : {VIDEO_PRIVATE, VIDEO_1, VIDEO_2}) {
        if (m_video[static_cast<size_t>(window)]) {
            m_video[static_cast<size_t>(window)]->SaveTo(folder);
        }
    }
}

void CConsoleRoomView::ShowVideoPopOut(int window, bool shown) {
    if (window == VIDEO_PRIVATE) {
        m_out.Line(QStringLiteral("视频"), shown ? QStringLiteral("private viewer open")
                                                 : QStringLiteral("private viewer closed"));
    } else {
        m_out.Line(QStringLiteral("视频"), QStringLiteral("video %1 %2")
                                               .arg(window)
                                               .arg(shown ? QStringLiteral("popped out")
                                                          : QStringLiteral("back in the room")));
    }
}

void CConsoleRoomView::SetOwnVideo(bool open) {
    m_out.Line(QStringLiteral("视频"),
               open ? QStringLiteral("own video open") : QStringLiteral("own video closed"));
}

void CConsoleRecordView::SetToggleText(const QString& text) {
    m_out.Line(QStringLiteral("录像"), text);
}

void CConsoleRecordView::SetSendChecked(bool checked) {
    m_out.Line(QStringLiteral("录像"),
               checked ? QStringLiteral("send on") : QStringLiteral("send off"));
}

void CConsoleRecordView::EnableControls(bool enable) {
    m_out.Line(QStringLiteral("录像"),
               enable ? QStringLiteral("ready") : QStringLiteral("inactive"));
}

CConsolePrivateRoomView::CConsolePrivateRoomView(CConsoleOutput& out)
    : m_out(out),
      m_peer(out, 10 + PRIVATE_VIDEO_PEER, [] { return 0; }),
      m_own(out, 10 + PRIVATE_VIDEO_OWN, [] { return 0; }) {}

IVideoSurface* CConsolePrivateRoomView::VideoSurface(int area) {
    return area == PRIVATE_VIDEO_OWN ? &m_own : &m_peer;
}

int CConsolePrivateRoomView::Drawn(int area) const {
    return area == PRIVATE_VIDEO_OWN ? m_own.Drawn() : m_peer.Drawn();
}

void CConsolePrivateRoomView::ShowFileProgress(const QString& name, bool sending, int percent) {
    int& shown = m_fileTenth[sending ? 1 : 0];
    if (percent < 0) {
        shown = -1;  // the ending has its own line
        return;
    }
    if (percent / 10 == shown) {
        return;
    }
    shown = percent / 10;
    m_out.Line(QStringLiteral("私聊房"),
               QStringLiteral("file %1 %2 %3%")
                   .arg(sending ? QStringLiteral("sending") : QStringLiteral("receiving"), name)
                   .arg(percent));
}

void CConsolePrivateRoomView::ShowPrivateWindow(bool show) {
    m_out.Line(QStringLiteral("私聊房"),
               show ? QStringLiteral("window open") : QStringLiteral("window closed"));
}

void CConsolePrivateRoomView::SetTitle(const QString& title) {
    m_out.Line(QStringLiteral("私聊房"), QStringLiteral("title ") + title);
}

void CConsolePrivateRoomView::SetQualityMark(int menuItem) {
    m_out.Line(QStringLiteral("私聊房"), QStringLiteral("quality menu %1").arg(menuItem));
}

void CConsolePrivateRoomView::SetBandwidth(int mode) {
    m_out.Line(QStringLiteral("私聊房"), QStringLiteral("bandwidth %1").arg(mode));
}
