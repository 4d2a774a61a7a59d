#include "app/cli/PrivateCommands.h"

#include "app/cli/ConsoleOutput.h"
#include "platform/DialogHost.h"
#include "protocol/keys/PrivateChatKeys.h"
#include "room/PrivateInvite.h"
#include "room/PrivateInviteDlgs.h"
#include "room/PrivateRoomDlg.h"
#include "room/PrivateVideo.h"
#include "room/RoomDlg.h"

#include <QStringList>

namespace {

const QString kTag = QStringLiteral("私聊房");

// Hundredths of a typed amount of money; -1 when it is none.
int Hundredths(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && value >= 0 && value < 2.0e7 ? static_cast<int>(value * 100.0 + 1e-6) : -1;
}

}  // namespace

CConsolePrivateCommands::CConsolePrivateCommands(CConsoleOutput& out, CScriptedDialogHost& dialogs)
    : m_out(out), m_dialogs(dialogs) {}

bool CConsolePrivateCommands::IsRoomCommand(const QString& command, const QString& rest) {
    if (command == QLatin1String("answer")) {
        const QString a = rest.trimmed().toLower();
        return a == QLatin1String("accept") || a == QLatin1String("refuse");
    }
    return command == QLatin1String("invite") || command == QLatin1String("window") ||
           command == QLatin1String("threshold");
}

bool CConsolePrivateCommands::RunInRoom(CRoomDlg& room, const QString& command, const QString& rest,
                                        QString& why) {
    const QStringList args = rest.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (command == QLatin1String("answer")) {
        const bool accept = args.value(0).toLower() == QLatin1String("accept");
        m_dialogs.Unscript(CReqPriChatDlg::IDD);
        m_dialogs.Script(CReqPriChatDlg::IDD,
                         [accept](CDialogModel& d) { accept ? d.OnOK() : d.OnCancel(); });
        return true;
    }
    if (command == QLatin1String("window") && args.size() == 1 &&
        (args[0] == QLatin1String("hide") || args[0] == QLatin1String("show"))) {
        room.SetShown(args[0] == QLatin1String("show"));
        m_out.Line(QStringLiteral("房间"), args[0] == QLatin1String("show")
                                               ? QStringLiteral("window shown")
                                               : QStringLiteral("window hidden"));
        return true;
    }
    if (command == QLatin1String("threshold") && args.size() == 1 && Hundredths(args[0]) >= 0) {
        room.Invite().SetThreshold(Hundredths(args[0]));
        return true;
    }
    if (command == QLatin1String("invite") && args.size() >= 2) {
        QString reason = rest.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty);
        QString amount;
        // A last word that is an amount of money is the greeting.
        if (args.size() >= 3 && Hundredths(args.last()) >= 0) {
            amount = args.last();
            reason = reason.left(reason.lastIndexOf(QLatin1Char(' '))).trimmed();
        }
        m_dialogs.Unscript(CPriChatSubmitDlg::IDD);
        m_dialogs.Script(CPriChatSubmitDlg::IDD, [reason, amount](CDialogModel& d) {
            auto& dialog = static_cast<CPriChatSubmitDlg&>(d);
            dialog.SetReason(reason);
            dialog.SetAmountText(amount);
            dialog.OnOK();
            if (dialog.IsOpen()) {
                dialog.EndDialog(IDCANCEL);
            }
        });
        room.Invite().Invite(args[0]);
        return true;
    }
    why = QStringLiteral("unknown or incomplete command: ") + command + QLatin1Char(' ') + rest;
    return false;
}

bool CConsolePrivateCommands::IsPrivateCommand(const QString& command) {
    for (const char* name : {"say", "mic", "release", "speak", "quality", "bandwidth", "music",
                             "nick", "voice-status", "video", "video-status", "leave"}) {
        if (command == QLatin1String(name)) {
            return true;
        }
    }
    return false;
}

bool CConsolePrivateCommands::RunInPrivate(CPrivateRoomDlg& room, const QString& command,
                                           const QString& rest, QString& why) {
    const QString arg = rest.trimmed();
    if (command == QLatin1String("say") && !arg.isEmpty()) {
        room.SendText(arg);
    } else if (command == QLatin1String("mic")) {
        room.BeginSpeaking();
    } else if (command == QLatin1String("speak")) {
        // The capture opens its input anew, the file to speak.
        room.EndSpeaking();
        room.BeginSpeaking();
    } else if (command == QLatin1String("release")) {
        room.EndSpeaking();
    } else if (command == QLatin1String("quality") &&
               (arg == QLatin1String("1") || arg == QLatin1String("2") ||
                arg == QLatin1String("3"))) {
        room.ChangeQuality(arg.toInt());
    } else if (command == QLatin1String("bandwidth") &&
               (arg == QLatin1String("narrow") || arg == QLatin1String("broad"))) {
        room.SetBandwidth(arg == QLatin1String("narrow") ? BANDWIDTH_NARROW : BANDWIDTH_BROAD);
    } else if (command == QLatin1String("music") &&
               (arg == QLatin1String("on") || arg == QLatin1String("off"))) {
        arg == QLatin1String("on") ? room.PlayMusic() : room.StopMusic();
    } else if (command == QLatin1String("nick") && !arg.isEmpty()) {
        room.ChangeNickname(arg);
    } else if (command == QLatin1String("voice-status")) {
        const auto c = room.AudioCounters();
        m_out.Line(kTag, QStringLiteral("voice received %1 played %2 dropped %3")
                             .arg(c.received)
                             .arg(c.played)
                             .arg(c.dropped));
    } else if (command == QLatin1String("video") &&
               (arg == QLatin1String("on") || arg == QLatin1String("off"))) {
        auto* video = dynamic_cast<CPrivateVideo*>(room.Video());
        if (!video) {
            why = QStringLiteral("video: the private room has no video");
            return false;
        }
        if (arg == QLatin1String("off")) {
            video->CloseOwn();
        } else if (video->OpenOwn() != 0) {
            why = QStringLiteral("video on: no camera, or no peer yet");
            return false;
        }
    } else if (command == QLatin1String("video-status")) {
        auto* video = dynamic_cast<CPrivateVideo*>(room.Video());
        const CPrivateVideo::tagCounters c =
            video ? video->Counters() : CPrivateVideo::tagCounters();
        m_out.Line(kTag, QStringLiteral("video sent %1 received %2 decoded %3 dropped %4")
                             .arg(c.sent)
                             .arg(c.received)
                             .arg(c.decoded)
                             .arg(c.dropped));
    } else if (command == QLatin1String("leave")) {
        room.Close();
    } else {
        why = QStringLiteral("unknown or incomplete command: ") + command + QLatin1Char(' ') + rest;
        return false;
    }
    return true;
}
