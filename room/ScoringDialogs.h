#pragma once
// The dialogs of the scoring activity: the owner's activity switch with its title and cost
// line, and the score a member gives when a round starts, chosen within 20 seconds.

#include "platform/DialogHost.h"

class CEventDlg : public CDialogModel {
public:
    enum : int { IDD = 202 };
    // running: whether an activity runs now; cost in hundredths of moneyName.
    CEventDlg(bool running, int cost, const QString& moneyName);

    // "(每次打分收取操作人%0.2f<money>)".
    QString CostLine() const { return m_costLine; }
    bool Running() const { return m_running; }
    void SetRunning(bool on) { m_running = on; }
    QString EventTitle() const { return m_title; }
    void SetEventTitle(const QString& title) { m_title = title; }

private:
    QString m_costLine;
    bool m_running;
    QString m_title;
};

class CMarkScoreDlg : public CDialogModel {
public:
    enum : int { IDD = 203, IDC_SCORE_0 = 1407, IDC_PROMPT = 1413 };
    enum : unsigned { TIMER_COUNTDOWN = 1 };
    static constexpr int kSeconds = 20;
    static constexpr int kHighest = 5;

    explicit CMarkScoreDlg(const QString& prompt);

    QString Prompt() const { return m_prompt; }
    int Score() const { return m_score; }
    // Checks the choice of that score (0 to 5); others are ignored.
    void ChooseScore(int score);
    int SecondsLeft() const { return m_left; }

protected:
    void OnInitDialog() override;
    void OnTimer(unsigned id) override;

private:
    void ShowCountdown();

    QString m_prompt;
    int m_score = 0;
    int m_left = kSeconds;
};
