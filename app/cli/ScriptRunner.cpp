#include "app/cli/ScriptRunner.h"

#include "app/cli/ConsoleOutput.h"
#include "app/cli/ConsolePrompt.h"
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
#include "room/RoomDlg.h"
#include "room/RoomEntry.h"
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
    : m_p(parts), m_roomCommands(parts.out, parts.dialogs) {
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
                   int(CSavePictureDlg::IDD)}) {
        m_p.dialogs.Default(id, [](CDialogModel& d) { d.OnCancel(); });
    }
    // The sound settings are taken as they stand.
    m_p.dialogs.Default(CSoundConfigDlg::IDD, [](CDialogModel& d) { d.OnOK(); });
}

CScriptRunner::~CScriptRunner() = default;

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
            m_queue.push_back(line);
        }
    }
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
    return m_p.entry.IsRoomOpen();
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
    if (m_queue.empty() || !Idle()) {
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
    const QString command =
        line.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty).toLower();
    const QString rest = line.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty);
    const QStringList args = rest.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    m_p.out.Line(kTag, QStringLiteral("> ") + line);
    CRoomDlg& room = m_p.entry.Room();

    if (command == QLatin1String("login") && args.size() == 2) {
        m_loginUser = args[0];
        m_loginPassword = args[1];
        m_hall->OnLogin();
    } else if (command == QLatin1String("areas")) {
        for (int list = 0; list < 4; ++list) {
            for (const auto& e : m_p.hall.AreaList(list)) {
                m_p.out.Line(QStringLiteral("地区"),
                             QStringLiteral("%1 %2 %3").arg(list).arg(e.data).arg(e.shown));
            }
        }
    } else if (command == QLatin1String("rooms")) {
        if (args.size() == 2) {
            m_hall->OnSelectArea(args[0].toInt(), args[1].toInt());
            // The list arrives through the directory window; print it with a later "rooms".
        } else {
            for (const auto& e : m_p.hall.RoomList()) {
                m_p.out.Line(QStringLiteral("房间"),
                             QStringLiteral("%1 %2").arg(e.data).arg(e.text));
            }
        }
    } else if (command == QLatin1String("enter") && args.size() == 1) {
        bool ok = false;
        const int number = args[0].toInt(&ok);
        if (!ok) {
            Fail(QStringLiteral("not a room number: ") + args[0]);
            return;
        }
        m_roomOpen = false;
        m_hall->EnterRoom(number);
    } else if (command == QLatin1String("members")) {
        if (NeedRoom(command)) {
            m_p.room.PrintMembers();
        }
    } else if (command == QLatin1String("say") && !rest.isEmpty()) {
        if (NeedRoom(command)) {
            room.Chat().SetTarget(QString());
            room.Chat().SendText(rest);
        }
    } else if (command == QLatin1String("whisper") && args.size() >= 2) {
        if (NeedRoom(command)) {
            room.Chat().SetTarget(args[0]);
            room.Chat().SendText(rest.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty));
            room.Chat().SetTarget(QString());
        }
    } else if (command == QLatin1String("userinfo")) {
        m_hall->OnUserInfo();
    } else if ((command == QLatin1String("gift") && args.size() == 3) ||
               (command == QLatin1String("stamp") && args.size() == 2)) {
        bool numberOk = false;
        bool quantityOk = args.size() == 2;
        const int number = args[1].toInt(&numberOk);
        const int quantity = args.size() == 3 ? args[2].toInt(&quantityOk) : 1;
        if (!numberOk || !quantityOk) {
            Fail(QStringLiteral("not a gift number and quantity: ") + rest);
            return;
        }
        if (NeedRoom(command)) {
            room.Gifts().Send(args[0], number, quantity,
                              command == QLatin1String("stamp") ? GIFT_KIND_STAMP : GIFT_KIND_GIFT);
        }
    } else if (command == QLatin1String("gifts")) {
        if (NeedRoom(command)) {
            const CGifts& gifts = room.Gifts();
            const QString unit = CAppState::Get().settings.moneyName;
            for (const tagGiftItem& g : gifts.Catalogue().Gifts()) {
                m_p.out.Line(LoadString(IDS_OP_GIFT),
                             QStringLiteral("%1 %2 %3")
                                 .arg(g.number)
                                 .arg(g.name, CGifts::ValueText(g.value, unit)));
            }
            m_p.out.Line(LoadString(IDS_UI_GIFT_BALANCE),
                         CGifts::ValueText(static_cast<int>(gifts.Balance()), unit));
        }
    } else if (command == QLatin1String("mic") || command == QLatin1String("speak")) {
        if (command == QLatin1String("speak")) {
            if (args.size() != 1) {
                Fail(QStringLiteral("speak needs a WAV file"));
                return;
            }
            m_speakFile = QFileInfo(args[0]).absoluteFilePath();
            SelectAudio();
        }
        if (NeedRoom(command)) {
            room.Mic().Grab();
        }
    } else if (command == QLatin1String("release")) {
        if (NeedRoom(command)) {
            room.Mic().Release();
        }
    } else if (command == QLatin1String("record") && args.size() == 1) {
        m_recordFile = QFileInfo(args[0]).absoluteFilePath();
        SelectAudio();
    } else if (IsVideoCommand(command)) {
        RunVideo(command, args);
    } else if (command == QLatin1String("wait-line") && !args.isEmpty()) {
        // The last word is a time limit when it is a number of seconds ("10" or "10s").
        QString text = rest;
        double seconds = kDefaultWaitSeconds;
        QString last = args.last();
        if (last.endsWith(QLatin1Char('s'))) {
            last.chop(1);
        }
        bool ok = false;
        const double limit = last.toDouble(&ok);
        if (ok && args.size() > 1) {
            seconds = limit;
            text = rest.left(rest.lastIndexOf(QLatin1Char(' '))).trimmed();
        }
        m_waiting = true;
        m_waitText = text;
        m_waitMs = static_cast<qint64>(seconds * 1000);
        m_waitClock.start();
    } else if (command == QLatin1String("sleep") && args.size() == 1) {
        m_waiting = true;
        m_waitText.clear();
        m_waitMs = static_cast<qint64>(args[0].toDouble() * 1000);
        m_waitClock.start();
    } else if (command == QLatin1String("answer") && args.size() == 1) {
        const QString a = args[0].toLower();
        m_p.prompt.Answer(a == QLatin1String("yes")      ? IDYES
                          : a == QLatin1String("no")     ? IDNO
                          : a == QLatin1String("cancel") ? IDCANCEL
                                                         : IDOK);
    } else if (CConsoleRoomCommands::Knows(command)) {
        if (CConsoleRoomCommands::NeedsRoom(command) && !NeedRoom(command)) {
            return;
        }
        QString why;
        if (!m_roomCommands.Run(room, command, rest, why)) {
            Fail(why);
        }
    } else if (command == QLatin1String("leave")) {
        if (NeedRoom(command)) {
            m_roomOpen = false;
            room.Close(IDCANCEL);
        }
    } else if (command == QLatin1String("quit")) {
        m_quitting = true;
        m_timer.stop();
        m_hall->Quit();
    } else {
        Fail(QStringLiteral("unknown or incomplete command: ") + line);
    }
}

bool CScriptRunner::IsVideoCommand(const QString& command) {
    for (const char* name : {"video", "watch", "unwatch", "snapshot", "popout", "popin", "camera",
                             "save-frames", "video-status"}) {
        if (command == QLatin1String(name)) {
            return true;
        }
    }
    return false;
}

void CScriptRunner::RunVideo(const QString& command, const QStringList& args) {
    if (command == QLatin1String("save-frames") && args.size() == 1) {
        const QString folder = QFileInfo(args[0]).absoluteFilePath();
        if (!QDir().mkpath(folder)) {
            Fail(QStringLiteral("save-frames: cannot make ") + folder);
            return;
        }
        m_p.room.SaveFrames(folder);
        return;
    }
    CRoomVideo* video = m_p.entry.Room().Video();
    if (!InRoom() || !video) {
        Fail(command + QStringLiteral(": not in a room"));
        return;
    }
    const QString what = args.value(0);
    auto window = [](const QString& name) {
        return name == QLatin1String("own")       ? int(VIDEO_OWN)
               : name == QLatin1String("private") ? int(VIDEO_PRIVATE)
                                                  : name.toInt();
    };
    if (command == QLatin1String("video") && args.size() == 1 && what == QLatin1String("on")) {
        video->OpenOwnVideo();
    } else if (command == QLatin1String("video") && args.size() == 1 &&
               what == QLatin1String("off")) {
        video->CloseOwnVideo();
    } else if (command == QLatin1String("video") && args.size() == 2 &&
               what == QLatin1String("send")) {
        video->Sending().SetSwitch(args[1] == QLatin1String("on"));
    } else if (command == QLatin1String("watch") && args.size() == 1) {
        if (what == QLatin1String("1") || what == QLatin1String("2")) {
            video->Receiving().OpenVideo(what.toInt());
        } else {
            video->Watch(what);
        }
    } else if (command == QLatin1String("unwatch") && args.size() == 1) {
        if (window(what) == VIDEO_PRIVATE) {
            video->Receiving().ClosePrivateViewer();
        } else {
            video->Receiving().CloseVideo(window(what), false);
        }
    } else if (command == QLatin1String("snapshot") && args.size() == 2) {
        const QString path = QFileInfo(args[1]).absoluteFilePath();
        m_p.dialogs.Script(CSavePictureDlg::IDD, [path](CDialogModel& d) {
            static_cast<CSavePictureDlg&>(d).SetPath(path);
            d.OnOK();
        });
        if (video->CapturePicture(window(what)) != 0) {
            Fail(QStringLiteral("snapshot: nothing saved"));
        }
    } else if (command == QLatin1String("popout") && args.size() == 1) {
        video->PopOut(window(what));
    } else if (command == QLatin1String("popin") && args.size() == 1) {
        video->PopIn(window(what));
    } else if (command == QLatin1String("camera")) {
        video->ShowCameraSettings();
    } else if (command == QLatin1String("video-status")) {
        const auto c = video->Receiving().Counters();
        m_p.out.Line(QStringLiteral("视频"),
                     QStringLiteral("received %1 decoded %2 dropped %3 sent %4")
                         .arg(c.received)
                         .arg(c.decoded)
                         .arg(c.dropped)
                         .arg(video->Sending().SentPackets()));
    } else {
        Fail(QStringLiteral("unknown or incomplete command: ") + command + QLatin1Char(' ') +
             args.join(QLatin1Char(' ')));
    }
}
