#pragma once
// The window of the request, waiting and list-loading dialogs, and of any model no window is
// registered for: the model's title, its status text (",请稍候...") and a busy bar. Cancel is
// offered unless the model swallows Enter and Escape (then only its own logic ends it).

#include "ui/DialogWidget.h"

class QLabel;
class QPushButton;

class CStatusDialog : public CDialogWidget {
    Q_OBJECT
public:
    explicit CStatusDialog(CDialogModel& model, QWidget* parent = nullptr);

    QString ShownStatus() const;

protected:
    void Refresh() override;

private:
    QLabel* m_status;
    QPushButton* m_cancel;
};
