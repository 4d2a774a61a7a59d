#include "app/cli/ConsoleVideo.h"

#include "video/Picture.h"

#include <QDir>

void CConsoleVideoSurface::DrawPicture(const tagVideoPicture& picture) {
    ++m_drawn;
    if (!m_seen) {
        m_seen = true;
        m_out.Line(QStringLiteral("视频"), QStringLiteral("video %1 picture %2x%3")
                                               .arg(m_window)
                                               .arg(picture.width)
                                               .arg(picture.height));
    }
    if (m_folder.isEmpty() || !m_frameNumber) {
        return;
    }
    const QString name = QStringLiteral("video%1-%2.bmp")
                             .arg(m_window)
                             .arg(m_frameNumber(), 6, 10, QLatin1Char('0'));
    if (WriteBmpFile(QDir(m_folder).filePath(name), picture) == 0) {
        ++m_saved;
    }
}

void CConsoleVideoSurface::ShowVideo(bool show) {
    // A new stay of the window: its first picture is told again.
    if (show) {
        m_seen = false;
    }
}
