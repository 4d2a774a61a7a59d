#pragma once
// The console's commands for running a room, as the room window's menus and dialogs offer
// them. Where the desktop asks a person in a dialog, the command fills the same dialog model
// and presses OK, so every check the dialog makes runs here too (a refused dialog is closed).
//
//   nick TEXT               change the own nickname
//   rename ID TEXT          force a member's nickname
//   topic TEXT              change the room's topic
//   lock PASSWORD | unlock  lock the room with a password, or unlock it
//   public-text on|off      allow or forbid public text
//   room-video on|off       allow or forbid the room's video ("video on|off" is the own camera)
//   kick ID REASON          kick a member
//   ban ID HOURS REASON     ban a member (99 hours: the quiet ban)
//   typing ID on|off        allow or forbid a member to type
//   grab ID on|off          allow or forbid a member to grab the microphone
//   op ID 1|0|10|20         make or remove an operator, a senior operator
//   block ID                block or unblock a member's lines
//   favourite               add the room to the favourites
//   report TEXT             report the room
//   password TEXT           the password the next locked room's dialog is given
//   activity on|off TITLE   start or end the scoring activity
//   score ID                put a member up for scoring
//   mark N                  the score (0 to 5) this console gives when asked; without it
//                           the scoring dialog runs down and gives 0
//   guard add NICK          place a mic guard under that nickname
//   guard remove SECONDS    let the mic guards go, oldest first, one every SECONDS (0: all)

#include <QString>
#include <QStringList>

class CConsoleOutput;
class CRoomDlg;
class CScriptedDialogHost;

class CConsoleRoomCommands {
public:
    CConsoleRoomCommands(CConsoleOutput& out, CScriptedDialogHost& dialogs);

    // Whether the command is one of these; those that need a room say so.
    static bool Knows(const QString& command);
    static bool NeedsRoom(const QString& command);
    // Runs a command with the rest of its line; false with why when its arguments are wrong.
    bool Run(CRoomDlg& room, const QString& command, const QString& rest, QString& why);

private:
    CConsoleOutput& m_out;
    CScriptedDialogHost& m_dialogs;
    QString m_unlockPassword;
    int m_mark = -1;
};
