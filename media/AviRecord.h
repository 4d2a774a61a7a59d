#pragma once
// The AVI writer: a graph of two source filters (the picture's frames and the sound's GSM 6.10
// blocks, handed to their windows), the AVI multiplexer and the file writer. The file holds
// the frames' H.264 bytes as they came, key frames marked, and the sound as it came.

#include "media/DsFilter.h"
#include "video/VideoSurface.h"

#include <QString>

#include <cstdint>

class CAviRecord {
public:
    CAviRecord() = default;
    ~CAviRecord();
    CAviRecord(const CAviRecord&) = delete;
    CAviRecord& operator=(const CAviRecord&) = delete;

    // Builds the graph for pictures of the rectangle's size; the source filters' windows come
    // back in the two handles. 0, or -1 with everything released and the failing step traced.
    int Create(IVideoSurface* preview, tagVideoRect rect, int32_t& videoWindow,
               int32_t& audioWindow, const QString& fileName);
    // Where the file goes; an existing file is overwritten. 0 or -1.
    int SetFileName(const QString& path);
    // The sources start delivering (once).
    int Start();
    // The sources stop, the file is completed and the graph stops.
    int Stop();
    int Run();
    int Pause();
    int StopGraph();
    // Seconds recorded so far.
    int Position() const;
    void Close();
    bool IsCreated() const { return m_created; }

private:
    HRESULT Configure(IBaseFilter* source, int kind, int code, int32_t& window, tagVideoRect rect,
                      const QString& name);

    CDsFilter m_ds;
    IGraphBuilder* m_graph = nullptr;
    IBaseFilter* m_videoSource = nullptr;
    IBaseFilter* m_audioSource = nullptr;
    IBaseFilter* m_mux = nullptr;
    IBaseFilter* m_writer = nullptr;
    bool m_started = false;
    bool m_created = false;
};
