#pragma once
// Desktop notices: the events a user waiting in a room must not miss while looking at another
// window. The room logic says what happened through NotifyUser; whether the user wants that
// kind of notice is a profile switch each; how it reaches the desktop (and whether the user is
// looking at the client anyway) is up to the notifier the program installs. A program without
// one (the console client) shows no notices.

#include "platform/DialogHost.h"
#include "platform/ServiceSlot.h"

#include <QString>

#include <array>

enum ENotice : int {
    NOTICE_MIC_HANDED,          // the microphone was handed to the user
    NOTICE_QUEUE_NEXT,          // the user is next in the microphone queue
    NOTICE_PRIVATE_LINE,        // a private line to the user arrived
    NOTICE_PRIVATE_INVITATION,  // an invitation to a private chat is waiting
    NOTICE_COUNT
};

class INotifier {
public:
    virtual ~INotifier() = default;
    virtual void Notify(ENotice kind, const QString& title, const QString& text) = 0;

    static CServiceSlot<INotifier>& Slot();
};

// The profile value (section "Main", a number, 1 when missing) that switches a kind on.
QString NoticeProfileKey(ENotice kind);
bool NoticeEnabled(ENotice kind);
void SetNoticeEnabled(ENotice kind, bool on);

// Passes a notice to the installed notifier when the user has that kind switched on.
void NotifyUser(ENotice kind, const QString& title, const QString& text);

// The settings dialog of the notices: one switch per kind, written to the profile on OK.
class CNoticeSettingsDlg : public CDialogModel {
public:
    enum : int { IDD = 4600 };
    CNoticeSettingsDlg();

    // What the switch of a kind is called.
    static QString Label(ENotice kind);
    bool Enabled(ENotice kind) const { return m_enabled.at(kind); }
    void SetEnabled(ENotice kind, bool on) { m_enabled.at(kind) = on; }
    void OnOK() override;

private:
    std::array<bool, NOTICE_COUNT> m_enabled{};
};
