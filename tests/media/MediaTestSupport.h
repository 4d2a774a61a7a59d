#pragma once
// What the media tests and benchmarks share: a test-pattern camera whose frame packets are
// passed on, a WAV-file microphone, and an AVI file read back packet by packet.

#include "platform/MessageWindow.h"
#include "video/VideoServerH264.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace tavotest {

struct tagFrame {
    bool key = false;
    QByteArray packet;  // the whole frame packet
    QByteArray data;    // its H.264 bytes
};

// The camera at 176 x 144 on the test pattern; each frame packet is handed to the callback.
class CCameraTap : public CMessageWindow {
public:
    explicit CCameraTap(std::function<void(const tagFrame&)> onFrame);
    ~CCameraTap() override;
    bool Start();
    void Stop();

protected:
    void OnCopyData(unsigned tag, const QByteArray& data) override;

private:
    std::function<void(const tagFrame&)> m_onFrame;
    CVideoServerH264 m_sender;
};

// Selects the WAV-file devices with a microphone that hears a tone, kept in real time.
void UseWavMicrophone(const QString& folder);

struct tagAviPacket {
    int stream = 0;
    bool key = false;
    QByteArray data;
};
// What the file's header says of a stream.
struct tagAviStream {
    QString codec;  // "h264", "gsm_ms"
    unsigned tag = 0;
    int rate = 0;  // of a sound
    int channels = 0;
};
struct tagAviFile {
    bool read = false;
    std::vector<tagAviStream> streams;
    std::vector<tagAviPacket> packets;
    // The packets of the first stream of that codec.
    std::vector<tagAviPacket> Stream(const QString& codec) const;
};
// Reads the file with libavformat.
tagAviFile ReadAvi(const QString& path);
// Writes an AVI of the pattern's first count pictures through the AVI writer, at the pace of
// the given frame rate, with a key frame every keyEvery frames and no sound.
bool WritePatternAvi(const QString& path, int count, int keyEvery, int fps);

// The text of the trace logs named "trace..." in a folder (UTF-16 on disk).
QString ReadTraceFiles(const QString& folder);

}  // namespace tavotest
