#pragma once
// The console client's commands, from a script file or typed at the terminal, run one at a
// time whenever the client is idle (no request or waiting dialog up). A script ends the client
// with a failure when an expectation is not met in time, when a command finds no room to act
// on (the room's connection may have been lost under it), or when the client ends before the
// script does.
//
//   login USER PASSWORD     log in (logs out first when logged in)
//   areas                   print the area lists
//   rooms [LIST INDEX]      print the room list; with an area, load that area's rooms first
//   enter ROOM              enter a room by number
//   members                 print the room's members
//   say TEXT                a public line
//   whisper ID TEXT         a private line to a member
//   userinfo                ask the hall about the user (the money gifts start from)
//   gift ID NUMBER QTY      give a member a gift of the catalogue
//   stamp ID NUMBER         put a stamp on a member
//   gifts                   print the gift catalogue and the user's balance
//   mic | release           take or release the microphone
//   speak FILE.wav          take the microphone and speak the file
//   record FILE.wav         save what the room's players play to a file
//   video on|off            open or close the own video (the camera of TAVO_VIDEO_SOURCE,
//                           the profile's VideoSource, or the first camera found)
//   video send on|off       the video switch: whether the own frames are sent
//   watch 1|2|ID            open video 1 or 2, or ask to watch a member privately
//   unwatch 1|2|private     close video 1 or 2, or the private viewer
//   snapshot own|1|2 FILE   save that picture as a BMP file (".Bmp" is added when missing)
//   popout own|1|2          move that picture into a window of its own; popin puts it back
//   camera                  tell what the camera is and delivers
//   save-frames DIR         save every decoded picture as DIR/video<N>-<frame>.bmp
//   video-status            print what the room's video did so far
//   wait-line TEXT [SECS]   wait (10 s by default) for a printed line containing TEXT
//   sleep SECS              let time pass
//   answer yes|no|ok|cancel answer the next message box
//   leave                   leave the room
//   quit                    quit (also the end of a script)
//
// and the commands of running a room, listed in RoomCommands.h.

#include "app/cli/RoomCommands.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <memory>

class CConsoleOutput;
class CConsoleHallView;
class CConsoleRoomView;
class CConsolePrompt;
class CScriptedDialogHost;
class CRoomEntry;
class CTavoClientDlg;
class QSocketNotifier;

class CScriptRunner : public QObject {
public:
    struct tagParts {
        CConsoleOutput& out;
        CConsoleHallView& hall;
        CConsoleRoomView& room;
        CConsolePrompt& prompt;
        CScriptedDialogHost& dialogs;
        CRoomEntry& entry;
    };

    explicit CScriptRunner(const tagParts& parts);
    ~CScriptRunner() override;

    // Commands of a script; the client quits after the last.
    void SetScript(const QStringList& lines);
    // Commands typed at the terminal.
    void ReadTerminal();
    // The hall exists and runs: commands may start.
    void Start(CTavoClientDlg& hall);
    void Stop();
    // 0, or 1 when an expectation failed or a command was wrong.
    int ExitCode() const { return m_exitCode; }
    // The audio devices the client uses (what it speaks, where it records).
    void SelectAudio();

private:
    void Tick();
    bool Idle() const;
    void Run(const QString& line);
    static bool IsVideoCommand(const QString& command);
    void RunVideo(const QString& command, const QStringList& args);
    void Fail(const QString& why);
    void OnTerminal();
    bool InRoom() const;
    // True in a room; otherwise the command fails, saying whether the room closed under it.
    bool NeedRoom(const QString& command);

    tagParts m_p;
    CConsoleRoomCommands m_roomCommands;
    CTavoClientDlg* m_hall = nullptr;
    QTimer m_timer;
    std::deque<QString> m_queue;
    bool m_script = false;
    bool m_quitting = false;
    bool m_roomOpen = false;    // the room was open at the last look and the script kept it
    bool m_roomClosed = false;  // the room closed without the script asking
    int m_exitCode = 0;
    int m_cursor = 0;  // waits look at lines printed from here on
    QString m_loginUser;
    QString m_loginPassword;
    // A wait in progress: for a line (text set) or for time only.
    bool m_waiting = false;
    QString m_waitText;
    qint64 m_waitMs = 0;
    QElapsedTimer m_waitClock;
    QString m_speakFile;
    QString m_recordFile;
    std::unique_ptr<QSocketNotifier> m_terminal;
    QByteArray m_typed;
};
