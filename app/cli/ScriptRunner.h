#pragma once
// The console client's commands, from a script file or typed at the terminal, run one at a
// time whenever the client is idle (no request or waiting dialog up). A script ends the client
// with a failure when an expectation is not met in time, when a command finds no room to act
// on (the room's connection may have been lost under it), or when the client ends before the
// script does.
//
// The commands are the table built in AddCommands(); `help` prints it.

#include "app/cli/ConsoleCommands.h"
#include "app/cli/PrivateCommands.h"
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
class CConsoleTerminal;
class CScriptedDialogHost;
class CRoomEntry;
class CRoomRecording;
class CTavoClientDlg;
class CRoomVideo;
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
        CRoomRecording* recording = nullptr;
    };

    explicit CScriptRunner(const tagParts& parts);
    ~CScriptRunner() override;

    // Commands of a script; the client quits after the last.
    void SetScript(const QStringList& lines);
    // Commands typed at the terminal.
    void ReadTerminal();
    const CConsoleCommands& Commands() const { return m_commands; }
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
    void AddCommands();
    void AddHallCommands();
    void AddRoomCommands(const std::function<CRoomDlg&()>& room);
    void AddScriptCommands();
    void AddVideoCommands();
    void AddRecordingCommands();
    // The room's video; otherwise the command fails.
    CRoomVideo* Video(const QString& command);
    void Fail(const QString& why);
    void OnTerminal();
    void Queue(const QString& line);
    bool InRoom() const;
    // True in a room; otherwise the command fails, saying whether the room closed under it.
    bool NeedRoom(const QString& command);

    tagParts m_p;
    CConsoleCommands m_commands;
    CConsoleRoomCommands m_roomCommands;
    CConsolePrivateCommands m_privateCommands;
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
    // Room lists the hall had shown when the last one was asked for; -1: none asked for.
    int m_roomListsBefore = -1;
    std::unique_ptr<QSocketNotifier> m_terminal;
    std::unique_ptr<CConsoleTerminal> m_editor;
    bool m_toldWaiting = false;
    QByteArray m_typed;
};
