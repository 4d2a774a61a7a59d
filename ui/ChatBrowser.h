#pragma once
// A chat view: one of the chat pages ("pub.htm", "big_pub.htm", "pri.htm") from the program
// folder, lines appended at the end of the page's first table cell. Pictures are taken from
// the program folder only; animated GIFs move through one QMovie per picture file, shared by
// every line that shows it.
//
// Qt lays a table cell out whole on every change, so a cell that collects a day of chat gets
// slower with every line. The view therefore lifts the first cell out of its table when the
// page loads: the cell's content and everything after it live in the document's own frame
// (which Qt lays out line by line), with the cell's padding and the page's colours kept. Each
// line is a paragraph of its own (a line's closing <br> becomes the paragraph break), and the
// view keeps at most a set number of lines.
//
// Drawing the view costs far more than a line does, and a busy room sends lines faster than
// anybody reads them. Lines are therefore queued and go into the page together, in one edit,
// when the event loop comes round: at once after a quiet spell, otherwise at most once a frame.
// The queries below settle the queue first.

#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>

#include <deque>

class QMovie;

class CChatBrowser : public QTextBrowser {
    Q_OBJECT
public:
    static constexpr int kDefaultLineLimit = 2000;
    // The shortest time between two insertions while lines keep coming.
    static constexpr int kFrameMs = 16;

    explicit CChatBrowser(QWidget* parent = nullptr);
    ~CChatBrowser() override;

    void SetProgramFolder(const QString& folder);
    QString ProgramFolder() const { return m_folder; }

    // Shows a page from the program folder, replacing what was shown. False when the file
    // cannot be read (the view is then empty and takes no lines).
    bool LoadPage(const QString& page);
    QString PageName() const { return m_page; }
    // Queues a fragment for the end of the page's first TD. False when the page has none.
    bool InsertAtFirstTd(const QString& fragment);
    // Scrolls to a position once the queued lines are in; a position past the end keeps the
    // view at the end as it grows.
    void ScrollTo(int x, int y);
    // Empties the first TD.
    void Clear();
    // Puts the queued lines into the page now.
    void Flush();

    // Lines held; the oldest go when more than the limit arrive.
    int LineCount();
    void SetLineLimit(int lines);
    int LineLimit() const { return m_lineLimit; }
    // The text of the first TD, for tests and for copying out.
    QString CellText();
    QString CellHtml();
    // Pictures that animate right now.
    int RunningMovies() const;
    bool AtEnd();

Q_SIGNALS:
    // A name link of a chat line was clicked.
    void MemberClicked(const QString& id, const QString& name);
    // Any other link.
    void LinkClicked(const QUrl& link);

protected:
    QVariant loadResource(int type, const QUrl& name) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void DropOldest(int lines);
    void ApplyScroll(int x, int y);
    QMovie* MovieFor(const QString& path, const QUrl& name);
    void OnAnchor(const QUrl& link);

    QString m_folder;
    QString m_page;
    bool m_hasCell = false;
    int m_cellStart = 0;            // where the first cell's content begins
    std::deque<int> m_lineLengths;  // characters each line took, its paragraph break included
    int m_lineLimit = kDefaultLineLimit;
    bool m_stickToEnd = false;
    QStringList m_pending;  // lines waiting for the next insertion, ready for the document
    QTimer m_flushTimer;
    QElapsedTimer m_sinceFlush;
    bool m_scrollPending = false;
    QPoint m_pendingScroll;
    QHash<QString, QMovie*> m_movies;         // by local path
    QHash<QString, QSet<QUrl>> m_movieNames;  // the addresses each animated picture is shown by
};
