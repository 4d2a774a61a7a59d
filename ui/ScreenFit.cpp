#include "ui/ScreenFit.h"

#include <QApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>

namespace {

QRect FreeArea(const QWidget& widget, const QPoint& near) {
    const QScreen* screen = QGuiApplication::screenAt(near);
    if (!screen) {
        screen = widget.screen() ? widget.screen() : QGuiApplication::primaryScreen();
    }
    return screen ? screen->availableGeometry() : QRect();
}

// What the window manager adds around the window: known once it has been shown, otherwise
// the style's title bar and borders stand for it.
QSize FrameExtra(const QWidget& window) {
    const QSize shown = window.frameGeometry().size() - window.geometry().size();
    if (window.testAttribute(Qt::WA_WState_Created) && !shown.isEmpty()) {
        return shown;
    }
    const int border = window.style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
    const int title = window.style()->pixelMetric(QStyle::PM_TitleBarHeight);
    return {2 * border, title + 2 * border};
}

}  // namespace

QWidget* ScrollingContent(QWidget& window) {
    auto* area = new QScrollArea(&window);
    area->setObjectName(QStringLiteral("windowScroll"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    auto* content = new QWidget(area);
    area->setWidget(content);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(area);
    return content;
}

void FitWindowToScreen(QWidget& window, bool fill) {
    const QRect free = FreeArea(window, window.geometry().center());
    if (free.isEmpty()) {
        return;
    }
    const QSize extra = FrameExtra(window);
    const QSize room = (free.size() - extra).expandedTo(QSize(1, 1));
    const QSize size = fill ? room : window.size().boundedTo(room);
    window.resize(size);
    // Centred on the free area; a window moves by its frame's corner.
    const QSize outer = size + extra;
    window.move(free.x() + (free.width() - outer.width()) / 2,
                free.y() + (free.height() - outer.height()) / 2);
}

void PlacePopup(QWidget& popup, const QPoint& at, int aboveY) {
    const QRect free = FreeArea(popup, at);
    if (free.isEmpty()) {
        popup.move(at);
        return;
    }
    // A pop-up has no frame on most desktops; where the platform draws one, it is known once
    // the pop-up has shown.
    const QSize extra = popup.testAttribute(Qt::WA_WState_Created)
                            ? popup.frameGeometry().size() - popup.geometry().size()
                            : QSize(0, 0);
    const QSize size = popup.size().boundedTo(free.size() - extra);
    popup.resize(size);
    const QSize outer = size + extra;
    int y = at.y();
    if (y + outer.height() > free.bottom() + 1 && aboveY - outer.height() >= free.top()) {
        y = aboveY - outer.height();
    }
    const int x = std::clamp(at.x(), free.left(), free.right() + 1 - outer.width());
    y = std::clamp(y, free.top(), free.bottom() + 1 - outer.height());
    popup.move(x, y);
}
