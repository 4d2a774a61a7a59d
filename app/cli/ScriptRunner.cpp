#include "app/cli/ScriptRunner.h"

#include "app/cli/ConsoleOutput.h"
#include "app/cli/ConsolePrompt.h"
#include "app/cli/ConsoleTerminal.h"
#include "app/cli/ConsoleViews.h"
#include "audio/SoundConfigDlg.h"
#include "core/AppState.h"
#include "hall/CreateRoomDlg.h"
#include "hall/LoginDlg.h"
#include "hall/TavoClientDlg.h"
#include "platform/DialogHost.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "platform/audio/WaveSystem.h"
#include "room/ChatText.h"
#include "room/EntryDialogs.h"
#include "room/Gifts.h"
#include "room/MicOrder.h"
#include "room/ModifyMicTimeDlg.h"
#include "room/PrivateFiles.h"
#include "room/PrivateRecording.h"
#include "room/RoomDlg.h"
#include "room/RoomEntry.h"
#include "room/RoomRecording.h"
#include "room/RoomVideo.h"
#include "room/SavePictureDlg.h"

#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include <unistd.h>

namespace {

const QString kTag = QStringLiteral("脚本");
constexpr int kTickMs = 20;
constexpr int kDefaultWaitSeconds = 10;

}  // namespace

CScriptRunner::CScriptRunner(const tagParts& parts)
    : m_p(parts),
      m_roomCommands(parts.out, parts.dialogs),
      m_privateCommands(parts.out, parts.dialogs) {
    AddCommands();
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { Tick(); });

    // The dialogs a person would answer. The login takes the script's account; the rest are
    // declined, since a script has nothing to type into them.
    m_p.dialogs.Default(CLoginDlg::IDD, [this](CDialogModel& d) {
        auto& login = static_cast<CLoginDlg&>(d);
        login.SetUserId(m_loginUser);
        login.SetPassword(m_loginPassword);
        login.OnOK();
        if (login.IsOpen()) {
            login.EndDialog(IDCANCEL);
        }
    });
    for (int id : {int(CPaymentDlg::IDD), int(CModifyMicTimeDlg::IDD), int(CCreateRoomDlg::IDD),
                   int(CSavePictureDlg::IDD), int(CFileChoiceDlg::IDD_FILE_TO_SEND),
                   int(CFileChoiceDlg::IDD_FOLDER_TO_SAVE)}) {
        m_p.dialogs.Default(id, [](CDialogModel& d) { d.OnCancel(); });
    }
    // The sound settings are taken as they stand.
    m_p.dialogs.Default(CSoundConfigDlg::IDD, [](CDialogModel& d) { d.OnOK(); });
}

CScriptRunner::~CScriptRunner() {
    m_p.out.SetLineEditor(nullptr);
    m_p.prompt.SetAsker({});
}

void CScriptRunner::SetScript(const QStringList& lines) {
    m_script = true;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#'))) {
            m_queue.push_back(line);
        }
    }
}

void CScriptRunner::ReadTerminal() {
    if (CConsoleTerminal::AtTerminal()) {
        CConsoleTerminal::tagHooks hooks;
        hooks.line = [this](const QString& line) { Queue(line); };
        hooks.commands = [this] { return m_commands.Names(); };
        hooks.arguments = [this] { return m_p.room.MemberWords(); };
        m_editor =
            std::make_unique<CConsoleTerminal>(hooks, CConsoleTerminal::DefaultHistoryFile());
        m_p.out.SetLineEditor(m_editor.get());
        m_p.prompt.SetAsker([this](const QString& q) { return m_editor->Ask(q); });
        return;
    }
    // Piped input: plain lines, no prompt.
    m_terminal = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    connect(m_terminal.get(), &QSocketNotifier::activated, this, [this] { OnTerminal(); });
}

void CScriptRunner::OnTerminal() {
    char buffer[4096];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        // End of input: the person is done.
        m_terminal->setEnabled(false);
        m_queue.push_back(QStringLiteral("quit"));
        return;
    }
    m_typed.append(buffer, static_cast<int>(n));
    for (int nl; (nl = m_typed.indexOf('\n')) >= 0;) {
        const QString line = QString::fromUtf8(m_typed.left(nl)).trimmed();
        m_typed.remove(0, nl + 1);
        if (!line.isEmpty()) {
            Queue(line);
        }
    }
}

void CScriptRunner::Queue(const QString& line) {
    m_queue.push_back(line);
    m_toldWaiting = false;
}

void CScriptRunner::SelectAudio() {
    // The console plays and records through WAV files unless told otherwise (TAVO_AUDIO).
    if (!qEnvironmentVariableIsEmpty("TAVO_AUDIO") && m_speakFile.isEmpty() &&
        m_recordFile.isEmpty()) {
        return;
    }
    const QString out =
        m_recordFile.isEmpty()
            ? QDir::temp().filePath(QStringLiteral("tavo-cli-%1-heard.wav").arg(::getpid()))
            : m_recordFile;
    // The file mixer offers a stereo-mix line, so speaking with the mix switch on finds one.
    QString spec = QStringLiteral("wav:out=%1,pace=real,lines=Stereo Mix").arg(out);
    if (!m_speakFile.isEmpty()) {
        spec += QStringLiteral(",in=") + m_speakFile;
    }
    CWaveSystem::Select(spec);
}

void CScriptRunner::Start(CTavoClientDlg& hall) {
    m_hall = &hall;
    m_timer.start();
}

void CScriptRunner::Stop() {
    if (m_hall && m_script && !m_quitting) {
        // The client ended on its own (it lost its service, for one): the rest never ran.
        Fail(QStringLiteral("the client ended before the script"));
    }
    m_timer.stop();
    m_hall = nullptr;
}

bool CScriptRunner::Idle() const {
    const auto open = m_p.dialogs.OpenDialogs();
    return open.size() == 1 && open.front()->TemplateId() == CTavoClientDlg::IDD;
}

bool CScriptRunner::InRoom() const {
    return m_p.entry.IsRoomOpen() || m_p.entry.IsPrivateRoomOpen();
}

bool CScriptRunner::NeedRoom(const QString& command) {
    if (InRoom()) {
        return true;
    }
    Fail(command + (m_roomClosed ? QStringLiteral(": the room closed under the script")
                                 : QStringLiteral(": not in a room")));
    return false;
}

void CScriptRunner::Fail(const QString& why) {
    m_p.out.Line(kTag, QStringLiteral("FAILED: ") + why);
    m_exitCode = 1;
    m_queue.clear();
    if (m_script) {
        m_queue.push_back(QStringLiteral("quit"));
    }
}

void CScriptRunner::Tick() {
    if (!m_hall || m_quitting) {
        return;
    }
    if (InRoom()) {
        m_roomOpen = true;
        m_roomClosed = false;
    } else if (m_roomOpen) {
        m_roomOpen = false;
        m_roomClosed = true;
    }
    if (m_waiting) {
        if (!m_waitText.isEmpty()) {
            const int at = m_p.out.Find(m_waitText, m_cursor);
            if (at >= 0) {
                m_cursor = at + 1;
                m_waiting = false;
                return;
            }
        }
        if (m_waitClock.elapsed() < m_waitMs) {
            return;
        }
        m_waiting = false;
        if (!m_waitText.isEmpty()) {
            Fail(QStringLiteral("no line containing \"%1\" within %2 s")
                     .arg(m_waitText)
                     .arg(m_waitMs / 1000.0));
        }
        return;
    }
    // A script that ends with a wait ends once the wait is over.
    if (m_script && m_queue.empty() && !m_quitting) {
        m_queue.push_back(QStringLiteral("quit"));
    }
    if (m_queue.empty()) {
        return;
    }
    if (!Idle()) {
        // A person who typed a command while a request is out is told it will wait, once.
        if (!m_script && !m_toldWaiting) {
            m_toldWaiting = true;
            m_p.out.Line(kTag, QStringLiteral("waiting for the reply to the last request; \"%1\" "
                                              "runs once it is in")
                                   .arg(m_queue.front()));
        }
        return;
    }
    const QString line = m_queue.front();
    m_queue.pop_front();
    Run(line);
    if (m_script && m_queue.empty() && !m_quitting && !m_waiting) {
        m_queue.push_back(QStringLiteral("quit"));
    }
}

void CScriptRunner::Run(const QString& line) {
    const tagCommandCall call = ParseCommandLine(line);
    m_p.out.Line(kTag, QStringLiteral("> ") + line);
    const tagConsoleCommand* command = m_commands.Find(call.name);
    if (!command) {
        Fail(QStringLiteral("unknown command: %1 (help lists the commands)").arg(call.name));
        return;
    }
    if (!CConsoleCommands::Fits(*command, call)) {
        Fail(QStringLiteral("incomplete command: %1 (usage: %2)")
                 .arg(line, CConsoleCommands::Usage(*command)));
        return;
    }
    if (command->needsRoom && !NeedRoom(command->name)) {
        return;
    }
    command->run(call);
}

void CScriptRunner::AddCommands() {
    CConsoleCommands& t = m_commands;
    auto room = [this]() -> CRoomDlg& { return m_p.entry.Room(); };
    AddHallCommands();
    AddRoomCommands(room);
    AddVideoCommands();
    AddRecordingCommands();
    AddScriptCommands();
    m_roomCommands.AddTo(t, room, [this](const QString& why) { Fail(why); });
    t.Add({"leave", "", "leave the room", 0, 0, true, [this, room](const tagCommandCall&) {
               m_roomOpen = false;
               room().Close(IDCANCEL);
           }});
    t.Add(
        {"quit", "", "quit (also the end of a script)", 0, 0, false, [this](const tagCommandCall&) {
             m_quitting = true;
             m_timer.stop();
             m_hall->Quit();
         }});
    tagPrivateParts parts{room,
                          [this]() -> CPrivateRoomDlg* {
                              return m_p.entry.IsPrivateRoomOpen() ? &m_p.entry.PrivateRoom()
                                                                   : nullptr;
                          },
                          [this](const QString& why) { Fail(why); },
                          [this](const QString& file) {
                              m_speakFile = QFileInfo(file).absoluteFilePath();
                              SelectAudio();
                          },
                          [this] { m_roomOpen = false; }};
    m_privateCommands.AddTo(t, parts);
}

void CScriptRunner::AddHallCommands() {
    CConsoleCommands& t = m_commands;
    t.Add({"help", "[COMMAND]", "list the commands, or tell what one takes", 0, 1, false,
           [this](const tagCommandCall& c) {
               if (c.args.isEmpty()) {
                   for (const QString& help : m_commands.HelpLines()) {
                       m_p.out.Line(QString(), help);
                   }
               } else if (const tagConsoleCommand* one = m_commands.Find(c.args[0])) {
                   m_p.out.Line(QString(), CConsoleCommands::Usage(*one) + "  " + one->help);
               } else {
                   Fail(QStringLiteral("help: no command ") + c.args[0]);
               }
           }});
    t.Add({"login", "USER PASSWORD", "log in (logs out first when logged in)", 2, 2, false,
           [this](const tagCommandCall& c) {
               m_loginUser = c.args[0];
               m_loginPassword = c.args[1];
               m_hall->OnLogin();
           }});
    t.Add({"areas", "", "print the area lists", 0, 0, false, [this](const tagCommandCall&) {
               bool any = false;
               for (int list = 0; list < 4; ++list) {
                   for (const auto& e : m_p.hall.AreaList(list)) {
                       any = true;
                       m_p.out.Line(QStringLiteral("地区"),
                                    QStringLiteral("%1 %2 %3").arg(list).arg(e.data).arg(e.shown));
                   }
               }
               if (!any) {
                   m_p.out.Line(kTag, QStringLiteral("the area lists are not in yet"));
               }
           }});
    t.Add({"rooms", "[LIST INDEX]", "print the room list; with an area, load that area's rooms", 0,
           2, false, [this](const tagCommandCall& c) {
               if (c.args.size() == 2) {
                   m_roomListsBefore = m_p.hall.RoomListsReceived();
                   m_hall->OnSelectArea(c.args[0].toInt(), c.args[1].toInt());
                   // The list arrives through the directory window, later.
                   m_p.out.Line(kTag, QStringLiteral("loading the room list; \"rooms\" prints "
                                                     "it once it is in"));
               } else if (c.args.size() == 1) {
                   Fail(QStringLiteral("rooms takes an area list and an index, or nothing"));
               } else if (m_roomListsBefore >= 0 &&
                          m_p.hall.RoomListsReceived() == m_roomListsBefore) {
                   m_p.out.Line(kTag, QStringLiteral("the room list is still loading"));
               } else if (m_p.hall.RoomList().empty()) {
                   m_p.out.Line(kTag, QStringLiteral("no rooms listed: choose an area with "
                                                     "\"rooms LIST INDEX\""));
               } else {
                   // As the list shows it: with the room's live occupancy.
                   for (const auto& e : m_p.hall.RoomList()) {
                       m_p.out.Line(QStringLiteral("房间"),
                                    QStringLiteral("%1 %2").arg(e.data).arg(e.shown));
                   }
               }
           }});
    t.Add({"enter", "ROOM", "enter a room by number", 1, 1, false, [this](const tagCommandCall& c) {
               bool ok = false;
               const int number = c.args[0].toInt(&ok);
               if (!ok) {
                   Fail(QStringLiteral("not a room number: ") + c.args[0]);
                   return;
               }
               m_roomOpen = false;
               m_hall->EnterRoom(number);
           }});
}

void CScriptRunner::AddRoomCommands(const std::function<CRoomDlg&()>& room) {
    CConsoleCommands& t = m_commands;
    t.Add({"members", "", "print the room's members", 0, 0, true,
           [this](const tagCommandCall&) { m_p.room.PrintMembers(); }});
    t.Add({"say", "TEXT", "a public line", 1, -1, true, [room](const tagCommandCall& c) {
               room().Chat().SetTarget(QString());
               room().Chat().SendText(c.rest);
           }});
    t.Add({"whisper", "ID TEXT", "a private line to a member", 2, -1, true,
           [room](const tagCommandCall& c) {
               room().Chat().SetTarget(c.args[0]);
               room().Chat().SendText(
                   c.rest.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty));
               room().Chat().SetTarget(QString());
           }});
    t.Add({"userinfo", "", "ask the hall about the user (the money gifts start from)", 0, 0, false,
           [this](const tagCommandCall&) { m_hall->OnUserInfo(); }});
    auto gift = [this, room](const tagCommandCall& c) {
        bool numberOk = false;
        bool quantityOk = c.args.size() == 2;
        const int number = c.args[1].toInt(&numberOk);
        const int quantity = c.args.size() == 3 ? c.args[2].toInt(&quantityOk) : 1;
        if (!numberOk || !quantityOk) {
            Fail(QStringLiteral("not a gift number and quantity: ") + c.rest);
            return;
        }
        room().Gifts().Send(c.args[0], number, quantity,
                            c.name == QLatin1String("stamp") ? GIFT_KIND_STAMP : GIFT_KIND_GIFT);
    };
    t.Add({"gift", "ID NUMBER [QTY]", "give a member a gift of the catalogue", 2, 3, true, gift});
    t.Add({"stamp", "ID NUMBER", "put a stamp on a member", 2, 2, true, gift});
    t.Add({"gifts", "", "print the gift catalogue and the user's balance", 0, 0, true,
           [this, room](const tagCommandCall&) {
               const CGifts& gifts = room().Gifts();
               const QString unit = CAppState::Get().settings.moneyName;
               for (const tagGiftItem& g : gifts.Catalogue().Gifts()) {
                   m_p.out.Line(LoadString(IDS_OP_GIFT),
                                QStringLiteral("%1 %2 %3")
                                    .arg(g.number)
                                    .arg(g.name, CGifts::ValueText(g.value, unit)));
               }
               m_p.out.Line(LoadString(IDS_UI_GIFT_BALANCE),
                            CGifts::ValueText(static_cast<int>(gifts.Balance()), unit));
           }});
    t.Add({"mic", "", "take the microphone", 0, 0, true,
           [room](const tagCommandCall&) { room().Mic().Grab(); }});
    t.Add({"speak", "FILE.wav", "take the microphone and speak the file", 1, 1, true,
           [this, room](const tagCommandCall& c) {
               m_speakFile = QFileInfo(c.args[0]).absoluteFilePath();
               SelectAudio();
               room().Mic().Grab();
           }});
    t.Add({"release", "", "release the microphone", 0, 0, true,
           [room](const tagCommandCall&) { room().Mic().Release(); }});
    t.Add({"record", "FILE.wav", "save what the room's players play to a file", 1, 1, false,
           [this](const tagCommandCall& c) {
               m_recordFile = QFileInfo(c.args[0]).absoluteFilePath();
               SelectAudio();
           }});
}

// What a script needs beyond a person's commands: waiting, and answering boxes.
void CScriptRunner::AddScriptCommands() {
    CConsoleCommands& t = m_commands;
    t.Add({"wait-line", "TEXT [SECS]", "wait (10 s by default) for a printed line containing TEXT",
           1, -1, false, [this](const tagCommandCall& c) {
               // The last word is a time limit when it is a number of seconds ("10" or "10s").
               QString text = c.rest;
               double seconds = kDefaultWaitSeconds;
               QString last = c.args.last();
               if (last.endsWith(QLatin1Char('s'))) {
                   last.chop(1);
               }
               bool ok = false;
               const double limit = last.toDouble(&ok);
               if (ok && c.args.size() > 1) {
                   seconds = limit;
                   text = c.rest.left(c.rest.lastIndexOf(QLatin1Char(' '))).trimmed();
               }
               m_waiting = true;
               m_waitText = text;
               m_waitMs = static_cast<qint64>(seconds * 1000);
               m_waitClock.start();
           }});
    t.Add({"sleep", "SECS", "let time pass", 1, 1, false, [this](const tagCommandCall& c) {
               m_waiting = true;
               m_waitText.clear();
               m_waitMs = static_cast<qint64>(c.args[0].toDouble() * 1000);
               m_waitClock.start();
           }});
    t.Add({"answer", "yes|no|ok|cancel", "answer the next message box", 1, 1, false,
           [this](const tagCommandCall& c) {
               const QString a = c.args[0].toLower();
               m_p.prompt.Answer(a == QLatin1String("yes")      ? IDYES
                                 : a == QLatin1String("no")     ? IDNO
                                 : a == QLatin1String("cancel") ? IDCANCEL
                                                                : IDOK);
           }});
}

CRoomVideo* CScriptRunner::Video(const QString& command) {
    CRoomVideo* video = m_p.entry.Room().Video();
    if (!InRoom() || !video) {
        Fail(command + QStringLiteral(": not in a room"));
        return nullptr;
    }
    return video;
}

void CScriptRunner::AddVideoCommands() {
    CConsoleCommands& t = m_commands;
    // The picture a word names: own, 1, 2 (or private).
    auto window = [](const QString& name) {
        return name == QLatin1String("own")       ? int(VIDEO_OWN)
               : name == QLatin1String("private") ? int(VIDEO_PRIVATE)
                                                  : name.toInt();
    };
    t.Add({"video", "on|off | send on|off",
           "open or close the own video (the camera of TAVO_VIDEO_SOURCE, the profile's "
           "VideoSource, or the first camera found); \"send\": whether its frames are sent",
           1, 2, false, [this](const tagCommandCall& c) {
               CRoomVideo* video = Video(c.name);
               if (!video) {
                   return;
               }
               if (c.args.size() == 2 && c.args[0] == QLatin1String("send")) {
                   video->Sending().SetSwitch(c.args[1] == QLatin1String("on"));
               } else if (c.args.size() == 1 && c.args[0] == QLatin1String("on")) {
                   video->OpenOwnVideo();
               } else if (c.args.size() == 1 && c.args[0] == QLatin1String("off")) {
                   video->CloseOwnVideo();
               } else {
                   Fail(QStringLiteral("incomplete command: video ") + c.rest);
               }
           }});
    t.Add({"watch", "1|2|ID", "open video 1 or 2, or ask to watch a member privately", 1, 1, false,
           [this](const tagCommandCall& c) {
               if (CRoomVideo* video = Video(c.name)) {
                   if (c.args[0] == QLatin1String("1") || c.args[0] == QLatin1String("2")) {
                       video->Receiving().OpenVideo(c.args[0].toInt());
                   } else {
                       video->Watch(c.args[0]);
                   }
               }
           }});
    t.Add({"unwatch", "1|2|private", "close video 1 or 2, or the private viewer", 1, 1, false,
           [this, window](const tagCommandCall& c) {
               if (CRoomVideo* video = Video(c.name)) {
                   if (window(c.args[0]) == VIDEO_PRIVATE) {
                       video->Receiving().ClosePrivateViewer();
                   } else {
                       video->Receiving().CloseVideo(window(c.args[0]), false);
                   }
               }
           }});
    t.Add({"snapshot", "own|1|2 FILE",
           "save that picture as a BMP file (\".Bmp\" is added when missing)", 2, 2, false,
           [this, window](const tagCommandCall& c) {
               CRoomVideo* video = Video(c.name);
               if (!video) {
                   return;
               }
               const QString path = QFileInfo(c.args[1]).absoluteFilePath();
               m_p.dialogs.Script(CSavePictureDlg::IDD, [path](CDialogModel& d) {
                   static_cast<CSavePictureDlg&>(d).SetPath(path);
                   d.OnOK();
               });
               if (video->CapturePicture(window(c.args[0])) != 0) {
                   Fail(QStringLiteral("snapshot: nothing saved"));
               }
           }});
    t.Add({"popout", "own|1|2", "move that picture into a window of its own", 1, 1, false,
           [this, window](const tagCommandCall& c) {
               if (CRoomVideo* video = Video(c.name)) {
                   video->PopOut(window(c.args[0]));
               }
           }});
    t.Add({"popin", "own|1|2", "put a picture moved out back", 1, 1, false,
           [this, window](const tagCommandCall& c) {
               if (CRoomVideo* video = Video(c.name)) {
                   video->PopIn(window(c.args[0]));
               }
           }});
    t.Add({"camera", "", "tell what the camera is and delivers", 0, 0, false,
           [this](const tagCommandCall& c) {
               if (CRoomVideo* video = Video(c.name)) {
                   video->ShowCameraSettings();
               }
           }});
    t.Add({"save-frames", "DIR", "save every decoded picture as DIR/video<N>-<frame>.bmp", 1, 1,
           false, [this](const tagCommandCall& c) {
               const QString folder = QFileInfo(c.args[0]).absoluteFilePath();
               if (!QDir().mkpath(folder)) {
                   Fail(QStringLiteral("save-frames: cannot make ") + folder);
                   return;
               }
               m_p.room.SaveFrames(folder);
           }});
    t.Add({"video-status", "", "print what the room's video did so far", 0, 0, false,
           [this](const tagCommandCall& c) {
               CRoomVideo* video = Video(c.name);
               if (!video) {
                   return;
               }
               const auto counters = video->Receiving().Counters();
               m_p.out.Line(QStringLiteral("视频"),
                            QStringLiteral("received %1 decoded %2 dropped %3 sent %4")
                                .arg(counters.received)
                                .arg(counters.decoded)
                                .arg(counters.dropped)
                                .arg(video->Sending().SentPackets()));
           }});
}

void CScriptRunner::AddRecordingCommands() {
    CConsoleCommands& t = m_commands;
    // The recorder of the private room while it is open, otherwise the room's; without one
    // the command fails.
    auto recording = [this](const tagCommandCall& c) -> CRecording* {
        if (m_p.entry.IsPrivateRoomOpen()) {
            if (auto* r = dynamic_cast<CPrivateRecording*>(m_p.entry.PrivateRoom().Recording())) {
                return r;
            }
        }
        if (!m_p.recording) {
            Fail(c.name + QStringLiteral(": no recorder"));
        }
        return m_p.recording;
    };
    t.Add({"record-video", "FILE.avi",
           "record the own picture and voice (\".Avi\" is added when missing)", 1, 1, true,
           [this, recording](const tagCommandCall& c) {
               CRecording* r = recording(c);
               if (r && r->RecordOwnVideo(QFileInfo(c.args[0]).absoluteFilePath()) != 0) {
                   Fail(QStringLiteral("record-video: the recording did not start"));
               }
           }});
    t.Add({"record-member", "1|2|private|peer FILE.avi",
           "record the picture of video 1, video 2, the watched member or, in the private "
           "room, the peer, with the sound capture (a charged service, period by period)",
           2, 2, true, [this, recording](const tagCommandCall& c) {
               const QString& word = c.args[0];
               const int window = word == QLatin1String("private") ? int(VIDEO_PRIVATE)
                                  : word == QLatin1String("peer")  ? int(PRIVATE_VIDEO_PEER)
                                  : word == QLatin1String("1")     ? int(VIDEO_1)
                                  : word == QLatin1String("2")     ? int(VIDEO_2)
                                                                   : -1;
               CRecording* r = recording(c);
               if (r && r->RecordOtherVideo(window, QFileInfo(c.args[1]).absoluteFilePath()) != 0) {
                   Fail(QStringLiteral("record-member: that picture shows nobody"));
               }
           }});
    t.Add({"stop-recording", "", "stop; the recording is then loaded for play-out", 0, 0, true,
           [recording](const tagCommandCall& c) {
               if (CRecording* r = recording(c)) {
                   r->StopRecording();
               }
           }});
    t.Add({"play-video", "FILE.avi [send]",
           "play a recording; with send it goes into the room as the own video (a charged "
           "service: the price is agreed to first)",
           1, 2, true, [this, recording](const tagCommandCall& c) {
               if (c.args.size() == 2 && c.args[1] != QLatin1String("send")) {
                   Fail(QStringLiteral("incomplete command: play-video ") + c.rest);
                   return;
               }
               CRecording* r = recording(c);
               if (r &&
                   r->PlayVideo(QFileInfo(c.args[0]).absoluteFilePath(), c.args.size() == 2) != 0) {
                   Fail(QStringLiteral("play-video: the file does not play"));
               }
           }});
}
