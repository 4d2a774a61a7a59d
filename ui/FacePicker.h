#pragma once
// The face picker of the input box: a popup grid of the chat faces.

#include <QFrame>

class CFacePicker : public QFrame {
    Q_OBJECT
public:
    explicit CFacePicker(QWidget* parent = nullptr);
    // Shows the grid below a point of the screen.
    void PopupAt(const QPoint& globalPos);

Q_SIGNALS:
    void FaceChosen(int face);
};
