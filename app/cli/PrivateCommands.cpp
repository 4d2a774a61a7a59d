#include "app/cli/PrivateCommands.h"

#include "app/cli/ConsoleCommands.h"
#include "app/cli/ConsoleOutput.h"
#include "platform/DialogHost.h"
#include "protocol/keys/PrivateChatKeys.h"
#include "room/PrivateFiles.h"
#include "room/PrivateInvite.h"
#include "room/PrivateInviteDlgs.h"
#include "room/PrivateRoomDlg.h"
#include "room/PrivateVideo.h"
#include "room/RoomDlg.h"

#include <QFileInfo>
#include <QStringList>

namespace {

const QString kTag = QStringLiteral("私聊房");

// The private room while it is open; otherwise null, and the command fails.
CPrivateRoomDlg* InPrivate(const tagPrivateParts& p, const QString& command) {
    CPrivateRoomDlg* room = p.privateRoom();
    if (!room) {
        p.fail(command + QStringLiteral(": not in a private room"));
    }
    return room;
}

}  // namespace

CConsolePrivateCommands::CConsolePrivateCommands(CConsoleOutput& out, CScriptedDialogHost& dialogs)
    : m_out(out), m_dialogs(dialogs) {}

void CConsolePrivateCommands::AddTo(CConsoleCommands& t, const tagPrivateParts& p) {
    AddInvitation(t, p);
    AddCalls(t, p);
    AddRoomCommands(t, p);
    AddFiles(t, p);
    AddGifts(t, p);
}

void CConsolePrivateCommands::AddInvitation(CConsoleCommands& t, const tagPrivateParts& p) {
    t.Add({"invite", "ID REASON [AMOUNT]",
           "invite a member to a private chat, with a greeting (\"1.5\") when logged in", 2, -1,
           true, [this, p](const tagCommandCall& c) {
               if (p.privateRoom()) {
                   p.fail(QStringLiteral("invite: already in a private room"));
                   return;
               }
               QString reason = c.rest.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty);
               QString amount;
               // A last word that is an amount of money is the greeting.
               if (c.args.size() >= 3 && TypedHundredths(c.args.last()) >= 0) {
                   amount = c.args.last();
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
               p.room().Invite().Invite(c.args[0]);
           }});
    t.Intercept(
        "answer",
        [this](const tagCommandCall& c) {
            const QString a = c.args.value(0).toLower();
            if (a != QLatin1String("accept") && a != QLatin1String("refuse")) {
                return false;
            }
            const bool accept = a == QLatin1String("accept");
            m_dialogs.Unscript(CReqPriChatDlg::IDD);
            m_dialogs.Script(CReqPriChatDlg::IDD,
                             [accept](CDialogModel& d) { accept ? d.OnOK() : d.OnCancel(); });
            return true;
        },
        "|accept|refuse",
        "; accept or refuse the next private-chat invitation (unanswered, it runs down its "
        "30 seconds and refuses)");
    t.Add({"window", "hide|show", "hide the room window, or show it again", 1, 1, true,
           [this, p](const tagCommandCall& c) {
               const QString what = c.args[0].toLower();
               if (what != QLatin1String("hide") && what != QLatin1String("show")) {
                   p.fail(QStringLiteral("window needs hide or show"));
                   return;
               }
               p.room().SetShown(what == QLatin1String("show"));
               m_out.Line(QStringLiteral("房间"),
                          QStringLiteral("window ") + (what == QLatin1String("show")
                                                           ? QStringLiteral("shown")
                                                           : QStringLiteral("hidden")));
           }});
    t.Add({"threshold", "AMOUNT", "the lowest greeting a private-chat invitation must bring", 1, 1,
           false, [p](const tagCommandCall& c) {
               const int hundredths = TypedHundredths(c.args[0]);
               if (hundredths < 0) {
                   p.fail(QStringLiteral("threshold: not an amount: ") + c.args[0]);
                   return;
               }
               p.room().Invite().SetThreshold(hundredths);
           }});
}

void CConsolePrivateCommands::AddCalls(CConsoleCommands& t, const tagPrivateParts& p) {
    t.Add({"quality", "1|2|3", "the private room's sound: hi-fi, singing or speech", 1, 1, true,
           [p](const tagCommandCall& c) {
               const int q = c.args[0].toInt();
               if (CPrivateRoomDlg* room = InPrivate(p, c.name)) {
                   if (q < 1 || q > 3) {
                       p.fail(QStringLiteral("quality needs 1, 2 or 3"));
                       return;
                   }
                   room->ChangeQuality(q);
               }
           }});
    t.Add({"bandwidth", "narrow|broad", "the private room's bandwidth mode", 1, 1, true,
           [p](const tagCommandCall& c) {
               const QString mode = c.args[0].toLower();
               if (CPrivateRoomDlg* room = InPrivate(p, c.name)) {
                   if (mode != QLatin1String("narrow") && mode != QLatin1String("broad")) {
                       p.fail(QStringLiteral("bandwidth needs narrow or broad"));
                       return;
                   }
                   room->SetBandwidth(mode == QLatin1String("narrow") ? BANDWIDTH_NARROW
                                                                      : BANDWIDTH_BROAD);
               }
           }});
    t.Add({"music", "on|off", "play music to the private room's peer, or stop", 1, 1, true,
           [p](const tagCommandCall& c) {
               if (CPrivateRoomDlg* room = InPrivate(p, c.name)) {
                   c.args[0].toLower() == QLatin1String("on") ? room->PlayMusic()
                                                              : room->StopMusic();
               }
           }});
    t.Add({"voice-status", "", "print what became of the private room's peer's voice", 0, 0, true,
           [this, p](const tagCommandCall& c) {
               if (CPrivateRoomDlg* room = InPrivate(p, c.name)) {
                   const auto n = room->AudioCounters();
                   m_out.Line(kTag, QStringLiteral("voice received %1 played %2 dropped %3")
                                        .arg(n.received)
                                        .arg(n.played)
                                        .arg(n.dropped));
               }
           }});
}

void CConsolePrivateCommands::AddRoomCommands(CConsoleCommands& t, const tagPrivateParts& p) {
    const QString inPrivateRoom = QStringLiteral("; in the private room, to the peer");
    t.Intercept(
        "say",
        [p](const tagCommandCall& c) {
            CPrivateRoomDlg* room = p.privateRoom();
            return room && (room->SendText(c.rest), true);
        },
        {}, inPrivateRoom);
    t.Intercept(
        "mic",
        [p](const tagCommandCall&) {
            CPrivateRoomDlg* room = p.privateRoom();
            return room && (room->BeginSpeaking(), true);
        },
        {}, inPrivateRoom);
    t.Intercept(
        "release",
        [p](const tagCommandCall&) {
            CPrivateRoomDlg* room = p.privateRoom();
            return room && (room->EndSpeaking(), true);
        },
        {}, inPrivateRoom);
    t.Intercept(
        "speak",
        [p](const tagCommandCall& c) {
            CPrivateRoomDlg* room = p.privateRoom();
            if (!room) {
                return false;
            }
            p.speakFile(c.args[0]);
            // The capture opens its input anew, the file to speak.
            room->EndSpeaking();
            room->BeginSpeaking();
            return true;
        },
        {}, inPrivateRoom);
    t.Intercept(
        "nick",
        [p](const tagCommandCall& c) {
            CPrivateRoomDlg* room = p.privateRoom();
            return room && (room->ChangeNickname(c.rest), true);
        },
        {}, QStringLiteral("; in the private room too"));
    t.Intercept(
        "video",
        [p](const tagCommandCall& c) {
            CPrivateRoomDlg* room = p.privateRoom();
            if (!room) {
                return false;
            }
            IPrivateVideo* video = room->Video();
            const QString what = c.args.value(0).toLower();
            if (!video || c.args.size() != 1 ||
                (what != QLatin1String("on") && what != QLatin1String("off"))) {
                p.fail(QStringLiteral("video: the private room takes on or off"));
            } else if (what == QLatin1String("off")) {
                video->CloseOwn();
            } else if (video->OpenOwn() != 0) {
                p.fail(QStringLiteral("video on: no camera, or no peer yet"));
            }
            return true;
        },
        {}, QStringLiteral("; in the private room, to the peer alone"));
    t.Intercept(
        "video-status",
        [this, p](const tagCommandCall&) {
            CPrivateRoomDlg* room = p.privateRoom();
            if (!room) {
                return false;
            }
            const auto* video = dynamic_cast<const CPrivateVideo*>(room->Video());
            const CPrivateVideo::tagCounters n =
                video ? video->Counters() : CPrivateVideo::tagCounters();
            m_out.Line(kTag, QStringLiteral("video sent %1 received %2 decoded %3 dropped %4")
                                 .arg(n.sent)
                                 .arg(n.received)
                                 .arg(n.decoded)
                                 .arg(n.dropped));
            return true;
        },
        {}, inPrivateRoom);
    t.Intercept(
        "leave",
        [p](const tagCommandCall&) {
            CPrivateRoomDlg* room = p.privateRoom();
            if (!room) {
                return false;
            }
            p.leaving();
            room->Close();
            return true;
        },
        {}, QStringLiteral("; or the private room"));
}

void CConsolePrivateCommands::AddFiles(CConsoleCommands& t, const tagPrivateParts& p) {
    t.Add({"send-file", "PATH", "offer a file to the private room's peer; sent once accepted", 1,
           -1, true, [this, p](const tagCommandCall& c) {
               if (CPrivateRoomDlg* room = InPrivate(p, c.name)) {
                   const QString path = QFileInfo(c.rest.trimmed()).absoluteFilePath();
                   if (!QFileInfo(path).isFile()) {
                       p.fail(QStringLiteral("send-file: no such file: ") + path);
                       return;
                   }
                   m_dialogs.Unscript(CFileChoiceDlg::IDD_FILE_TO_SEND);
                   m_dialogs.Script(CFileChoiceDlg::IDD_FILE_TO_SEND, [path](CDialogModel& d) {
                       static_cast<CFileChoiceDlg&>(d).SetPath(path);
                       d.OnOK();
                   });
                   room->OfferFile();
               }
           }});
    t.Add({"save-files", "DIR",
           "accept the files the private room's peer offers and save them there (without it "
           "they are refused)",
           1, -1, false, [this, p](const tagCommandCall& c) {
               const QString folder = QFileInfo(c.rest.trimmed()).absoluteFilePath();
               if (!QFileInfo(folder).isDir()) {
                   p.fail(QStringLiteral("save-files: no such folder: ") + folder);
                   return;
               }
               m_dialogs.Default(CFileChoiceDlg::IDD_FOLDER_TO_SAVE, [folder](CDialogModel& d) {
                   static_cast<CFileChoiceDlg&>(d).SetPath(folder);
                   d.OnOK();
               });
           }});
}

void CConsolePrivateCommands::AddGifts(CConsoleCommands& t, const tagPrivateParts& p) {
    t.Intercept(
        "gift",
        [p](const tagCommandCall& c) {
            CPrivateRoomDlg* room = p.privateRoom();
            if (!room) {
                return false;
            }
            bool numberOk = false;
            const int number = c.args.value(1).toInt(&numberOk);
            if (!numberOk) {
                p.fail(QStringLiteral("not a gift number: ") + c.rest);
            } else if (c.args.size() > 2 && c.args[2] != QLatin1String("1")) {
                p.fail(QStringLiteral("gift: in the private room a gift is one item"));
            } else if (c.args[0].compare(room->Peer().id, Qt::CaseInsensitive) != 0) {
                p.fail(QStringLiteral("gift: in the private room gifts go to the peer alone"));
            } else {
                room->GiveGift(number);
            }
            return true;
        },
        {}, QStringLiteral("; in the private room, one item to the peer"));
}
