#include "platform/Prompt.h"

namespace {
constinit CServiceSlot<IPromptService> g_prompt{"prompt service"};
}

int FirstButton(unsigned flags) {
    switch (flags & 0xF) {
        case MB_YESNO:
        case MB_YESNOCANCEL:
            return IDYES;
        default:
            return IDOK;
    }
}

CServiceSlot<IPromptService>& IPromptService::Slot() {
    return g_prompt;
}

int MessageBox(const QString& text, const QString& caption, unsigned flags) {
    return IPromptService::Get().MessageBox(text, caption, flags);
}

int CScriptedPrompt::MessageBox(const QString& text, const QString& caption, unsigned flags) {
    std::lock_guard lock(m_mutex);
    m_shown.push_back({text, caption, flags});
    if (m_answers.empty()) {
        return FirstButton(flags);
    }
    int result = m_answers.front();
    m_answers.pop_front();
    return result;
}

void CScriptedPrompt::Answer(int result) {
    std::lock_guard lock(m_mutex);
    m_answers.push_back(result);
}

std::vector<CScriptedPrompt::Shown> CScriptedPrompt::History() const {
    std::lock_guard lock(m_mutex);
    return m_shown;
}

QStringList CScriptedPrompt::Texts() const {
    std::lock_guard lock(m_mutex);
    QStringList texts;
    for (const auto& s : m_shown) {
        texts << s.text;
    }
    return texts;
}

bool CScriptedPrompt::Saw(const QString& part) const {
    std::lock_guard lock(m_mutex);
    for (const auto& s : m_shown) {
        if (s.text.contains(part)) {
            return true;
        }
    }
    return false;
}

void CScriptedPrompt::Clear() {
    std::lock_guard lock(m_mutex);
    m_shown.clear();
    m_answers.clear();
}
