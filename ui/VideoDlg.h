#pragma once
// The pop-out window of a video picture (the private viewer's, or a public picture or the own
// preview the user moved out of the room window). The picture control is moved into it at
// {0, 0, 176, 144}; closing the window hands the picture back to the room.

#include <QWidget>

#include <functional>

class CVideoPicture;

class CVideoDlg : public QWidget {
    Q_OBJECT
public:
    // closed runs when the person closes the window, not when the room takes the picture back.
    CVideoDlg(const QString& title, std::function<void()> closed, QWidget* parent = nullptr);

    // Moves the picture into the window and shows it.
    void Take(CVideoPicture* picture);
    // Gives the picture back to its parent in the room window and hides.
    void GiveBack(QWidget* home);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::function<void()> m_closed;
    CVideoPicture* m_picture = nullptr;
};
