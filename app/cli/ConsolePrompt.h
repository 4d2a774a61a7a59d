#pragma once
// Message boxes on the console: printed with their caption, answered from the script's queue
// ("answer yes"), from the terminal when the client is interactive, or else with the first
// button.

#include "app/cli/ConsoleOutput.h"
#include "platform/Prompt.h"

#include <deque>
#include <functional>

class CConsolePrompt : public IPromptService {
public:
    CConsolePrompt(CConsoleOutput& out, bool interactive) : m_out(out), m_interactive(interactive) {}
    int MessageBox(const QString& text, const QString& caption, unsigned flags) override;
    void Answer(int result) { m_answers.push_back(result); }
    // How a question is put to the person at the terminal: a line editor's own way; without
    // one the answer is read from the input.
    void SetAsker(std::function<QString(const QString&)> ask) { m_ask = std::move(ask); }

private:
    CConsoleOutput& m_out;
    bool m_interactive;
    std::deque<int> m_answers;
    std::function<QString(const QString&)> m_ask;
};
