// The private room's dispatcher with whatever the room server or the peer sends: the input is
// a run of chunks, two bytes of length, one byte choosing a command of the private room and
// then the packet's fields. Every line it writes must be clean markup.

#include "core/AppState.h"
#include "fuzz/FuzzRoomHost.h"
#include "platform/Clock.h"
#include "platform/DialogHost.h"
#include "protocol/Commands.h"
#include "protocol/KParam.h"
#include "room/ChatSocket.h"
#include "room/PrivateRoomDlg.h"
#include "room/RoomDlg.h"
#include "room/RoomView.h"
#include "tests/room/ChatMarkupCheck.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// The room's own system lines are written by us around texts of the string table; whatever
// the peer or the server put into one must arrive escaped. Every other line must be clean
// markup.
class CCheckedChat : public CNullChatView {
public:
    explicit CCheckedChat(QString folder) : m_folder(std::move(folder)) {}
    bool InsertAtFirstTd(const QString& fragment) override {
        static const QString head = QStringLiteral("<div><font color=#008000>");
        static const QString tail = QStringLiteral("</font></div>");
        if (fragment.startsWith(head) && fragment.endsWith(tail)) {
            const QString text =
                fragment.mid(head.size(), fragment.size() - head.size() - tail.size());
            if (text.contains(QLatin1Char('<')) || text.contains(QLatin1Char('>'))) {
                std::abort();
            }
            return true;
        }
        if (!ChatMarkupProblems(fragment, m_folder).isEmpty()) {
            std::abort();
        }
        return true;
    }

private:
    QString m_folder;
};

// What the server and the peer can send into the private room (the capture's start, which
// needs a sound device, left out).
constexpr short kCodes[] = {CMD_PEER_IN_PRIVATE_ROOM,
                            CMD_DEPARTURE,
                            CMD_NICKNAME_REPLY,
                            CMD_NICKNAME_CHANGED,
                            CMD_GIFT_REPLY,
                            CMD_GIFT_GIVEN,
                            CMD_GIFT_INFO_REPLY,
                            CMD_GRAB_MIC_REPLY,
                            CMD_QUEUE_JOINED,
                            CMD_RELEASE_MIC_REPLY,
                            CMD_MIC_RELEASED,
                            CMD_TEXT_REPLY,
                            CMD_TEXT_LINE,
                            CMD_AUDIO,
                            CMD_VIDEO,
                            CMD_SNAPSHOT_CONTROL_REPLY,
                            CMD_RECORD_CONTROL_REPLY,
                            CMD_QUALITY_REPLY,
                            CMD_QUALITY_CHANGED,
                            CMD_BANDWIDTH_REPLY,
                            CMD_BANDWIDTH_CHANGED,
                            CMD_FILE_OFFER_REPLY,
                            CMD_FILE_OFFERED,
                            CMD_FORCED_EXIT,
                            CMD_KICKED,
                            CMD_NICKNAME_FORCED};

struct tagWorld {
    tagWorld() {
        static int argc = 1;
        static char name[] = "fuzz_private_room";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QCoreApplication>(argc, argv);
        state.account.loginName = QStringLiteral("me");
        state.programFolder = folder.path();
        CClock::Slot().Install(&clock);
        CAppState::Slot().Install(&state);
        IDialogHost::Slot().Install(&dialogs);
        room = std::make_unique<CPrivateRoomDlg>(host);
        chat = std::make_unique<CCheckedChat>(folder.path());
        room->SetViews(nullptr, chat.get());
        room->Open(QStringLiteral("me"), QStringLiteral("我"), true);
    }

    std::unique_ptr<QCoreApplication> app;
    QTemporaryDir folder;
    CSystemClock clock;
    CAppState state;
    CScriptedDialogHost dialogs;
    CFuzzRoomHost host;
    std::unique_ptr<CCheckedChat> chat;
    std::unique_ptr<CPrivateRoomDlg> room;
};

tagWorld& World() {
    static tagWorld world;
    return world;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tagWorld& w = World();
    size_t at = 0;
    while (at + 3 <= size) {
        const size_t n = std::min<size_t>(data[at] | (data[at + 1] << 8), size - at - 3);
        const short code = kCodes[data[at + 2] % (sizeof kCodes / sizeof kCodes[0])];
        const char* fields = reinterpret_cast<const char*>(data + at + 3);
        at += 3 + n;
        CKParam packet;
        if (n > 0 && packet.SetBufferPtr(fields, static_cast<int>(n)) != 0) {
            continue;
        }
        if (packet.UpdateShortInt(KEY_COMMAND, code) != 0) {
            packet.SetShortInt(KEY_COMMAND, code);
        }
        w.room->DispatchPacket(packet);
    }
    // The peer's arrival asks for the peer's information from the event loop, which does
    // not run here; what it posted must not pile up from one input to the next.
    QCoreApplication::removePostedEvents(nullptr);
    return 0;
}
