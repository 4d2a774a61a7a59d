// Video in an entered room: what the user's own frames become on the second room connection,
// which received room video packets reach which picture, private watching, and the room's
// video notices. The room runs against the scripted room server on loopback; frames are real
// H.264 of the test pattern, and the own camera is the test-pattern source.

#include "protocol/Commands.h"
#include "protocol/keys/VideoKeys.h"
#include "room/ChatText.h"
#include "room/RoomVideo.h"
#include "room/SavePictureDlg.h"
#include "tests/room/RoomFixture.h"
#include "tests/video/VideoTestSupport.h"
#include "video/Picture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <map>

using namespace tavotest;

namespace {

// A room view with video windows that keep what they are told.
class CVideoView : public CRecordingRoomView {
public:
    IVideoSurface* VideoSurface(int window) override { return &surfaces[window]; }
    void SetVideoToggle(int window, const QString& text) override { toggles[window] = text; }
    void SetVideoPicture(int window, EVideoPicture p) override { pictures[window] = p; }
    void ShowVideoPopOut(int window, bool shown) override { popOuts[window] = shown; }
    void SetOwnVideo(bool open) override { ownVideo = open; }
    std::map<int, CKeptSurface> surfaces;
    std::map<int, QString> toggles;
    std::map<int, EVideoPicture> pictures;
    std::map<int, bool> popOuts;
    bool ownVideo = false;
};

QByteArray Frame(const tagEncodedFrame& f, int number, int width = 176) {
    return CVideoServerH264::FramePacket(width, f.key, number, f.bytes);
}

struct CVideoRoom {
    CVideoRoom() {
        f.server.settings = {{140, 3}, {150, 12}, {160, 10}, {170, 6}};
        f.Room().SetViews(&view, &f.publicView, &f.privateView);
        video = &CRoomVideo::Install(f.Room());
        video->Sending().SetCameraAvailable(true);
    }
    ~CVideoRoom() { f.Room().SetViews(nullptr, nullptr, nullptr); }

    // The whole entry, drawn on this view.
    bool Enter() {
        f.server.room = 1234;
        f.entry->OnRoomMessage(1, 1234);
        return WaitUntil([&] { return view.shown && !view.micMode.isEmpty(); });
    }
    // A room video packet as the room server relays it.
    void Video(int slot, const QString& sender, const QByteArray& frame,
               const QString& viewers = QString(), int room = 1234) {
        CKParam p = Packet(
            CMD_VIDEO, {{VideoKey::SLOT, slot}, {VideoKey::ONE, 1}, {VideoKey::KEY_FRAME, false}});
        p.SetChar(VideoKey::FRAME, frame.constData(), static_cast<unsigned short>(frame.size()));
        f.Deliver(With(
            std::move(p),
            {{VideoKey::SENDER, sender}, {VideoKey::VIEWERS, viewers}, {VideoKey::ROOM, room}}));
    }
    // Hands the room a frame as the sender component does.
    void OwnFrame(const QByteArray& frame) {
        f.Room().PostCopyData(CVideoServerH264::TAG_FRAME, frame);
        Spin(std::chrono::milliseconds(20));
    }
    std::vector<CPacketCopy> Sent() { return f.server.second.Received(CMD_VIDEO); }
    size_t Drawn(int window) { return view.surfaces[window].pictures.size(); }

    CRoomFixture f;
    CVideoView view;
    CRoomVideo* video = nullptr;
};

const std::vector<tagEncodedFrame>& Pattern() {
    static const auto frames = EncodePattern(24, {0, 12});
    return frames;
}

}  // namespace

TEST(RoomVideoSend, FramesGoToTheSlotHeldOrToTheViewersWhoAskedAndNowhereElse) {
    CVideoRoom r;
    r.f.app.clientVersion = 1828;
    ASSERT_TRUE(r.Enter());
    const QByteArray frame = Frame(Pattern()[0], 1);

    // Nobody asked and no slot: nothing leaves.
    r.OwnFrame(frame);
    EXPECT_TRUE(r.Sent().empty());

    // The holder of the main microphone sends on video 1, the frame packet byte for byte.
    r.f.MicTaken(QStringLiteral("me"));
    r.OwnFrame(frame);
    ASSERT_TRUE(r.f.server.second.WaitFor(CMD_VIDEO));
    EXPECT_TRUE(HasFields(r.Sent().back(), {{VideoKey::SLOT, 1},
                                            {VideoKey::ONE, 1},
                                            {VideoKey::KEY_FRAME, true},
                                            {VideoKey::SENDER, "me"},
                                            {VideoKey::VIEWERS, QString()}}));
    EXPECT_EQ(BytesOf(r.Sent().back(), VideoKey::FRAME), frame);

    // On the second microphone (and not the main): video 2.
    r.f.MicTaken(QString());
    r.f.MicTaken(QStringLiteral("me"), 2);
    r.OwnFrame(Frame(Pattern()[1], 2));
    ASSERT_TRUE(r.f.server.second.WaitFor(CMD_VIDEO, 2));
    EXPECT_EQ(r.Sent().back().Loaded().IntOr(VideoKey::SLOT, -1), 2);

    // Off the slots, a member asks to watch while the own video runs: the answer takes him,
    // and the frames go to slot 0 with the viewers' ids.
    r.f.Deliver(Packet(CMD_SECOND_MIC_RELEASED));
    r.f.MicTaken(QString(), 2);
    CScopedEnv camera("TAVO_VIDEO_SOURCE", PatternSource().toUtf8());
    r.video->Sending().Open(15);
    ASSERT_TRUE(r.video->Sending().IsOpen());
    for (const QString& viewer : {QStringLiteral("amy"), QStringLiteral("bob")}) {
        r.f.Deliver(Packet(CMD_WATCH_ASKED, {{WatchAskedKey::VIEWER, viewer}}));
    }
    ASSERT_TRUE(r.f.server.main.WaitFor(CMD_WATCH_ANSWER, 2));
    CKParam answer = r.f.server.main.Received(CMD_WATCH_ANSWER).front().Loaded();
    EXPECT_TRUE(HasFields(answer, {{WatchAnswerKey::RESULT, 0},
                                   {WatchAnswerKey::VIEWER, "amy"},
                                   {101, "10.0.0.9"},
                                   {102, 7001}}));
    // The camera's own frames now reach the viewers.
    ASSERT_TRUE(r.f.server.second.WaitFor(CMD_VIDEO, 4, std::chrono::seconds(10)));
    CKParam privately = r.Sent().back().Loaded();
    EXPECT_TRUE(HasFields(privately, {{VideoKey::SLOT, 0}, {VideoKey::VIEWERS, "amy,bob"}}));

    // A viewer who leaves is no longer named; the switch in position 0 sends nothing.
    r.f.Deliver(Packet(CMD_DEPARTURE, {{20, "amy"}}));
    r.video->Sending().Close();
    // Pictures the camera took before it closed may still be on their way: let them land.
    size_t before = 0;
    do {
        before = r.Sent().size();
        Spin(std::chrono::milliseconds(100));
    } while (r.Sent().size() != before);
    r.OwnFrame(Frame(Pattern()[2], 3));
    ASSERT_TRUE(r.f.server.second.WaitFor(CMD_VIDEO, static_cast<int>(before) + 1));
    EXPECT_EQ(r.Sent().back().Loaded().TextOr(VideoKey::VIEWERS), QStringLiteral("bob"));
    r.video->Sending().SetSwitch(false);
    r.OwnFrame(Frame(Pattern()[3], 4));
    Spin(std::chrono::milliseconds(50));
    EXPECT_EQ(r.Sent().size(), before + 1);

    // A member asking while the own video is closed is told there is no video.
    r.f.Deliver(Packet(CMD_WATCH_ASKED, {{WatchAskedKey::VIEWER, "cat"}}));
    ASSERT_TRUE(r.f.server.main.WaitFor(CMD_WATCH_ANSWER, 3));
    CKParam refused = r.f.server.main.Received(CMD_WATCH_ANSWER).back().Loaded();
    EXPECT_TRUE(HasFields(refused, {{WatchAnswerKey::RESULT, -1}, {WatchAnswerKey::REFUSAL, 167}}));
}

TEST(RoomVideoSend, ComponentPacketsTheParameterRequestAndTheFrameRate) {
    CVideoRoom r;
    ASSERT_TRUE(r.Enter());
    // Tag 81 goes out on the main connection unchanged; tag 82 is nobody's.
    CKParam own = Packet(CMD_VIDEO_PARAMS, {{20, 7}});
    r.f.Room().PostCopyData(CVideoServerH264::TAG_PACKET,
                            QByteArray(own.GetBufferPtr(), own.GetLength()));
    r.f.Room().PostCopyData(82, QByteArray(own.GetBufferPtr(), own.GetLength()));
    ASSERT_TRUE(r.f.server.main.WaitFor(CMD_VIDEO_PARAMS));
    Spin(std::chrono::milliseconds(50));
    ASSERT_EQ(r.f.server.main.Received(CMD_VIDEO_PARAMS).size(), 1u);
    EXPECT_EQ(r.f.server.main.Received(CMD_VIDEO_PARAMS)[0].Loaded().IntOr(20, 0), 7);

    // The room is in speech quality: the camera opens at key 170's rate; holding video 2 the
    // rate follows a change to hi-fi (key 150).
    CScopedEnv camera("TAVO_VIDEO_SOURCE", PatternSource().toUtf8());
    ASSERT_EQ(r.video->OpenOwnVideo(), 0);
    ASSERT_TRUE(r.f.server.main.WaitFor(CMD_VIDEO_REQUEST));
    r.f.server.SendMain(Packet(CMD_VIDEO_REQUEST_REPLY, {{KEY_RESULT, 0}}));
    ASSERT_TRUE(WaitUntil([&] { return r.video->Sending().IsOpen(); }));
    EXPECT_TRUE(r.view.ownVideo);
    EXPECT_EQ(r.video->Sending().Sender().FrameRate(), 6);
    r.f.MicTaken(QStringLiteral("me"), 2);
    r.f.Deliver(Packet(CMD_QUALITY_CHANGED, {{20, "amy"}, {30, 1}}));
    EXPECT_EQ(r.video->Sending().Sender().FrameRate(), 12);

    // -263 reaches the sender after the room's own dispatch: the next frame is a key frame,
    // though the last one was not long ago.
    ASSERT_TRUE(r.f.server.second.WaitFor(CMD_VIDEO, 3, std::chrono::seconds(10)));
    ASSERT_TRUE(
        WaitUntil([&] { return !r.Sent().back().Loaded().BoolOr(VideoKey::KEY_FRAME, true); },
                  std::chrono::seconds(10)));
    const size_t at = r.Sent().size();
    r.f.server.SendMain(Packet(CMD_VIDEO_PARAMS, {{VideoParamsKey::ASK, 1}}));
    ASSERT_TRUE(r.f.server.second.WaitFor(CMD_VIDEO, static_cast<int>(at) + 2));
    bool keyAfter = false;
    const auto sent = r.Sent();
    for (size_t i = at; i < sent.size(); ++i) {
        keyAfter = keyAfter || sent[i].Loaded().BoolOr(VideoKey::KEY_FRAME, false);
    }
    EXPECT_TRUE(keyAfter);

    // A snapshot of the own picture through the save dialog, with the ".Bmp" rule.
    QTemporaryDir dir;
    const QString chosen = QDir(dir.path()).filePath(QStringLiteral("snap"));
    r.f.ui.dialogs.Script(CSavePictureDlg::IDD, [&](CDialogModel& d) {
        static_cast<CSavePictureDlg&>(d).SetPath(chosen);
        d.OnOK();
    });
    ASSERT_EQ(r.video->CapturePicture(VIDEO_OWN), 0);
    tagVideoPicture saved;
    EXPECT_TRUE(ReadBmpFile(chosen + QStringLiteral(".Bmp"), saved));
    EXPECT_EQ(saved.width, 352);

    r.video->CloseOwnVideo();
    EXPECT_FALSE(r.video->Sending().IsOpen());
    EXPECT_FALSE(r.view.ownVideo);
}

TEST(RoomVideoSend, WithoutACameraNothingIsAskedAndTheServersRefusalIsTold) {
    CVideoRoom r;
    ASSERT_TRUE(r.Enter());
    r.video->Sending().SetCameraAvailable(false);
    EXPECT_NE(r.video->OpenOwnVideo(), 0);
    EXPECT_TRUE(r.f.privateView.Has(QStringLiteral("没有找到视频源,可能是没有安装摄像设备.")));
    EXPECT_NE(r.video->CapturePicture(VIDEO_OWN), 0);
    EXPECT_TRUE(r.f.privateView.Has(QStringLiteral("当前没有视频数据,可能是没有安装摄像设备.")));
    r.video->CloseOwnVideo();
    EXPECT_FALSE(r.view.ownVideo);
    Spin(std::chrono::milliseconds(50));
    EXPECT_TRUE(r.f.server.main.Received(CMD_VIDEO_REQUEST).empty());

    r.video->Sending().SetCameraAvailable(true);
    ASSERT_EQ(r.video->OpenOwnVideo(), 0);
    ASSERT_TRUE(r.f.server.main.WaitFor(CMD_VIDEO_REQUEST));
    r.f.server.SendMain(Packet(CMD_VIDEO_REQUEST_REPLY, {{KEY_RESULT, -1}, {KEY_REFUSAL, 160}}));
    ASSERT_TRUE(WaitUntil([&] { return r.f.privateView.Has(QStringLiteral("打开视频失败.")); }));
    EXPECT_FALSE(r.video->Sending().IsOpen());
    // The request is over: asking again goes out.
    EXPECT_EQ(r.video->OpenOwnVideo(), 0);
}

TEST(RoomVideoReceive, TheLossRuleShowsFramesInOrderAndBrokenPacketsAreDropped) {
    CVideoRoom r;
    r.f.app.clientVersion = 1828;
    ASSERT_TRUE(r.Enter());
    r.f.MicTaken(QStringLiteral("amy"));
    EXPECT_EQ(r.view.toggles[VIDEO_1], QStringLiteral("close"));
    const auto& v = Pattern();
    const QString amy = QStringLiteral("amy");
    r.Video(1, amy, Frame(v[0], 3));
    r.Video(1, amy, Frame(v[1], 4));
    ASSERT_EQ(r.Drawn(VIDEO_1), 2u);
    // 5 and 6 follow 4 and are shown; 8 and 9 come after a gap and are not.
    r.Video(1, amy, Frame(v[2], 5));
    r.Video(1, amy, Frame(v[3], 6));
    r.Video(1, amy, Frame(v[5], 8));
    r.Video(1, amy, Frame(v[6], 9));
    EXPECT_EQ(r.Drawn(VIDEO_1), 4u);
    // The next key frame is shown and the flow resumes from it.
    r.Video(1, amy, Frame(v[12], 15));
    r.Video(1, amy, Frame(v[13], 16));
    ASSERT_EQ(r.Drawn(VIDEO_1), 6u);
    EXPECT_GE(Psnr(r.view.surfaces[VIDEO_1].pictures.back(), PatternPictures(14, 176, 144)[13]),
              30.0);
    // A key frame after a gap is shown whatever came before.
    r.Video(1, amy, Frame(v[0], 40));
    EXPECT_EQ(r.Drawn(VIDEO_1), 7u);

    // Not the holder, another room, slot 3, a holder the user blocked: nothing drawn.
    r.Video(1, QStringLiteral("bob"), Frame(v[0], 41));
    r.Video(1, amy, Frame(v[0], 42), QString(), 999);
    r.Video(3, amy, Frame(v[0], 43));
    r.f.Room().Chat().SetBlocked(amy, true);
    r.Video(1, amy, Frame(v[0], 44));
    EXPECT_EQ(r.Drawn(VIDEO_1), 7u);
    r.f.Room().Chat().SetBlocked(amy, false);
    // Ranked video: a holder unknown to the member list is not shown.
    r.video->Receiving().Filter().rankedVideo = true;
    r.Video(1, amy, Frame(v[0], 45));
    EXPECT_EQ(r.Drawn(VIDEO_1), 7u);
    r.video->Receiving().Filter().rankedVideo = false;
    EXPECT_EQ(r.Drawn(VIDEO_2), 0u);
    EXPECT_EQ(r.Drawn(VIDEO_PRIVATE), 0u);

    // Broken packets on video 2 are dropped: the inner packet cut short, an empty key 30 (what
    // the decoder makes of damaged H.264 is its own test's); the next key frame is shown.
    r.f.MicTaken(amy, 2);
    r.Video(2, amy, Frame(v[0], 1));
    ASSERT_EQ(r.Drawn(VIDEO_2), 1u);
    const QByteArray whole = Frame(v[1], 2);
    r.Video(2, amy, whole.left(whole.size() / 2));
    r.Video(2, amy, Frame(tagEncodedFrame{QByteArray(), false}, 2));
    r.Video(2, amy, Frame(v[3], 3));
    EXPECT_EQ(r.Drawn(VIDEO_2), 1u);
    r.Video(2, amy, Frame(v[12], 9));
    EXPECT_EQ(r.Drawn(VIDEO_2), 2u);
}

TEST(RoomVideoReceive, PrivateWatchingOpensItsWindowAndShowsOnlyTheWatchedMember) {
    CVideoRoom r;
    ASSERT_TRUE(r.Enter());
    const auto& v = Pattern();
    ASSERT_EQ(r.video->Watch(QStringLiteral("amy")), 0);
    ASSERT_TRUE(r.f.server.main.WaitFor(CMD_WATCH));
    EXPECT_EQ(r.f.server.main.Received(CMD_WATCH)[0].Loaded().TextOr(WatchKey::MEMBER),
              QStringLiteral("amy"));
    // Before the server agreed, nothing of amy's is shown.
    r.Video(0, QStringLiteral("amy"), Frame(v[0], 1), QStringLiteral("me"));
    EXPECT_EQ(r.Drawn(VIDEO_PRIVATE), 0u);
    r.f.server.SendMain(Packet(CMD_WATCH_REPLY, {{KEY_RESULT, 0}, {WatchReplyKey::MEMBER, "amy"}}));
    ASSERT_TRUE(WaitUntil([&] { return r.view.popOuts[VIDEO_PRIVATE]; }));
    EXPECT_FALSE(r.f.Room().Discipline().IsPending(CMD_WATCH));
    r.Video(0, QStringLiteral("amy"), Frame(v[0], 2), QStringLiteral("zed,me"));
    EXPECT_EQ(r.Drawn(VIDEO_PRIVATE), 1u);
    // A list without the user, or another sender: nothing.
    r.Video(0, QStringLiteral("amy"), Frame(v[0], 3), QStringLiteral("zed"));
    r.Video(0, QStringLiteral("bob"), Frame(v[0], 4), QStringLiteral("me"));
    EXPECT_EQ(r.Drawn(VIDEO_PRIVATE), 1u);
    EXPECT_EQ(r.Drawn(VIDEO_1), 0u);

    // The server ends it: the lines, and the window goes.
    r.f.server.SendMain(Packet(CMD_WATCH_ENDED, {{WatchEndedKey::RESULT, 0}}));
    ASSERT_TRUE(WaitUntil([&] { return !r.view.popOuts[VIDEO_PRIVATE]; }));
    EXPECT_TRUE(r.f.privateView.Has(QStringLiteral("打开望远镜结束")));
    r.Video(0, QStringLiteral("amy"), Frame(v[0], 5), QStringLiteral("me"));
    EXPECT_EQ(r.Drawn(VIDEO_PRIVATE), 1u);
}

TEST(RoomVideoReceive, TheRoomSwitchingVideoOffClosesBothPicturesWithTheirToggles) {
    CVideoRoom r;
    ASSERT_TRUE(r.Enter());
    EXPECT_TRUE(r.video->Receiving().IsOpen(VIDEO_1));
    EXPECT_EQ(r.view.pictures[VIDEO_2], EVideoPicture::Open);
    r.f.Deliver(Packet(CMD_VIDEO_OFF_UNATTENDED));
    EXPECT_TRUE(r.f.publicView.Has(QStringLiteral("房间5分钟没有房主或管理员,已自动禁用视频")));
    for (int slot : {VIDEO_1, VIDEO_2}) {
        EXPECT_FALSE(r.video->Receiving().IsOpen(slot));
        EXPECT_EQ(r.view.toggles[slot], QStringLiteral("open"));
        EXPECT_EQ(r.view.pictures[slot], EVideoPicture::Closed);
    }
    // A closed picture draws nothing.
    r.f.MicTaken(QStringLiteral("amy"));
    r.Video(1, QStringLiteral("amy"), Frame(Pattern()[0], 1));
    EXPECT_EQ(r.Drawn(VIDEO_1), 0u);
}
