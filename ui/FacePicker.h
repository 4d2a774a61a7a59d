#pragma once
// The face picker of the input box: a popup grid of the chat faces.

#include <QFrame>

class CFacePicker : public QFrame {
    Q_OBJECT
public:
    explicit CFacePicker(QWidget* parent = nullptr);
    // Shows the grid with its corner at a point of the screen, or above aboveY (the top of
    // what opened it) when the screen has no room below.
    void PopupAt(const QPoint& globalPos, int aboveY);

Q_SIGNALS:
    void FaceChosen(int face);
};
