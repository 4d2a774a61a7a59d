#include "ui/VideoPicture.h"

#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "ui/Icons.h"

#include <QContextMenuEvent>
#include <QPainter>

CVideoPicture::CVideoPicture(QWidget* parent) : QWidget(parent) {
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CVideoPicture::DrawPicture(const tagVideoPicture& picture) {
    if (!picture.IsWhole()) {
        return;
    }
    // The bytes are the component's; the image takes its own copy. B, G, R, A in memory is
    // ARGB32 on a little-endian machine.
    m_image = QImage(reinterpret_cast<const uchar*>(picture.bgra.constData()), picture.width,
                     picture.height, qsizetype{picture.width} * 4, QImage::Format_ARGB32)
                  .copy();
    m_showing = true;
    ++m_drawn;
    update();
}

void CVideoPicture::ShowVideo(bool show) {
    m_showing = show;
    if (!show) {
        m_image = QImage();
    }
    update();
}

void CVideoPicture::SetVideoRect(const tagVideoRect& rect) {
    if (rect.Width() > 0 && rect.Height() > 0) {
        setGeometry(rect.left, rect.top, rect.Width(), rect.Height());
    }
}

void CVideoPicture::SetBackground(EVideoPicture picture) {
    m_background = picture;
    if (picture != EVideoPicture::Open) {
        m_image = QImage();
    }
    update();
}

void CVideoPicture::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = rect();
    if (m_showing && !m_image.isNull()) {
        // Whole-number scaling by repeating pixels keeps the picture sharp; a picture larger
        // than the device pixels of the control is scaled down smoothly.
        const qreal ratio = devicePixelRatioF();
        const bool down = m_image.width() > area.width() * ratio;
        painter.setRenderHint(QPainter::SmoothPixmapTransform, down);
        painter.drawImage(area, m_image);
        return;
    }
    painter.fillRect(area, m_background == EVideoPicture::Closed ? QColor(0x55, 0x5a, 0x62)
                                                                 : QColor(0x1f, 0x23, 0x29));
    const QIcon camera = CIcons::State(QStringLiteral("camera"));
    const QRect icon(area.center().x() - 16, area.center().y() - 26, 32, 32);
    camera.paint(&painter, icon, Qt::AlignCenter,
                 m_background == EVideoPicture::Closed ? QIcon::Disabled : QIcon::Normal);
    painter.setPen(QColor(0xe8, 0xea, 0xed));
    const QString text = LoadString(m_background == EVideoPicture::Closed ? IDS_UI_VIDEO_CLOSED
                                                                          : IDS_UI_VIDEO_WAITING);
    painter.drawText(area.adjusted(4, 60, -4, 0), Qt::AlignHCenter | Qt::AlignVCenter, text);
}

void CVideoPicture::contextMenuEvent(QContextMenuEvent* event) {
    Q_EMIT ContextMenuAt(event->globalPos());
}
