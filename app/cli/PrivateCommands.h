#pragma once
// The console's commands of private chat, added to the one table. Where the desktop asks a
// person in a dialog, the command fills the same dialog model and presses OK, so its checks
// run here too. In the room: invite, answer accept|refuse, window, threshold. In the private
// room, the room's say, mic, speak, release, nick, video, video-status and leave act on the
// private room instead, and quality, bandwidth, music and voice-status are its own.

#include <QString>

#include <functional>

class CConsoleCommands;
class CConsoleOutput;
class CPrivateRoomDlg;
class CRoomDlg;
class CScriptedDialogHost;

// What the commands reach of the runner.
struct tagPrivateParts {
    std::function<CRoomDlg&()> room;
    // The private room while it is open, otherwise null.
    std::function<CPrivateRoomDlg*()> privateRoom;
    std::function<void(const QString&)> fail;
    // A file to speak: the runner's audio is set up to read it.
    std::function<void(const QString&)> speakFile;
    // The script leaves the private room on purpose.
    std::function<void()> leaving;
};

class CConsolePrivateCommands {
public:
    CConsolePrivateCommands(CConsoleOutput& out, CScriptedDialogHost& dialogs);

    // Adds the commands, and the private room's ways with the room's commands of the same
    // name; the table holds the room's commands already.
    void AddTo(CConsoleCommands& table, const tagPrivateParts& parts);

private:
    // invite, answer, window, threshold: in the room.
    void AddInvitation(CConsoleCommands& table, const tagPrivateParts& parts);
    // The private room's own: quality, bandwidth, music, voice-status.
    void AddCalls(CConsoleCommands& table, const tagPrivateParts& parts);
    // The room's say, mic, release, speak, nick, video, video-status and leave, as the private
    // room has them while it is open.
    void AddRoomCommands(CConsoleCommands& table, const tagPrivateParts& parts);
    // send-file, save-files.
    void AddFiles(CConsoleCommands& table, const tagPrivateParts& parts);
    // The room's gift, one item to the peer in the private room.
    void AddGifts(CConsoleCommands& table, const tagPrivateParts& parts);

    CConsoleOutput& m_out;
    CScriptedDialogHost& m_dialogs;
};
