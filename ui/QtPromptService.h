#pragma once
// Message boxes on the desktop: the core's MessageBox calls become QMessageBox windows with
// the system's captions, buttons and icons, answered by the person at the screen.

#include "platform/Prompt.h"

class QMessageBox;

class CQtPromptService : public IPromptService {
public:
    int MessageBox(const QString& text, const QString& caption, unsigned flags) override;

    // The box is built here so its look can be checked without showing it.
    static QMessageBox* CreateBox(const QString& text, const QString& caption, unsigned flags);
    // The system's result for the button the box ended with.
    static int ResultOf(int standardButton, unsigned flags);
};
