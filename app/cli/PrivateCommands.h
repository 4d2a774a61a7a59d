#pragma once
// The console's commands of private chat. Where the desktop asks a person in a dialog, the
// command fills the same dialog model and presses OK, so its checks run here too.
//
//   invite ID REASON [AMOUNT]   invite a member to a private chat, with a greeting (units of
//                               money, "1.5") when logged in
//   answer accept|refuse        how the next invitation is answered (without it the question
//                               runs down its 30 seconds and refuses)
//   window hide|show            hide the room window, or show it again
//   threshold AMOUNT            the lowest greeting an invitation must bring (units of money)
//
// and, in the private room, instead of the room's commands of the same name:
//
//   say TEXT                    a line to the peer
//   mic | release               start or stop sending the own voice
//   speak FILE.wav              speak the file
//   quality 1|2|3               hi-fi, singing or speech
//   bandwidth narrow|broad      the bandwidth mode
//   music on|off                play music to the peer, or stop
//   nick TEXT                   change the own nickname
//   voice-status                print what became of the peer's voice
//   video on|off                send the own camera to the peer, or stop
//   video-status                print the private video's counts
//   leave                       close the private room

#include <QString>

class CConsoleOutput;
class CPrivateRoomDlg;
class CRoomDlg;
class CScriptedDialogHost;

class CConsolePrivateCommands {
public:
    CConsolePrivateCommands(CConsoleOutput& out, CScriptedDialogHost& dialogs);

    // Commands of the room's side (invite, answer accept|refuse, window, threshold).
    static bool IsRoomCommand(const QString& command, const QString& rest);
    bool RunInRoom(CRoomDlg& room, const QString& command, const QString& rest, QString& why);
    // Commands of the private room; the caller asks only while it is open.
    static bool IsPrivateCommand(const QString& command);
    bool RunInPrivate(CPrivateRoomDlg& room, const QString& command, const QString& rest,
                      QString& why);

private:
    CConsoleOutput& m_out;
    CScriptedDialogHost& m_dialogs;
};
