#include "core/Notifier.h"

#include "platform/Profile.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"

namespace {

const QString kSection = QStringLiteral("Main");

}  // namespace

CServiceSlot<INotifier>& INotifier::Slot() {
    static CServiceSlot<INotifier> slot("notifier");
    return slot;
}

QString NoticeProfileKey(ENotice kind) {
    switch (kind) {
        case NOTICE_MIC_HANDED:
            return QStringLiteral("NotifyMicHanded");
        case NOTICE_QUEUE_NEXT:
            return QStringLiteral("NotifyQueueNext");
        case NOTICE_PRIVATE_LINE:
            return QStringLiteral("NotifyPrivateLine");
        case NOTICE_PRIVATE_INVITATION:
            return QStringLiteral("NotifyPrivateInvitation");
        case NOTICE_COUNT:
            break;
    }
    return {};
}

bool NoticeEnabled(ENotice kind) {
    return CAppProfile::GetProfileInt(kSection, NoticeProfileKey(kind), 1) != 0;
}

void SetNoticeEnabled(ENotice kind, bool on) {
    CAppProfile::WriteProfileInt(kSection, NoticeProfileKey(kind), on ? 1 : 0);
}

void NotifyUser(ENotice kind, const QString& title, const QString& text) {
    if (INotifier::Slot().IsInstalled() && NoticeEnabled(kind)) {
        INotifier::Slot().Get().Notify(kind, title, text);
    }
}

CNoticeSettingsDlg::CNoticeSettingsDlg() : CDialogModel(IDD) {
    SetTitle(LoadString(IDS_NOTICE_SETTINGS));
    for (int kind = 0; kind < NOTICE_COUNT; ++kind) {
        m_enabled.at(kind) = NoticeEnabled(ENotice(kind));
    }
}

QString CNoticeSettingsDlg::Label(ENotice kind) {
    static const int labels[NOTICE_COUNT] = {IDS_NOTICE_SETTING_MIC, IDS_NOTICE_SETTING_QUEUE,
                                             IDS_NOTICE_SETTING_PRIVATE_LINE,
                                             IDS_NOTICE_SETTING_INVITATION};
    return LoadString(labels[kind]);
}

void CNoticeSettingsDlg::OnOK() {
    for (int kind = 0; kind < NOTICE_COUNT; ++kind) {
        SetNoticeEnabled(ENotice(kind), m_enabled.at(kind));
    }
    EndDialog(IDOK);
}
