#include "media/DsFilter.h"
#include "media/FilterWindow.h"
#include "media/MakerFilters.h"
#include "tests/support/TestSupport.h"
#include "tests/video/VideoTestSupport.h"
#include "video/Picture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;
using tavotest::WaitUntil;

namespace {

class DsFilterTest : public ::testing::Test {
protected:
    void SetUp() override { m_graph = CreateGraph(); }
    void TearDown() override {
        for (IBaseFilter*& f : m_filters) {
            Release(f);
        }
        Release(m_graph);
    }
    IBaseFilter** Slot() {
        m_filters.push_back(nullptr);
        return &m_filters.back();
    }

    CDsFilter m_ds;
    IGraphBuilder* m_graph = nullptr;
    std::deque<IBaseFilter*> m_filters;
};

}  // namespace

TEST_F(DsFilterTest, FiltersWithoutCounterpartFailAndAddNothing) {
    using Create = HRESULT (CDsFilter::*)(IGraphBuilder*, IBaseFilter**);
    for (Create create : {&CDsFilter::CreateH263Encoder, &CDsFilter::CreateH263Decoder,
                          &CDsFilter::CreateDivxFastUnCompress, &CDsFilter::CreateXvidUnCompress,
                          &CDsFilter::CreateCiscoVAD, &CDsFilter::CreateTrueSpeechCompress,
                          &CDsFilter::CreateDivxFastCompress, &CDsFilter::CreateXvidCompress,
                          &CDsFilter::CreateMpeg42Compress, &CDsFilter::CreateMpeg42UnCompress}) {
        IBaseFilter* filter = nullptr;
        EXPECT_TRUE(FAILED((m_ds.*create)(m_graph, &filter)));
        EXPECT_EQ(filter, nullptr);
    }
    EXPECT_EQ(FilterCount(m_graph), 0);

    // The compressors that exist are found by their friendly names.
    QStringList compressors;
    ASSERT_EQ(m_ds.FindDevice(CLSID_AudioCompressorCategory, QString(), &compressors, nullptr),
              S_OK);
    EXPECT_TRUE(compressors.contains(QStringLiteral("GSM 6.10")));
    EXPECT_FALSE(compressors.contains(QStringLiteral("DSP Group TrueSpeech(TM)")));
    IBaseFilter** gsm = Slot();
    ASSERT_EQ(m_ds.CreateGsmCompress(m_graph, gsm), S_OK);
    EXPECT_EQ(FilterName(*gsm), QStringLiteral("_GSM 6.10"));
}

TEST_F(DsFilterTest, PinsAndTeardownFollowTheConnections) {
    // Three converters in a chain, and one of the same kind left alone.
    IBaseFilter** a = Slot();
    IBaseFilter** b = Slot();
    IBaseFilter** c = Slot();
    IBaseFilter** alone = Slot();
    for (IBaseFilter** f : {a, b, c, alone}) {
        ASSERT_EQ(m_ds.CreateAcmWrapper(m_graph, f), S_OK);
    }
    // One name each: the later ones are numbered, and the name finds the first.
    EXPECT_EQ(FilterName(*b), QStringLiteral("_Acm Wrapper 0001"));
    IBaseFilter* found = nullptr;
    ASSERT_EQ(m_ds.QueryFilters(m_graph, QStringLiteral("_Acm Wrapper"), &found, false), S_OK);
    EXPECT_EQ(found, *a);
    Release(found);

    // Unconnected filters: tearing down changes nothing.
    EXPECT_EQ(m_ds.DisconnectAllFilterPin(m_graph), S_OK);
    EXPECT_EQ(FilterCount(m_graph), 4);

    ASSERT_EQ(m_ds.ConnectFiltersDirectly(m_graph, *a, *b), S_OK);
    ASSERT_EQ(m_ds.ConnectFiltersDirectly(m_graph, *b, *c), S_OK);
    IPin* pin = nullptr;
    EXPECT_EQ(m_ds.GetPin(*a, PINDIR_OUTPUT, &pin, false), E_FAIL);
    EXPECT_EQ(m_ds.GetPin(*a, PINDIR_OUTPUT, &pin, true), S_OK);
    EXPECT_NE(pin, nullptr);
    Release(pin);
    // No free output pin upstream: the connection fails with GetPin's result.
    EXPECT_EQ(m_ds.ConnectFilters(m_graph, *a, *alone), E_FAIL);

    EXPECT_EQ(m_ds.DisconnectAllFilterPin(m_graph), S_OK);
    EXPECT_EQ(FilterCount(m_graph), 2);
    EXPECT_EQ(m_ds.QueryFilters(m_graph, FilterName(*b), &found, false), E_FAIL);
    EXPECT_EQ(m_ds.DisconnectAllFilterPin(nullptr), 1);
    EXPECT_EQ(m_ds.DisconnectFiltersOut(nullptr, *a), -1);

    EXPECT_EQ(m_ds.ReleaseOtherFilter(m_graph), S_OK);
    EXPECT_EQ(FilterCount(m_graph), 0);
}

TEST_F(DsFilterTest, CapturePictureWritesTheGrabbersPictureAsBmp) {
    QTemporaryDir dir;
    const QString bmp = QDir(dir.path()).filePath(QStringLiteral("shot.bmp"));
    tavotest::CScopedEnv camera(
        "TAVO_VIDEO_SOURCE",
        "videotestsrc pattern=smpte ! video/x-raw,format=I420,width=160,height=120");
    IBaseFilter** capture = Slot();
    IBaseFilter** grabber = Slot();
    ASSERT_EQ(m_ds.CreateVideoCapture(m_graph, capture), S_OK);
    ASSERT_EQ(m_ds.CreateSampleGrabber(m_graph, grabber), S_OK);
    // Nothing grabbed yet: no file.
    EXPECT_TRUE(FAILED(CDsFilter::CapturePicture(*grabber, bmp)));
    EXPECT_FALSE(QFile::exists(bmp));

    // The camera gives I420, the grabber takes 32-bit pixels: the connection converts.
    ASSERT_EQ(m_ds.ConnectFilters(m_graph, *capture, *grabber), S_OK);
    EXPECT_GT(FilterCount(m_graph), 2);
    ASSERT_EQ(RunGraph(m_graph), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return CDsFilter::CapturePicture(*grabber, bmp) == S_OK; }, 10s));
    tagVideoPicture picture;
    ASSERT_TRUE(ReadBmpFile(bmp, picture));
    EXPECT_EQ(picture.width, 160);
    EXPECT_EQ(picture.height, 120);
    // The pattern's second bar at the top is yellow and its bottom-left corner dark: the rows
    // are not upside down and the channels are in place.
    const auto channel = [&](int x, int y, int c) {
        return static_cast<uint8_t>(picture.bgra[(y * 160 + x) * 4 + c]);
    };
    EXPECT_GT(channel(34, 10, 2), 180);  // red
    EXPECT_GT(channel(34, 10, 1), 180);  // green
    EXPECT_LT(channel(34, 10, 0), 60);   // blue
    EXPECT_LT(channel(2, 117, 2), 100);

    const QString dot = QDir(dir.path()).filePath(QStringLiteral("graph.dot"));
    ASSERT_EQ(m_ds.SaveGraphFile(m_graph, dot), S_OK);
    QFile file(dot);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("_Sample Grabber"));
    EXPECT_TRUE(FAILED(m_ds.SaveGraphFile(m_graph, QStringLiteral("/nonexistent-dir/g.dot"))));
}

TEST_F(DsFilterTest, MakerFiltersAnswerTheirCommandsAndRefuseOthers) {
    IBaseFilter** source = Slot();
    IBaseFilter** plain = Slot();
    ASSERT_EQ(m_ds.CreateZelSource(m_graph, source), S_OK);
    ASSERT_EQ(m_ds.CreateAcmWrapper(m_graph, plain), S_OK);

    tagStreamConfig config{.kind = 2, .mediaCode = 20};  // neither picture nor sound
    void* block = &config;
    EXPECT_TRUE(FAILED(QueryInterface(*source, CMD_FILTER_CONFIGURE, &block)));
    EXPECT_NE(config.result, 0);

    config = {.kind = 0, .mediaCode = 20, .handle = 0, .width = 176, .height = 144};
    EXPECT_EQ(QueryInterface(*source, CMD_FILTER_CONFIGURE, &block), S_OK);
    EXPECT_EQ(config.result, 0);
    EXPECT_NE(config.handle, 0);

    int32_t value = -1;
    block = &value;
    EXPECT_EQ(QueryInterface(*plain, CMD_FILTER_START, &block), E_NOINTERFACE);
    EXPECT_EQ(QueryInterface(*source, CMD_KEY_INTERVAL, &block), E_NOINTERFACE);
    EXPECT_EQ(m_ds.ConfigRtpDemux(*plain, 3), S_OK);
}

namespace {

class CCountingWindow : public CFilterWindow {
public:
    int count = 0;

protected:
    void OnCopyData(unsigned, const QByteArray&) override { ++count; }
};

}  // namespace

TEST(FilterWindows, AMessageReachesItsWindowAndNothingOnceTheWindowIsGone) {
    auto first = std::make_unique<CCountingWindow>();
    CCountingWindow second;
    const int32_t gone = first->Handle();
    // Messages one after another to two windows, as a recording sends them.
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(CFilterWindow::SendCopyData(gone, TAG_SOURCE_FRAME, QByteArray("f")));
        ASSERT_TRUE(CFilterWindow::SendCopyData(second.Handle(), TAG_SOURCE_AUDIO, "a"));
    }
    EXPECT_EQ(first->count, 3);
    EXPECT_EQ(second.count, 3);

    first.reset();
    CCountingWindow third;
    EXPECT_FALSE(CFilterWindow::SendCopyData(gone, TAG_SOURCE_FRAME, QByteArray("f")));
    EXPECT_NE(third.Handle(), gone);
    EXPECT_TRUE(CFilterWindow::SendCopyData(second.Handle(), TAG_SOURCE_AUDIO, "a"));
    EXPECT_EQ(second.count, 4);
    EXPECT_EQ(third.count, 0);
}
