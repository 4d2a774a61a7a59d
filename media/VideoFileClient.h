#pragma once
// The file player: a graph that reads an AVI file and hands its H.264 frames, at the pace of
// their times, to the video render filter, which sends the notify window one message per
// frame. Duration, position and seeking are in whole seconds.

#include "media/DsFilter.h"
#include "video/VideoSurface.h"

#include <QString>

#include <cstdint>

class CVideoFileClient {
public:
    CVideoFileClient() = default;
    ~CVideoFileClient();
    CVideoFileClient(const CVideoFileClient&) = delete;
    CVideoFileClient& operator=(const CVideoFileClient&) = delete;

    // Builds the graph for the file; the picture's size comes back. 0, or -1 with everything
    // released and the reason traced (no such file, not an AVI, no H.264 picture in it).
    int Create(IVideoSurface* window, tagVideoRect rect, const QString& path, int32_t notifyWindow,
               int& width, int& height);
    int Run();
    int Pause();
    int Stop();
    int Duration() const { return m_duration; }
    // The position; at the end of the file (or when the file breaks off) the duration.
    int Position();
    // -1 beyond the duration; otherwise 0 once the graph was moved there.
    int Seek(int seconds);
    void Close();
    bool IsCreated() const { return m_graph != nullptr; }
    // The picture size as the render filter gives it: width * 65536 + height.
    int32_t PictureSize() const { return m_size; }

private:
    CDsFilter m_ds;
    IGraphBuilder* m_graph = nullptr;
    IBaseFilter* m_render = nullptr;
    int32_t m_size = 0;
    int m_duration = 0;
    bool m_ended = false;
};
