#pragma once
// Keeping windows and pop-ups on the screen's free area (the screen less its panels). A scaled
// desktop has far fewer layout units than pixels: at 200% a 1280x800 screen is 640x400, less
// than any of our windows asks for.

#include <QPoint>

class QScrollArea;
class QWidget;

// Puts a scrolling area over the whole window and returns the widget inside it, which takes
// the window's layout: the window can then be smaller than its contents without cutting them.
QWidget* ScrollingContent(QWidget& window);

// Sizes and places a top-level window before it shows: no larger than the free area of its
// screen (its frame included), and wholly inside it. With fill, it takes the whole free area.
void FitWindowToScreen(QWidget& window, bool fill);

// Places a pop-up of its current size (again once shown, when its frame is known) at a point (its
// top-left corner), moved as little as needed to stay on the free area; when it does not fit below,
// it opens above aboveY instead.
void PlacePopup(QWidget& popup, const QPoint& at, int aboveY);
