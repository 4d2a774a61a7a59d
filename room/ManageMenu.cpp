#include "room/ManageMenu.h"

#include "audio/AudioFormats.h"
#include "core/AppState.h"
#include "platform/StringTable.h"
#include "platform/System.h"
#include "room/ChatPanes.h"
#include "room/ChatText.h"
#include "room/MicOrder.h"
#include "room/RoomAdministration.h"
#include "room/RoomAudio.h"
#include "room/RoomDlg.h"
#include "room/RoomScoring.h"

#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

namespace {

// The room's voice, when the client installed it.
CRoomAudio* Audio(const CRoomDlg& room) {
    return dynamic_cast<CRoomAudio*>(room.VoiceSender());
}

bool IsPage(const QString& address) {
    return !address.isEmpty() && address != QLatin1String("about:blank");
}

}  // namespace

QString CManageMenu::Title() {
    return LoadString(IDS_MENU_TITLE);
}

bool CManageMenu::MayOpen() {
    if (m_room.OwnRank() >= kMinRank) {
        return true;
    }
    m_room.Panes().SystemLine(LoadString(IDS_OWNER_ONLY), SUFFIX_NONE, true);
    return false;
}

std::vector<tagManageEntry> CManageMenu::Entries() const {
    std::vector<tagManageEntry> entries;
    if (m_room.OwnRank() < kMinRank) {
        return entries;
    }
    CRoomDlg& room = m_room;
    const CMicOrder& mic = room.Mic();
    const CRoomAudio* audio = Audio(room);
    auto add = [&](EManageEntry id, const QString& text, bool enabled, bool groupStart = false) {
        entries.push_back({id, text, enabled, false, false, groupStart});
        return &entries.back();
    };
    auto check = [](tagManageEntry* entry, bool on) {
        entry->checkable = true;
        entry->checked = on;
    };

    const CRoomAdministration& admin = room.Admin();
    const bool publicText = room.Chat().PublicTextAllowed();
    check(add(EManageEntry::PublicTextOn, LoadString(IDS_MENU_PUBLIC_TEXT_ON), true), publicText);
    check(add(EManageEntry::PublicTextOff, LoadString(IDS_MENU_PUBLIC_TEXT_OFF), true),
          !publicText);
    check(add(EManageEntry::VideoOn, LoadString(IDS_MENU_VIDEO_ON), true, true),
          admin.VideoAllowed());
    check(add(EManageEntry::VideoOff, LoadString(IDS_MENU_VIDEO_OFF), true), !admin.VideoAllowed());

    check(add(EManageEntry::SecondMicOn, LoadString(IDS_MENU_SECOND_MIC_ON), true, true),
          mic.DualMic());
    check(add(EManageEntry::SecondMicOff, LoadString(IDS_MENU_SECOND_MIC_OFF), true),
          !mic.DualMic());

    const int quality = audio ? audio->RoomQuality() : AUDIO_QUALITY_NONE;
    const std::pair<EManageEntry, int> qualities[] = {
        {EManageEntry::QualitySpeech, AUDIO_QUALITY_SPEECH},
        {EManageEntry::QualitySinging, AUDIO_QUALITY_SINGING},
        {EManageEntry::QualityHifi, AUDIO_QUALITY_HIFI}};
    for (int i = 0; i < 3; ++i) {
        tagManageEntry* e = add(qualities[i].first, LoadString(QualityNameId(qualities[i].second)),
                                audio != nullptr, i == 0);
        check(e, quality == qualities[i].second);
    }

    const int mode = mic.Mode();
    const bool forced = mic.ForcedQueue();
    check(add(EManageEntry::ModeGrab, LoadString(IDS_MODE_GRAB), true, true), mode == MIC_GRAB);
    check(add(EManageEntry::ModeQueue, LoadString(IDS_MENU_MODE_QUEUE), true),
          mode == MIC_QUEUE && !forced);
    check(add(EManageEntry::ModeQueueForced, LoadString(IDS_MENU_MODE_QUEUE_FORCED), true),
          mode == MIC_QUEUE && forced);
    check(add(EManageEntry::ModeOperator, LoadString(IDS_MODE_OPERATOR), true),
          mode == MIC_OPERATOR);

    add(EManageEntry::MicTime, LoadString(IDS_OP_MIC_TIME), true, true);
    add(EManageEntry::Topic, LoadString(IDS_MENU_TOPIC), true);
    check(add(EManageEntry::Lock, LoadString(IDS_MENU_LOCK), true), admin.Locked());
    check(add(EManageEntry::Activity, LoadString(IDS_MENU_ACTIVITY), true, true),
          room.Scoring().ActivityRunning());
    add(EManageEntry::Score, LoadString(IDS_MENU_SCORE), true);
    add(EManageEntry::Game, LoadString(IDS_MENU_GAME), false);
    add(EManageEntry::Last, LoadString(IDS_MENU_LAST), false);

    if (room.OwnRank() == kOwnerRank) {
        add(EManageEntry::OwnerPage, LoadString(IDS_MENU_OWNER_PAGE),
            IsPage(PageAddress(EManageEntry::OwnerPage)), true);
        add(EManageEntry::SubOwnerPage, LoadString(IDS_MENU_SUB_OWNER_PAGE),
            IsPage(PageAddress(EManageEntry::SubOwnerPage)));
    }
    return entries;
}

bool CManageMenu::Offered(EManageEntry id) const {
    const std::vector<tagManageEntry> entries = Entries();
    return std::any_of(entries.begin(), entries.end(),
                       [id](const tagManageEntry& e) { return e.id == id && e.enabled; });
}

QString CManageMenu::PageAddress(EManageEntry id) const {
    if (id != EManageEntry::OwnerPage && id != EManageEntry::SubOwnerPage) {
        return QString();
    }
    const tagSettings& settings = CAppState::Get().settings;
    const QString base =
        id == EManageEntry::OwnerPage ? settings.urlMasterManage : settings.urlSubMasterManage;
    if (!IsPage(base)) {
        return QString();
    }
    // The page is about this room, for the account that owns it.
    QUrl url(base);
    QUrlQuery query(url);
    query.addQueryItem(QStringLiteral("room"), QString::number(m_room.Entry().room));
    query.addQueryItem(QStringLiteral("u"), m_room.OwnId());
    url.setQuery(query);
    return url.toString();
}

int CManageMenu::Run(EManageEntry id) {
    if (!Offered(id)) {
        return -1;
    }
    CMicOrder& mic = m_room.Mic();
    CRoomAdministration& admin = m_room.Admin();
    switch (id) {
        case EManageEntry::PublicTextOn:
            return admin.SetPublicText(true);
        case EManageEntry::PublicTextOff:
            return admin.SetPublicText(false);
        case EManageEntry::VideoOn:
            return admin.SetVideo(true);
        case EManageEntry::VideoOff:
            return admin.SetVideo(false);
        case EManageEntry::Topic:
            return admin.ChangeTopic();
        case EManageEntry::Lock:
            return admin.ChangeLock();
        case EManageEntry::Activity:
            return m_room.Scoring().ToggleActivity();
        case EManageEntry::Score:
            return m_room.Scoring().RequestScore();
        case EManageEntry::SecondMicOn:
            return mic.SetSecondMicAllowed(true);
        case EManageEntry::SecondMicOff:
            return mic.SetSecondMicAllowed(false);
        case EManageEntry::QualitySpeech:
            return Audio(m_room)->ChangeQuality(AUDIO_QUALITY_SPEECH);
        case EManageEntry::QualitySinging:
            return Audio(m_room)->ChangeQuality(AUDIO_QUALITY_SINGING);
        case EManageEntry::QualityHifi:
            return Audio(m_room)->ChangeQuality(AUDIO_QUALITY_HIFI);
        case EManageEntry::ModeGrab:
            return mic.SetMode(MIC_GRAB, false);
        case EManageEntry::ModeQueue:
            return mic.SetMode(MIC_QUEUE, false);
        case EManageEntry::ModeQueueForced:
            return mic.SetMode(MIC_QUEUE, true);
        case EManageEntry::ModeOperator:
            return mic.SetMode(MIC_OPERATOR, false);
        case EManageEntry::MicTime:
            return mic.ChangeMicTime();
        case EManageEntry::OwnerPage:
        case EManageEntry::SubOwnerPage: {
            // Without a browser the menu would seem to do nothing: the room says so, with the
            // address to open by hand.
            const QString page = PageAddress(id);
            CChatPanes& panes = m_room.Panes();
            OpenWebPage(page, [&panes, page](bool opened) {
                if (!opened) {
                    panes.SystemLine(
                        LoadString(IDS_NO_BROWSER).replace(QStringLiteral("%s"), page));
                }
            });
            return 0;
        }
        default:
            return -1;
    }
}
