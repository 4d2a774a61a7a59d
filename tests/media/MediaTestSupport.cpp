#include "tests/media/MediaTestSupport.h"

#include "media/AviRecord.h"
#include "media/FilterWindow.h"
#include "media/MakerFilters.h"
#include "platform/audio/WavFile.h"
#include "platform/audio/WaveSystem.h"
#include "protocol/keys/VideoKeys.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestSupport.h"
#include "tests/video/VideoTestSupport.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <iterator>

#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tavotest {

CCameraTap::CCameraTap(std::function<void(const tagFrame&)> onFrame)
    : m_onFrame(std::move(onFrame)) {
    CreateMessageWindow(QStringLiteral("camera tap"));
}

CCameraTap::~CCameraTap() {
    Stop();
}

bool CCameraTap::Start() {
    constexpr tagVideoRect large{0, 0, 352, 288};
    constexpr tagVideoRect small{0, 0, 176, 144};
    qputenv("TAVO_VIDEO_SOURCE", PatternSource().toUtf8());
    if (m_sender.Create(nullptr, large, small, small, this, 1) != 0) {
        m_sender.Release();
        return false;
    }
    m_sender.Open();
    m_sender.SetFrameRate(kPatternFps);
    m_sender.Start();
    m_sender.EnableSmallWindow(true);
    return true;
}

void CCameraTap::Stop() {
    m_sender.Stop();
    m_sender.Close();
    m_sender.Release();
}

void CCameraTap::OnCopyData(unsigned tag, const QByteArray& data) {
    if (tag == CVideoServerH264::TAG_FRAME && m_onFrame) {
        const CPacketCopy copy{data};
        m_onFrame({copy.Loaded().BoolOr(VideoFrameKey::KEY, false), data,
                   BytesOf(copy, VideoFrameKey::DATA)});
    }
}

void UseWavMicrophone(const QString& folder) {
    const QString path = QDir(folder).filePath(QStringLiteral("mic.wav"));
    // A tone long enough for any recording of the tests.
    ASSERT_TRUE(WriteWavFile(path, audiotest::MakeSine(8000, 1, 440, 8000, 30)));
    ASSERT_TRUE(CWaveSystem::Select(QStringLiteral("wav:in=") + path));
}

std::vector<tagAviPacket> tagAviFile::Stream(const QString& codec) const {
    const auto stream = std::find_if(streams.begin(), streams.end(),
                                     [&](const tagAviStream& s) { return s.codec == codec; });
    std::vector<tagAviPacket> out;
    std::copy_if(packets.begin(), packets.end(), std::back_inserter(out),
                 [&](const tagAviPacket& p) { return p.stream == stream - streams.begin(); });
    return out;
}

tagAviFile ReadAvi(const QString& path) {
    tagAviFile file;
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, path.toUtf8().constData(), nullptr, nullptr) < 0) {
        return file;
    }
    if (avformat_find_stream_info(context, nullptr) >= 0) {
        for (unsigned i = 0; i < context->nb_streams; ++i) {
            const AVCodecParameters* stream = context->streams[i]->codecpar;
            file.streams.push_back({QString::fromLatin1(avcodec_get_name(stream->codec_id)),
                                    stream->codec_tag, stream->sample_rate,
                                    stream->ch_layout.nb_channels});
        }
        AVPacket* packet = av_packet_alloc();
        while (av_read_frame(context, packet) >= 0) {
            // Places the camera skipped are empty chunks; they hold no picture.
            if (packet->size > 0) {
                file.packets.push_back(
                    {packet->stream_index, (packet->flags & AV_PKT_FLAG_KEY) != 0,
                     QByteArray(reinterpret_cast<const char*>(packet->data), packet->size)});
            }
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
        file.read = true;
    }
    avformat_close_input(&context);
    return file;
}

bool WritePatternAvi(const QString& path, int count, int keyEvery, int fps) {
    std::vector<int> keys;
    for (int i = 0; i < count; i += keyEvery) {
        keys.push_back(i);
    }
    const std::vector<tagEncodedFrame> frames = EncodePattern(count, keys);
    CAviRecord writer;
    int32_t video = 0, audio = 0;
    if (writer.Create(nullptr, {0, 0, 176, 144}, video, audio, path) != 0 || writer.Start() != 0 ||
        writer.SetFileName(path) != 0 || writer.Run() != 0) {
        return false;
    }
    for (size_t i = 0; i < frames.size(); ++i) {
        const QByteArray packet = CVideoServerH264::FramePacket(
            176, frames[i].key, static_cast<int>(i + 1), frames[i].bytes);
        CFilterWindow::SendCopyData(video, TAG_SOURCE_FRAME, packet);
        Spin(std::chrono::milliseconds(1000 / fps));
    }
    return writer.Stop() == 0;
}

QString ReadTraceFiles(const QString& folder) {
    QString text;
    // The log's file name carries the program's name.
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("trace*")}, QDir::Files)) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            text += QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()),
                                       bytes.size() / 2);
        }
    }
    return text;
}

}  // namespace tavotest
