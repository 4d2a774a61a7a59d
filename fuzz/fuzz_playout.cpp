// AVI files to play out: the bytes become a file, the player builds its graph on it and plays
// it for a moment, and every frame the render filter sends is decoded as the recorder's
// display decodes it. A damaged, truncated or foreign file is refused or plays what it can;
// nothing may crash, and a frame message must carry the bytes it says it does.

#include "media/FilterWindow.h"
#include "media/MakerFilters.h"
#include "media/VideoFileClient.h"
#include "video/VideoClientH264.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

class CFrames : public CFilterWindow {
public:
    CFrames() {
        CreateMessageWindow(QStringLiteral("fuzz play-out"));
        IVideoSurface* window = nullptr;
        m_decoder.Create(nullptr, {0, 0, 176, 144}, {0, 0, 176, 144}, window);
        m_decoder.Open();
        m_decoder.Start();
    }

protected:
    void OnCopyData(unsigned tag, const QByteArray& data) override {
        if (tag != TAG_PLAY_FRAME) {
            return;
        }
        tagPlayFrameHeader header;
        if (data.size() < static_cast<qsizetype>(sizeof header)) {
            std::abort();
        }
        std::memcpy(&header, data.constData(), sizeof header);
        if (header.length == 0 ||
            data.size() - static_cast<qsizetype>(sizeof header) != header.length) {
            std::abort();
        }
        m_decoder.DecodeBuffer(data.constData() + sizeof header, header.length);
    }

private:
    CVideoClientH264 m_decoder;
};

QString FilePath() {
    static const QString path = QDir::temp().filePath(
        QStringLiteral("fuzz-playout-%1.avi").arg(QCoreApplication::applicationPid()));
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QFile file(FilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return 0;
    }
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();

    CFrames frames;
    CVideoFileClient player;
    int width = 0, height = 0;
    if (player.Create(nullptr, {0, 0, 176, 144}, FilePath(), frames.Handle(), width, height) == 0) {
        if (player.PictureSize() != width * 65536 + height || player.Duration() < 0) {
            std::abort();
        }
        player.Run();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 150 && player.Position() < player.Duration()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        player.Seek(player.Duration() + 1);
        player.Seek(0);
        player.Stop();
        QCoreApplication::processEvents();
    }
    player.Close();
    return 0;
}
