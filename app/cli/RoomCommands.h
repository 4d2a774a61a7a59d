#pragma once
// The console's commands for running a room, as the room window's menus and dialogs offer
// them. Where the desktop asks a person in a dialog, the command fills the same dialog model
// and presses OK, so every check the dialog makes runs here too (a refused dialog is closed).

#include <QString>
#include <QStringList>

#include <functional>

class CConsoleCommands;
class CConsoleOutput;
class CRoomDlg;
class CScriptedDialogHost;

class CConsoleRoomCommands {
public:
    CConsoleRoomCommands(CConsoleOutput& out, CScriptedDialogHost& dialogs);

    // Adds these commands to the console's table. room: the room they act on; fail: how a
    // command with wrong arguments ends.
    void AddTo(CConsoleCommands& table, const std::function<CRoomDlg&()>& room,
               const std::function<void(const QString&)>& fail);

private:
    CConsoleOutput& m_out;
    CScriptedDialogHost& m_dialogs;
    QString m_unlockPassword;
    int m_mark = -1;
};
