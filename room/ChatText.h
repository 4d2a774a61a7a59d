#pragma once
// Chat text: composing and sending a public or private line (request 450), receiving lines
// (452) with the filters, the chat target, blocked members, text notices (780) and the view
// menu's operations.

#include "room/ChatFormat.h"
#include "room/ChatPanes.h"
#include "room/RoomFeature.h"

#include <QSet>
#include <QString>

class CKParam;
class CRoomDlg;

class CChatText : public IRoomFeature {
public:
    static constexpr int kMaxFaces = 3;
    static constexpr int kQuietSecondsAfterEntry = 5;

    explicit CChatText(CRoomDlg& room);

    void Register(CDispatchTable& table) override;
    void OnRoomOpened() override;
    void OnSettings(const tagRoomSettings& settings) override;

    // The send button: 0 sent, -1 refused or failed (a line says why).
    int SendText(const QString& input);
    // Adds a face token to the input box text; false (and "最多只能添加3个表情") for a fourth.
    bool InsertFace(QString& input, int face, int set = -1) const;
    void InsertStamp(QString& input, int stamp) const;

    // The chat target: a member's identifier, empty for everybody ("所有人").
    void SetTarget(const QString& id);
    QString Target() const { return m_target; }
    QString TargetLabel() const;
    void OnMemberLeft(const QString& id);
    void RefreshTargets();

    // Filters.
    void SetBlocked(const QString& id, bool blocked);
    bool IsBlocked(const QString& id) const { return m_blocked.contains(id); }
    void SetHideBelowOperator(bool hide);
    bool HidesBelowOperator() const { return m_hideBelowOperator; }

    // Set by the administration's typing announcements for the user.
    void SetTypeForbidden(bool forbidden, const QString& actorId = QString());
    void SetPublicTextAllowed(bool allowed) { m_publicText = allowed; }
    bool PublicTextAllowed() const { return m_publicText; }
    void SetShowTime(bool show) { m_showTime = show; }
    void SetStyle(const tagTextStyle& style) { m_style = style; }
    const tagTextStyle& Style() const { return m_style; }

    // The view menu.
    void ClearPublicView();
    void ClearPrivateView();
    void SetScrollMode(EScrollMode mode);
    void MergeViews();
    void SplitViews();
    void SetShowGiftAnimations(bool show) { m_showGiftAnimations = show; }
    bool ShowsGiftAnimations() const { return m_showGiftAnimations; }

    void OnTextLine(CKParam& packet);
    void OnTextNotice(CKParam& packet);

    // What a fragment from another member keeps (see ChatSanitizer.h).
    QString SanitizeFragment(const QString& html) const;
    // The line as the receiver shows it, or empty when the filters drop it.
    QString ReceivedLine(const QString& sender, const QString& target, const QString& line,
                         bool isPrivate) const;

private:
    tagHeaderStyle HeaderStyle() const;
    bool FacesPermitted() const;

    CRoomDlg& m_room;
    QString m_target;
    QSet<QString> m_blocked;
    bool m_hideBelowOperator = false;
    bool m_typeForbidden = false;
    QString m_typeForbiddenBy;
    bool m_publicText = true;
    bool m_showTime = false;
    bool m_showGiftAnimations = true;
    tagTextStyle m_style;
};
