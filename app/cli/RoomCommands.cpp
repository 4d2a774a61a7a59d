#include "app/cli/RoomCommands.h"

#include "app/cli/ConsoleOutput.h"
#include "platform/DialogHost.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "room/AdminDialogs.h"
#include "room/ChatText.h"
#include "room/EntryDialogs.h"
#include "room/GuardDialogs.h"
#include "room/MicGuards.h"
#include "room/RoomAdministration.h"
#include "room/RoomDlg.h"
#include "room/RoomScoring.h"
#include "room/ScoringDialogs.h"

#include <functional>

namespace {

const QString kDialogTag = QStringLiteral("对话框");

const QStringList kCommands = {
    QStringLiteral("nick"),       QStringLiteral("rename"),    QStringLiteral("topic"),
    QStringLiteral("lock"),       QStringLiteral("unlock"),    QStringLiteral("public-text"),
    QStringLiteral("room-video"), QStringLiteral("kick"),      QStringLiteral("ban"),
    QStringLiteral("typing"),     QStringLiteral("grab"),      QStringLiteral("op"),
    QStringLiteral("block"),      QStringLiteral("favourite"), QStringLiteral("report"),
    QStringLiteral("password"),   QStringLiteral("activity"),  QStringLiteral("score"),
    QStringLiteral("mark"),       QStringLiteral("guard"),
};

// The first word and the rest of a text.
std::pair<QString, QString> Split(const QString& text) {
    const QString first = text.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
    return {first, text.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty)};
}

// "on" or "off"; anything else is no switch.
bool Switch(const QString& word, bool& on) {
    on = word == QLatin1String("on");
    return on || word == QLatin1String("off");
}

}  // namespace

CConsoleRoomCommands::CConsoleRoomCommands(CConsoleOutput& out, CScriptedDialogHost& dialogs)
    : m_out(out), m_dialogs(dialogs) {
    // A locked room asks for its password: the script's, once, or the entry is given up.
    m_dialogs.Default(CUnlockRoomDlg::IDD, [this](CDialogModel& d) {
        m_out.Line(kDialogTag, LoadString(IDS_UI_UNLOCK_TITLE));
        auto& unlock = static_cast<CUnlockRoomDlg&>(d);
        if (m_unlockPassword.isEmpty()) {
            unlock.OnCancel();
            return;
        }
        unlock.SetPassword(m_unlockPassword);
        m_unlockPassword.clear();
        unlock.OnOK();
    });
    // A scoring round asks for a score: the one the script chose, at once; otherwise the
    // dialog runs down by itself.
    m_dialogs.Default(CMarkScoreDlg::IDD, [this](CDialogModel& d) {
        auto& mark = static_cast<CMarkScoreDlg&>(d);
        m_out.Line(kDialogTag, mark.Prompt());
        if (m_mark >= 0) {
            mark.ChooseScore(m_mark);
            mark.OnOK();
        }
    });
}

bool CConsoleRoomCommands::Knows(const QString& command) {
    return kCommands.contains(command);
}

bool CConsoleRoomCommands::NeedsRoom(const QString& command) {
    return command != QLatin1String("password") && command != QLatin1String("mark");
}

namespace {

// Runs an operation whose dialog a person would fill: the script fills it and presses OK, and
// a dialog its own checks keep open is closed, as a person who gives up would. An operation
// refused before its dialog leaves nothing queued for a later one.
template <typename TDialog>
void WithDialog(CScriptedDialogHost& dialogs, std::function<void(TDialog&)> fill,
                const std::function<void()>& operation) {
    dialogs.Script(TDialog::IDD, [fill](CDialogModel& d) {
        auto& dialog = static_cast<TDialog&>(d);
        fill(dialog);
        dialog.OnOK();
        if (dialog.IsOpen()) {
            dialog.EndDialog(IDCANCEL);
        }
    });
    operation();
    dialogs.Unscript(TDialog::IDD);
}

}  // namespace

bool CConsoleRoomCommands::Run(CRoomDlg& room, const QString& command, const QString& rest,
                               QString& why) {
    CRoomAdministration& admin = room.Admin();
    // Plain copies: lambdas below capture them (clang 14 will not capture a structured binding).
    const std::pair<QString, QString> words = Split(rest);
    const QString first = words.first;
    const QString tail = words.second;
    bool on = false;
    if (command == QLatin1String("password") && !rest.isEmpty()) {
        m_unlockPassword = rest;
    } else if (command == QLatin1String("mark") && !rest.isEmpty()) {
        bool ok = false;
        m_mark = rest.toInt(&ok);
        if (!ok || m_mark < 0 || m_mark > CMarkScoreDlg::kHighest) {
            m_mark = -1;
            why = QStringLiteral("mark needs a score from 0 to 5");
            return false;
        }
    } else if (command == QLatin1String("activity") && Switch(first, on)) {
        WithDialog<CEventDlg>(
            m_dialogs,
            [on, tail](CEventDlg& d) {
                d.SetRunning(on);
                d.SetEventTitle(tail);
            },
            [&] { room.Scoring().ToggleActivity(); });
    } else if (command == QLatin1String("score") && !first.isEmpty()) {
        // As the member menu opened on the member chooses it.
        room.Scoring().SetTarget(first);
        room.Scoring().RequestScore();
    } else if (command == QLatin1String("guard") && first == QLatin1String("add") &&
               !tail.isEmpty()) {
        WithDialog<CAddGuardDlg>(
            m_dialogs, [tail](CAddGuardDlg& d) { d.SetNickname(tail); },
            [&] { room.Guards().Add(); });
    } else if (command == QLatin1String("guard") && first == QLatin1String("remove")) {
        bool ok = false;
        const int seconds = tail.toInt(&ok);
        if (!ok || seconds < 0) {
            why = QStringLiteral("guard remove needs a number of seconds");
            return false;
        }
        WithDialog<CGuardExitDlg>(
            m_dialogs, [seconds](CGuardExitDlg& d) { d.SetSeconds(seconds); },
            [&] { room.Guards().Remove(); });
    } else if (command == QLatin1String("nick") && !rest.isEmpty()) {
        WithDialog<CModifyNameDlg>(
            m_dialogs, [rest](CModifyNameDlg& d) { d.SetNickname(rest); },
            [&] { admin.ChangeNickname(); });
    } else if (command == QLatin1String("rename") && !tail.isEmpty()) {
        WithDialog<CModifyNameDlg>(
            m_dialogs, [tail](CModifyNameDlg& d) { d.SetNickname(tail); },
            [&] { admin.ForceNickname(first); });
    } else if (command == QLatin1String("topic") && !rest.isEmpty()) {
        WithDialog<CModifyTopicDlg>(
            m_dialogs, [rest](CModifyTopicDlg& d) { d.SetTopic(rest); },
            [&] { admin.ChangeTopic(); });
    } else if (command == QLatin1String("lock") && !rest.isEmpty()) {
        WithDialog<CModifyLockPasswordDlg>(
            m_dialogs,
            [rest](CModifyLockPasswordDlg& d) {
                d.SetLock(true);
                d.SetPassword(rest);
                d.SetConfirmation(rest);
            },
            [&] { admin.ChangeLock(); });
    } else if (command == QLatin1String("unlock")) {
        WithDialog<CModifyLockPasswordDlg>(
            m_dialogs, [](CModifyLockPasswordDlg& d) { d.SetLock(false); },
            [&] { admin.ChangeLock(); });
    } else if (command == QLatin1String("public-text") && Switch(rest, on)) {
        admin.SetPublicText(on);
    } else if (command == QLatin1String("room-video") && Switch(rest, on)) {
        admin.SetVideo(on);
    } else if (command == QLatin1String("kick") && !first.isEmpty()) {
        WithDialog<CKickManDlg>(
            m_dialogs, [tail](CKickManDlg& d) { d.SetReason(tail); }, [&] { admin.Kick(first); });
    } else if (command == QLatin1String("ban") && !tail.isEmpty()) {
        const std::pair<QString, QString> hoursAndReason = Split(tail);
        const QString reason = hoursAndReason.second;
        bool ok = false;
        const int hours = hoursAndReason.first.toInt(&ok);
        if (!ok) {
            why = QStringLiteral("ban needs a number of hours");
            return false;
        }
        if (hours == CRoomAdministration::kQuietBanHours) {
            admin.QuickBan(first);
        } else {
            WithDialog<CBanManDlg>(
                m_dialogs,
                [hours, reason](CBanManDlg& d) {
                    d.SetHours(hours);
                    d.SetReason(reason);
                },
                [&] { admin.Ban(first); });
        }
    } else if (command == QLatin1String("typing") && Switch(tail, on)) {
        admin.SetTyping(first, on);
    } else if (command == QLatin1String("grab") && Switch(tail, on)) {
        admin.SetGrab(first, on);
    } else if (command == QLatin1String("op") && !tail.isEmpty()) {
        bool ok = false;
        const int change = tail.toInt(&ok);
        if (!ok) {
            why = QStringLiteral("op needs 1, 0, 10 or 20");
            return false;
        }
        admin.SetOperator(first, change);
    } else if (command == QLatin1String("block") && !first.isEmpty()) {
        room.Chat().SetBlocked(first, !room.Chat().IsBlocked(first));
    } else if (command == QLatin1String("favourite")) {
        admin.AddFavourite();
    } else if (command == QLatin1String("report") && !rest.isEmpty()) {
        WithDialog<CReportDlg>(
            m_dialogs, [rest](CReportDlg& d) { d.SetText(rest); }, [&] { admin.Report(); });
    } else {
        why = QStringLiteral("incomplete command: ") + command + QLatin1Char(' ') + rest;
        return false;
    }
    return true;
}
