#include "room/ChatText.h"

#include "core/AppState.h"
#include "core/Notifier.h"
#include "platform/Clock.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/keys/ChatKeys.h"
#include "room/ChatFormat.h"
#include "room/ChatSanitizer.h"
#include "room/RoomDlg.h"
#include "room/RoomMembers.h"
#include "room/RoomStrings.h"
#include "room/RoomView.h"

CChatText::CChatText(CRoomDlg& room) : m_room(room) {}

void CChatText::Register(CDispatchTable& table) {
    table.Sends(CMD_TEXT);
    table.On(CMD_TEXT_LINE, [this](CKParam& p) { OnTextLine(p); });
    table.On(CMD_TEXT_NOTICE, [this](CKParam& p) { OnTextNotice(p); });
}

void CChatText::OnRoomOpened() {
    // Lines of a new stay go to everybody until the user picks somebody, and the label says so.
    SetTarget(QString());
    m_typeForbidden = false;
    m_typeForbiddenBy.clear();
    m_publicText = true;
    m_showTime = false;
}

void CChatText::OnSettings(const tagRoomSettings& s) {
    CForbiddenText::Get().Fill(s.forbiddenNicknames, s.forbiddenTexts);
    m_publicText = s.publicText;
    m_showTime = s.showTime;
}

tagHeaderStyle CChatText::HeaderStyle() const {
    tagHeaderStyle s;
    s.nameFont = m_room.Panes().Fonts().name;
    s.folder = m_room.Options().programFolder;
    s.stamps = m_room.Options().stampsEnabled;
    if (m_showTime) {
        s.time = TimeOfDay(CClock::Get().UnixMs());
    }
    return s;
}

bool CChatText::FacesPermitted() const {
    const UserInfo* own = m_room.OwnRecord();
    return own && own->registered && own->FaceEndTime() > CClock::Get().Now();
}

int CChatText::SendText(const QString& input) {
    CChatPanes& panes = m_room.Panes();
    CRequestDiscipline& discipline = m_room.Discipline();
    if (m_typeForbidden) {
        panes.SystemLine(
            FillPlaceholders(LoadString(IDS_LINE_TYPE_FORBIDDEN),
                             {LoadString(IDS_YOU), m_room.Members().LineName(m_typeForbiddenBy)}));
        return -1;
    }
    const int edition = m_room.Edition();
    if ((edition == EDITION_50 || edition == EDITION_70) &&
        CClock::Get().Now() - m_room.Entry().entryTime < kQuietSecondsAfterEntry) {
        panes.SystemLine(
            LoadString(IDS_SPEAK_AFTER_ENTRY)
                .replace(QStringLiteral("%d"), QString::number(kQuietSecondsAfterEntry)));
        return -1;
    }
    if (!discipline.CheckPending(CMD_TEXT) || !discipline.CheckInterval(CMD_TEXT)) {
        return -1;
    }
    discipline.RecordAttempt(CMD_TEXT);
    if (input.isEmpty()) {
        panes.SystemLine(LoadString(IDS_EMPTY_TEXT));
        return -1;
    }
    QString text = EscapeAngles(input);
    const QString hit = CForbiddenText::Get().Find(text, CForbiddenText::TEXTS);
    if (!hit.isEmpty()) {
        panes.SystemLine(LoadString(IDS_TEXT_FORBIDDEN_CHARS) + HtmlEscape(hit));
        return -1;
    }
    const bool isPrivate = !m_target.isEmpty();
    const UserInfo* own = m_room.OwnRecord();
    if (!isPrivate && !m_publicText && m_room.OwnRank() < RANK_OPERATOR && !(own && own->IsVip())) {
        panes.SystemLine(LoadString(IDS_NO_PUBLIC_TEXT));
        return -1;
    }
    text = LimitTokens(text, edition, kMaxFaces);

    const tagHeaderStyle style = HeaderStyle();
    tagParty me{m_room.OwnId(), own ? own->nickname : m_room.OwnId(), own ? own->stamp : 0};
    QString wireHeader;
    QString ownHeader;
    if (isPrivate) {
        const UserInfo* target = m_room.Members().Find(m_target);
        tagParty them{m_target, target ? target->nickname : m_target, target ? target->stamp : 0};
        wireHeader = TargetPrivateHeader(style, me);
        ownHeader = OwnPrivateHeader(style, them);
    } else {
        wireHeader = PublicHeader(style, me);
        ownHeader = wireHeader;
    }
    tagFaceRules faces{FacesPermitted(), m_room.Options().faceCount, m_room.Options().programFolder,
                       edition};
    const QString converted = ConvertFaces(text, faces);
    const QString styleAttr = StyleAttribute(m_style);

    CKParam packet;
    packet.SetShortInt(KEY_COMMAND, CMD_TEXT);
    packet.SetCString(TextKey::TARGET, isPrivate ? m_target : QString());
    packet.SetCString(TextKey::LINE, ChatLine(wireHeader, styleAttr, converted));
    packet.SetInt(TextKey::PRIVATE, isPrivate ? 1 : 0);
    packet.SetCString(TextKey::TEXT, converted);
    if (discipline.Send(CMD_TEXT, packet) != 0) {
        panes.SystemLine(LoadString(IDS_TEXT_FAILED));
        return -1;
    }
    panes.Append(ChatLine(ownHeader, styleAttr, converted) + QStringLiteral("\r\n"), !isPrivate);
    return 0;
}

bool CChatText::InsertFace(QString& input, int face, int set) const {
    if (CountFaceTokens(input, m_room.Edition()) >= kMaxFaces) {
        m_room.Panes().SystemLine(LoadString(IDS_MAX_FACES));
        return false;
    }
    const QString number = QStringLiteral("%1").arg(face, 2, 10, QLatin1Char('0'));
    input += set >= 0 ? QStringLiteral("|#") + QString::number(set) + number
                      : QStringLiteral("|#") + number;
    return true;
}

void CChatText::InsertStamp(QString& input, int stamp) const {
    input += QStringLiteral("|@") + QString::number(stamp);
}

void CChatText::SetTarget(const QString& id) {
    m_target = id == m_room.OwnId() ? QString() : id;
    m_room.View().SetChatTargetLabel(TargetLabel());
}

QString CChatText::TargetLabel() const {
    if (m_target.isEmpty()) {
        return LoadString(IDS_YOU_SAY_TO_ALL);
    }
    const UserInfo* m = m_room.Members().Find(m_target);
    return FillPlaceholders(LoadString(IDS_YOU_SAY_TO), {m ? m->nickname : m_target});
}

void CChatText::OnMemberLeft(const QString& id) {
    if (!m_target.isEmpty() && id == m_target) {
        SetTarget(QString());
    }
}

void CChatText::RefreshTargets() {
    m_room.View().RefreshChatTargets(m_room.Members().List(), m_target);
}

void CChatText::SetBlocked(const QString& id, bool blocked) {
    if (blocked) {
        m_blocked.insert(id);
    } else {
        m_blocked.remove(id);
    }
    m_room.Panes().SystemLine(LoadString(blocked ? IDS_BLOCKED : IDS_UNBLOCKED));
}

void CChatText::SetHideBelowOperator(bool hide) {
    m_hideBelowOperator = hide;
    m_room.Panes().SystemLine(LoadString(hide ? IDS_HIDING_BELOW_OP : IDS_SHOWING_BELOW_OP));
}

void CChatText::SetTypeForbidden(bool forbidden, const QString& actorId) {
    m_typeForbidden = forbidden;
    m_typeForbiddenBy = actorId;
}

void CChatText::ClearPublicView() {
    m_room.Panes().ClearPublic();
}
void CChatText::ClearPrivateView() {
    m_room.Panes().ClearPrivate();
}
void CChatText::SetScrollMode(EScrollMode mode) {
    m_room.Panes().SetScrollMode(mode);
}

void CChatText::MergeViews() {
    m_room.Panes().SetPrivatePanelVisible(false);
    m_room.View().ShowPrivatePanel(false);
}

void CChatText::SplitViews() {
    m_room.Panes().SetPrivatePanelVisible(true);
    m_room.View().ShowPrivatePanel(true);
}

QString CChatText::SanitizeFragment(const QString& html) const {
    return SanitizeChatFragment(html, m_room.Options().programFolder);
}

QString CChatText::ReceivedLine(const QString& sender, const QString& target, const QString& raw,
                                bool isPrivate) const {
    // A line names its sender; one that names nobody, or says nothing, is not shown.
    if (sender.isEmpty() || raw.isEmpty()) {
        return QString();
    }
    const int edition = m_room.Edition();
    QString line = raw;
    if (edition == EDITION_70 &&
        (line.contains(QStringLiteral("$face@")) || line.contains(QStringLiteral("$gift$")) ||
         line.contains(QStringLiteral("$LRCT$")))) {
        line.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
        line.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
        line.remove(QStringLiteral("$face@"));
        line.remove(QStringLiteral("$gift$"));
        line.remove(QStringLiteral("$LRCT$"));
    }
    if (IsBlocked(sender)) {
        return QString();
    }
    const CRoomMembers& members = m_room.Members();
    const UserInfo* from = members.Find(sender);
    if (m_hideBelowOperator && (!from || from->rank < RANK_OPERATOR)) {
        return QString();
    }
    // What the sender's client wrote is not trusted past this point, the name it shows least
    // of all: the line is from the member the packet names, as the member list knows them.
    const tagParty speaker{sender, from ? from->nickname : sender, from ? from->stamp : 0};
    const tagCleanLine clean =
        SanitizeChatLine(line, m_room.Options().programFolder,
                         MemberLink(speaker.id, speaker.nickname, speaker.nickname));
    line = clean.html;
    if (!clean.speakerShown) {
        line.prepend(isPrivate ? TargetPrivateHeader(HeaderStyle(), speaker)
                               : PublicHeader(HeaderStyle(), speaker));
    }
    const tagRoomOptions& o = m_room.Options();
    if (o.stampsEnabled) {
        for (const QString& id : {sender, target}) {
            const UserInfo* m = members.Find(id);
            if (!m || m->stamp <= 0 || id.isEmpty()) {
                continue;
            }
            const QString anchor = QStringLiteral("tavoid=\"%1\"").arg(HtmlEscape(id));
            const qsizetype at = line.indexOf(anchor);
            const qsizetype font = at < 0 ? -1 : line.lastIndexOf(QStringLiteral("<font"), at);
            // The line may carry the stamp already, as its sender wrote it or as the cleaning
            // rewrote it.
            const QString picture = StampPicture(o.programFolder, m->stamp);
            const QString before = line.left(font);
            if (font >= 0 && !before.endsWith(picture) &&
                !before.endsWith(SanitizeChatFragment(picture, o.programFolder))) {
                line.insert(font, picture);
            }
        }
    }
    line = ConvertFaces(line, tagFaceRules{true, o.faceCount, o.programFolder, edition});

    if (edition == EDITION_50 || edition == EDITION_70) {
        const QString whisper = LoadString(IDS_WHISPER_WORD);
        const qsizetype w = line.indexOf(whisper);
        const QString said = LoadString(IDS_SAYS);
        const qsizetype s = w < 0 ? -1 : line.indexOf(said, w);
        const bool isPrivate = s >= 0 && s + said.size() < line.size() &&
                               (line[s + said.size()] == QLatin1Char(':') ||
                                line[s + said.size()] == QLatin1Char('('));
        if (isPrivate) {
            const QString mark =
                edition == EDITION_70
                    ? QStringLiteral("<font color=0000ff>(%1)</font>").arg(HtmlEscape(sender))
                    : QString();
            line.replace(w, whisper.size(), mark);
            const QString close = QStringLiteral("</a></font>");
            qsizetype first = line.indexOf(close);
            if (first >= 0) {
                const QString tag = QStringLiteral("(%1)").arg(HtmlEscape(sender));
                line.insert(first + close.size(), tag);
                const qsizetype second = line.indexOf(close, first + close.size() + tag.size());
                if (second >= 0) {
                    line.insert(second + close.size(),
                                QStringLiteral("(%1)").arg(HtmlEscape(target)));
                }
            }
        }
    }
    return line;
}

void CChatText::OnTextLine(CKParam& packet) {
    if (!m_room.Panes().HasViews()) {
        return;
    }
    const bool isPrivate = packet.IntOr(TextLineKey::PRIVATE, 0) != 0;
    const QString line =
        ReceivedLine(packet.TextOr(TextLineKey::SENDER), packet.TextOr(TextLineKey::TARGET),
                     packet.TextOr(TextLineKey::LINE), isPrivate);
    if (line.isEmpty()) {
        return;
    }
    m_room.Panes().Append(line, !isPrivate);
    const QString sender = packet.TextOr(TextLineKey::SENDER);
    if (isPrivate && packet.TextOr(TextLineKey::TARGET) == m_room.OwnId() &&
        sender != m_room.OwnId()) {
        NotifyUser(NOTICE_PRIVATE_LINE,
                   FillPlaceholders(LoadString(IDS_NOTICE_PRIVATE_LINE),
                                    {m_room.Members().DisplayName(sender)}),
                   PlainChatText(packet.TextOr(TextLineKey::LINE)));
    }
}

void CChatText::OnTextNotice(CKParam& packet) {
    if (m_room.Options().showTextNotices) {
        m_room.View().ShowTextNotice(SanitizeFragment(packet.TextOr(TextNoticeKey::TEXT)));
    }
}
