#include "app/cli/RoomCommands.h"

#include "app/cli/ConsoleCommands.h"
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

void CConsoleRoomCommands::AddTo(CConsoleCommands& t, const std::function<CRoomDlg&()>& room,
                                 const std::function<void(const QString&)>& fail) {
    auto admin = [room]() -> CRoomAdministration& { return room().Admin(); };
    // The commands that take a switch fail alike on anything but "on" and "off".
    auto switched = [fail](const tagCommandCall& c, const QString& word, bool& on) {
        if (!Switch(word, on)) {
            fail(QStringLiteral("%1 needs on or off").arg(c.name));
            return false;
        }
        return true;
    };
    t.Add({"nick", "TEXT", "change the own nickname", 1, -1, true,
           [this, admin](const tagCommandCall& c) {
               WithDialog<CModifyNameDlg>(
                   m_dialogs, [rest = c.rest](CModifyNameDlg& d) { d.SetNickname(rest); },
                   [&] { admin().ChangeNickname(); });
           }});
    t.Add({"rename", "ID TEXT", "force a member's nickname", 2, -1, true,
           [this, admin](const tagCommandCall& c) {
               const auto [first, tail] = Split(c.rest);
               const QString id = first;
               WithDialog<CModifyNameDlg>(
                   m_dialogs, [tail = tail](CModifyNameDlg& d) { d.SetNickname(tail); },
                   [&] { admin().ForceNickname(id); });
           }});
    t.Add({"topic", "TEXT", "change the room's topic", 1, -1, true,
           [this, admin](const tagCommandCall& c) {
               WithDialog<CModifyTopicDlg>(
                   m_dialogs, [rest = c.rest](CModifyTopicDlg& d) { d.SetTopic(rest); },
                   [&] { admin().ChangeTopic(); });
           }});
    t.Add({"lock", "PASSWORD", "lock the room with a password", 1, -1, true,
           [this, admin](const tagCommandCall& c) {
               WithDialog<CModifyLockPasswordDlg>(
                   m_dialogs,
                   [rest = c.rest](CModifyLockPasswordDlg& d) {
                       d.SetLock(true);
                       d.SetPassword(rest);
                       d.SetConfirmation(rest);
                   },
                   [&] { admin().ChangeLock(); });
           }});
    t.Add({"unlock", "", "unlock the room", 0, 0, true, [this, admin](const tagCommandCall&) {
               WithDialog<CModifyLockPasswordDlg>(
                   m_dialogs, [](CModifyLockPasswordDlg& d) { d.SetLock(false); },
                   [&] { admin().ChangeLock(); });
           }});
    t.Add({"public-text", "on|off", "allow or forbid public text", 1, 1, true,
           [admin, switched](const tagCommandCall& c) {
               bool on = false;
               if (switched(c, c.args[0], on)) {
                   admin().SetPublicText(on);
               }
           }});
    t.Add({"room-video", "on|off",
           "allow or forbid the room's video (\"video on|off\" is the own camera)", 1, 1, true,
           [admin, switched](const tagCommandCall& c) {
               bool on = false;
               if (switched(c, c.args[0], on)) {
                   admin().SetVideo(on);
               }
           }});
    t.Add(
        {"kick", "ID REASON", "kick a member", 1, -1, true, [this, admin](const tagCommandCall& c) {
             const auto [first, tail] = Split(c.rest);
             const QString id = first;
             WithDialog<CKickManDlg>(
                 m_dialogs, [tail = tail](CKickManDlg& d) { d.SetReason(tail); },
                 [&] { admin().Kick(id); });
         }});
    t.Add({"ban", "ID HOURS REASON", "ban a member (99 hours: the quiet ban)", 2, -1, true,
           [this, admin, fail](const tagCommandCall& c) {
               const QString id = c.args[0];
               const std::pair<QString, QString> hoursAndReason = Split(Split(c.rest).second);
               const QString reason = hoursAndReason.second;
               bool ok = false;
               const int hours = hoursAndReason.first.toInt(&ok);
               if (!ok) {
                   fail(QStringLiteral("ban needs a number of hours"));
               } else if (hours == CRoomAdministration::kQuietBanHours) {
                   admin().QuickBan(id);
               } else {
                   WithDialog<CBanManDlg>(
                       m_dialogs,
                       [hours, reason](CBanManDlg& d) {
                           d.SetHours(hours);
                           d.SetReason(reason);
                       },
                       [&] { admin().Ban(id); });
               }
           }});
    t.Add({"typing", "ID on|off", "allow or forbid a member to type", 2, 2, true,
           [admin, switched](const tagCommandCall& c) {
               bool on = false;
               if (switched(c, c.args[1], on)) {
                   admin().SetTyping(c.args[0], on);
               }
           }});
    t.Add({"grab", "ID on|off", "allow or forbid a member to grab the microphone", 2, 2, true,
           [admin, switched](const tagCommandCall& c) {
               bool on = false;
               if (switched(c, c.args[1], on)) {
                   admin().SetGrab(c.args[0], on);
               }
           }});
    t.Add({"op", "ID 1|0|10|20", "make or remove an operator, a senior operator", 2, 2, true,
           [admin, fail](const tagCommandCall& c) {
               bool ok = false;
               const int change = c.args[1].toInt(&ok);
               if (!ok) {
                   fail(QStringLiteral("op needs 1, 0, 10 or 20"));
                   return;
               }
               admin().SetOperator(c.args[0], change);
           }});
    t.Add({"block", "ID", "block or unblock a member's lines", 1, 1, true,
           [room](const tagCommandCall& c) {
               room().Chat().SetBlocked(c.args[0], !room().Chat().IsBlocked(c.args[0]));
           }});
    t.Add({"favourite", "", "add the room to the favourites", 0, 0, true,
           [admin](const tagCommandCall&) { admin().AddFavourite(); }});
    t.Add(
        {"report", "TEXT", "report the room", 1, -1, true, [this, admin](const tagCommandCall& c) {
             WithDialog<CReportDlg>(
                 m_dialogs, [rest = c.rest](CReportDlg& d) { d.SetText(rest); },
                 [&] { admin().Report(); });
         }});
    t.Add({"password", "TEXT", "the password the next locked room's dialog is given", 1, -1, false,
           [this](const tagCommandCall& c) { m_unlockPassword = c.rest; }});
    t.Add({"activity", "on|off TITLE", "start or end the scoring activity", 1, -1, true,
           [this, room, switched](const tagCommandCall& c) {
               bool on = false;
               if (!switched(c, c.args[0], on)) {
                   return;
               }
               WithDialog<CEventDlg>(
                   m_dialogs,
                   [on, tail = Split(c.rest).second](CEventDlg& d) {
                       d.SetRunning(on);
                       d.SetEventTitle(tail);
                   },
                   [&] { room().Scoring().ToggleActivity(); });
           }});
    t.Add(
        {"score", "ID", "put a member up for scoring", 1, 1, true, [room](const tagCommandCall& c) {
             // As the member menu opened on the member chooses it.
             room().Scoring().SetTarget(c.args[0]);
             room().Scoring().RequestScore();
         }});
    t.Add({"mark", "N",
           "the score (0 to 5) this console gives when asked; without it the scoring dialog "
           "runs down and gives 0",
           1, 1, false, [this, fail](const tagCommandCall& c) {
               bool ok = false;
               m_mark = c.args[0].toInt(&ok);
               if (!ok || m_mark < 0 || m_mark > CMarkScoreDlg::kHighest) {
                   m_mark = -1;
                   fail(QStringLiteral("mark needs a score from 0 to 5"));
               }
           }});
    t.Add({"guard", "add NICK | remove SECONDS",
           "place a mic guard under that nickname; or let the guards go, oldest first, one "
           "every SECONDS (0: all)",
           2, -1, true, [this, room, fail](const tagCommandCall& c) {
               const QString tail = Split(c.rest).second;
               if (c.args[0] == QLatin1String("add")) {
                   WithDialog<CAddGuardDlg>(
                       m_dialogs, [tail](CAddGuardDlg& d) { d.SetNickname(tail); },
                       [&] { room().Guards().Add(); });
                   return;
               }
               bool ok = false;
               const int seconds = tail.toInt(&ok);
               if (c.args[0] != QLatin1String("remove") || !ok || seconds < 0) {
                   fail(QStringLiteral("guard takes add NICK or remove SECONDS"));
                   return;
               }
               WithDialog<CGuardExitDlg>(
                   m_dialogs, [seconds](CGuardExitDlg& d) { d.SetSeconds(seconds); },
                   [&] { room().Guards().Remove(); });
           }});
}
