#include "platform/DialogHost.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {
constinit CServiceSlot<IDialogHost> g_host{"dialog host"};
}

CServiceSlot<IDialogHost>& IDialogHost::Slot() {
    return g_host;
}

CDialogModel::CDialogModel(int templateId) : m_templateId(templateId) {}

CDialogModel::~CDialogModel() {
    if (m_loop) {
        m_loop->quit();
    }
}

int CDialogModel::DoModal() {
    m_ended = false;
    m_result = IDCANCEL;
    CreateMessageWindow();
    IDialogHost& host = IDialogHost::Get();
    host.Open(*this);
    m_open = true;
    OnInitDialog();
    if (!m_ended) {
        OnShowDialog();
    }
    if (!m_ended) {
        host.Shown(*this);
    }
    if (!m_ended) {
        QEventLoop loop;
        m_loop = &loop;
        loop.exec(QEventLoop::DialogExec);
        m_loop = nullptr;
    }
    m_open = false;
    host.Close(*this);
    DestroyMessageWindow();
    m_view = nullptr;
    return m_result;
}

void CDialogModel::EndDialog(int result) {
    if (m_ended) {
        return;
    }
    m_ended = true;
    m_result = result;
    if (m_loop) {
        m_loop->quit();
    }
}

void CDialogModel::SetTitle(const QString& title) {
    m_title = title;
    Changed();
}

void CDialogModel::SetStatusText(const QString& text) {
    m_status = text;
    Changed();
}

void CDialogModel::Changed() {
    if (m_view) {
        m_view->OnModelChanged();
    }
}

void CScriptedDialogHost::Open(CDialogModel& model) {
    std::lock_guard lock(m_mutex);
    m_open.push_back(&model);
}

void CScriptedDialogHost::Shown(CDialogModel& model) {
    Action action;
    {
        std::lock_guard lock(m_mutex);
        m_history.push_back({model.TemplateId(), model.Title()});
        auto& queue = m_scripts[model.TemplateId()];
        if (!queue.empty()) {
            action = std::move(queue.front());
            queue.pop_front();
        } else if (auto it = m_defaults.find(model.TemplateId()); it != m_defaults.end()) {
            action = it->second;
        }
    }
    if (action) {
        // Run inside the dialog's own loop, as a person would act on a dialog already shown.
        CDialogModel* target = &model;
        QTimer::singleShot(0, [this, target, action] {
            {
                std::lock_guard lock(m_mutex);
                if (std::find(m_open.begin(), m_open.end(), target) == m_open.end()) {
                    return;
                }
            }
            action(*target);
        });
    }
}

void CScriptedDialogHost::Close(CDialogModel& model) {
    std::lock_guard lock(m_mutex);
    m_open.erase(std::remove(m_open.begin(), m_open.end(), &model), m_open.end());
}

void CScriptedDialogHost::Script(int templateId, Action action) {
    std::lock_guard lock(m_mutex);
    m_scripts[templateId].push_back(std::move(action));
}

void CScriptedDialogHost::Unscript(int templateId) {
    std::lock_guard lock(m_mutex);
    m_scripts.erase(templateId);
}

void CScriptedDialogHost::Default(int templateId, Action action) {
    std::lock_guard lock(m_mutex);
    m_defaults[templateId] = std::move(action);
}

std::vector<CScriptedDialogHost::Record> CScriptedDialogHost::History() const {
    std::lock_guard lock(m_mutex);
    return m_history;
}

int CScriptedDialogHost::Count(int templateId) const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_history.begin(), m_history.end(), [&](const Record& r) {
        return r.templateId == templateId;
    }));
}
