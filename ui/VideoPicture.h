#pragma once
// A picture control of the room: 176 x 144 points on which the video components draw. At 200%
// scaling the small picture is drawn pixel for pixel doubled, and the large one pixel for
// pixel, so neither is blurred. Without a picture it shows what the room tells it (waiting
// for video, video closed).

#include "room/RoomView.h"
#include "video/VideoSurface.h"

#include <QImage>
#include <QWidget>

class CVideoPicture : public QWidget, public IVideoSurface {
    Q_OBJECT
public:
    static constexpr int kWidth = 176;
    static constexpr int kHeight = 144;

    explicit CVideoPicture(QWidget* parent = nullptr);

    // IVideoSurface
    void DrawPicture(const tagVideoPicture& picture) override;
    void ShowVideo(bool show) override;
    void SetVideoRect(const tagVideoRect& rect) override;

    void SetBackground(EVideoPicture picture);
    EVideoPicture Background() const { return m_background; }
    const QImage& Picture() const { return m_image; }
    int Drawn() const { return m_drawn; }

Q_SIGNALS:
    void ContextMenuAt(const QPoint& global);

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QImage m_image;
    EVideoPicture m_background = EVideoPicture::Idle;
    bool m_showing = false;
    int m_drawn = 0;
};
