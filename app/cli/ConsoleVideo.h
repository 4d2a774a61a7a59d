#pragma once
// The console's video windows: each counts the pictures drawn on it, says when the first one
// of a stay arrives, and, once told a folder, saves every decoded picture there as a BMP named
// after its window and frame number ("video1-000042.bmp").

#include "app/cli/ConsoleOutput.h"
#include "video/VideoSurface.h"

#include <QString>

#include <functional>

class CConsoleVideoSurface : public IVideoSurface {
public:
    // frameNumber gives the number of the frame being drawn; null for the own preview.
    CConsoleVideoSurface(CConsoleOutput& out, int window, std::function<int()> frameNumber)
        : m_out(out), m_window(window), m_frameNumber(std::move(frameNumber)) {}

    void DrawPicture(const tagVideoPicture& picture) override;
    void ShowVideo(bool show) override;

    void SaveTo(const QString& folder) { m_folder = folder; }
    int Drawn() const { return m_drawn; }
    int Saved() const { return m_saved; }

private:
    CConsoleOutput& m_out;
    const int m_window;
    std::function<int()> m_frameNumber;
    QString m_folder;
    bool m_seen = false;
    int m_drawn = 0;
    int m_saved = 0;
};
