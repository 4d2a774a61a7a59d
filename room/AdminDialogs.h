#pragma once
// The dialogs of room administration: the nickname, the topic, the lock, kicking and banning a
// member, and the report. Each keeps what the person typed and runs its checks on OK; a
// refusal is a message box captioned "Warning" and the dialog stays open.

#include "platform/DialogHost.h"

#include <QStringList>

// The own nickname (250) or a member's, forced (360).
class CModifyNameDlg : public CDialogModel {
public:
    enum : int { IDD = 191 };
    explicit CModifyNameDlg(const QString& current);

    QString Nickname() const { return m_nickname; }
    void SetNickname(const QString& nickname) { m_nickname = nickname; }
    void OnOK() override;

private:
    QString m_current;
    QString m_nickname;
};

class CModifyTopicDlg : public CDialogModel {
public:
    enum : int { IDD = 192 };
    explicit CModifyTopicDlg(const QString& current) : CDialogModel(IDD), m_topic(current) {}

    QString Topic() const { return m_topic; }
    void SetTopic(const QString& topic) { m_topic = topic; }
    void OnOK() override;

private:
    QString m_topic;
};

class CModifyLockPasswordDlg : public CDialogModel {
public:
    enum : int { IDD = 193 };
    explicit CModifyLockPasswordDlg(bool locked);

    // "当前状态:已锁" or "当前状态:未锁".
    QString StateText() const;
    bool Locked() const { return m_locked; }
    // Lock (true) or unlock the room.
    void SetLock(bool lock) { m_lock = lock; }
    bool Lock() const { return m_lock; }
    void SetPassword(const QString& password) { m_password = password; }
    void SetConfirmation(const QString& confirmation) { m_confirmation = confirmation; }
    QString Password() const { return m_password; }
    QString Confirmation() const { return m_confirmation; }
    void OnOK() override;

private:
    bool m_locked;
    bool m_lock;
    QString m_password;
    QString m_confirmation;
};

class CKickManDlg : public CDialogModel {
public:
    enum : int { IDD = 194 };
    // Titled "踢人: nickname(identifier)".
    CKickManDlg(const QString& nickname, const QString& id);

    static QStringList Reasons();
    // Choosing an entry of the reason list copies it into the reason.
    void ChooseReason(int index);
    QString Reason() const { return m_reason; }
    void SetReason(const QString& reason) { m_reason = reason; }

private:
    QString m_reason;
};

class CBanManDlg : public CDialogModel {
public:
    enum : int { IDD = 195 };
    static constexpr int kMaxHours = 24 * 365;
    CBanManDlg(const QString& nickname, const QString& id);

    int Hours() const { return m_hours; }
    void SetHours(int hours) { m_hours = hours; }
    QString Reason() const { return m_reason; }
    void SetReason(const QString& reason) { m_reason = reason; }
    void OnOK() override;

private:
    int m_hours = 1;
    QString m_reason;
};

// What the room's service says about reports, and the text the user reports.
class CReportDlg : public CDialogModel {
public:
    enum : int { IDD = 196 };
    explicit CReportDlg(const QString& information);

    QString Information() const { return m_information; }
    QString Text() const { return m_text; }
    void SetText(const QString& text) { m_text = text; }
    void OnOK() override;

private:
    QString m_information;
    QString m_text;
};
