#pragma once
// Message boxes. The core asks; a prompt service shows (a QMessageBox on the desktop, the
// terminal in the console client) or answers from a script (tests).

#include "platform/ServiceSlot.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <mutex>

// Flags and results keep the numbers the system's code was written against.
enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_TOPMOST = 0x40000,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

class IPromptService {
public:
    virtual ~IPromptService() = default;
    // Shows text with a caption and returns the button pressed (IDOK, IDCANCEL, IDYES, IDNO).
    virtual int MessageBox(const QString& text, const QString& caption, unsigned flags) = 0;

    // The process-wide prompt service.
    static CServiceSlot<IPromptService>& Slot();
    static IPromptService& Get() { return Slot().Get(); }
};

// The button a box answered without asking anybody takes: OK, or Yes for a question.
int FirstButton(unsigned flags);

// The message boxes of the system are captioned "Warning" unless they say otherwise.
int MessageBox(const QString& text, const QString& caption = QStringLiteral("Warning"),
               unsigned flags = MB_OK);

// Records every box and answers from a queue; with the queue empty it presses the first
// button (OK or Yes).
class CScriptedPrompt : public IPromptService {
public:
    struct Shown {
        QString text;
        QString caption;
        unsigned flags;
    };

    int MessageBox(const QString& text, const QString& caption, unsigned flags) override;

    void Answer(int result);
    std::vector<Shown> History() const;
    QStringList Texts() const;
    // Whether any box so far contained the text.
    bool Saw(const QString& part) const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::deque<int> m_answers;
    std::vector<Shown> m_shown;
};

// Installs a prompt service for the life of a scope.
using CScopedPrompt = CScopedService<IPromptService>;
