#include "ui/ChatBrowser.h"

#include "ui/PicturePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMovie>
#include <QPixmap>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStringConverter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextTable>

namespace {

// Pictures larger than this are not pictures the client ships.
constexpr qint64 kMaxPictureBytes = 4 * 1024 * 1024;

QTextTable* FindFirstTable(QTextFrame* frame) {
    for (QTextFrame* child : frame->childFrames()) {
        if (auto* table = qobject_cast<QTextTable*>(child)) {
            return table;
        }
        if (QTextTable* inner = FindFirstTable(child)) {
            return inner;
        }
    }
    return nullptr;
}

// The twice-as-large companion of a picture ("01@2x.gif" for "01.gif"), when there is one.
QString HighResolutionPath(const QString& path) {
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0) {
        return {};
    }
    QString twice = path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
    return QFileInfo::exists(twice) ? twice : QString();
}

}  // namespace

CChatBrowser::CChatBrowser(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setUndoRedoEnabled(false);
    document()->setUndoRedoEnabled(false);
    setFrameShape(QFrame::NoFrame);
    connect(this, &QTextBrowser::anchorClicked, this, &CChatBrowser::OnAnchor);
    m_flushTimer.setSingleShot(true);
    connect(&m_flushTimer, &QTimer::timeout, this, &CChatBrowser::Flush);
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, [this](int, int max) {
        if (m_stickToEnd) {
            verticalScrollBar()->setValue(max);
        }
    });
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this](int) {
        // The person moved the bar: stay where they put it until the next scroll request.
        m_stickToEnd = false;
    });
}

CChatBrowser::~CChatBrowser() {
    qDeleteAll(m_movies);
}

void CChatBrowser::SetProgramFolder(const QString& folder) {
    m_folder = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

bool CChatBrowser::LoadPage(const QString& page) {
    m_page = page;
    m_hasCell = false;
    m_cellStart = 0;
    m_lineLengths.clear();
    m_pending.clear();
    m_flushTimer.stop();
    m_scrollPending = false;
    QFile file(m_folder + QLatin1Char('/') + page);
    if (!file.open(QIODevice::ReadOnly)) {
        document()->clear();
        return false;
    }
    const QByteArray bytes = file.read(kMaxPictureBytes);
    const auto encoding = QStringConverter::encodingForHtml(bytes).value_or(QStringConverter::Utf8);
    QStringDecoder decoder(encoding);
    const QString html = decoder(bytes);
    document()->setBaseUrl(QUrl::fromLocalFile(m_folder + QLatin1Char('/')));
    setHtml(html);
    QTextTable* table = FindFirstTable(document()->rootFrame());
    if (!table) {
        return true;
    }
    // Lift the first cell out of its table (see the header): keep its content, drop the rest
    // of the table and what follows it, and give the document the cell's padding.
    QTextTableCell cell = table->cellAt(0, 0);
    QTextCursor inside = cell.firstCursorPosition();
    inside.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    const QTextDocumentFragment content = inside.selection();
    const qreal padding = table->format().cellPadding() + table->format().border();

    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.setPosition(table->firstPosition() - 1);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    m_cellStart = cursor.position();
    if (!content.isEmpty()) {
        cursor.insertFragment(content);
    }
    cursor.endEditBlock();
    QTextFrameFormat root = document()->rootFrame()->frameFormat();
    root.setPadding(std::max<qreal>(root.padding(), padding));
    document()->rootFrame()->setFrameFormat(root);
    m_hasCell = true;
    return true;
}

bool CChatBrowser::InsertAtFirstTd(const QString& fragment) {
    if (!m_hasCell) {
        return false;
    }
    // The paragraph break stands for the line's closing <br>.
    static const QRegularExpression kClosingBreak(QStringLiteral("<br\\s*/?>\\s*$"),
                                                  QRegularExpression::CaseInsensitiveOption);
    QString html = RewriteFragment(fragment, m_folder);
    html.remove(kClosingBreak);
    m_pending.push_back(html);
    if (!m_flushTimer.isActive()) {
        const qint64 since = m_sinceFlush.isValid() ? m_sinceFlush.elapsed() : kFrameMs;
        m_flushTimer.start(static_cast<int>(std::max<qint64>(0, kFrameMs - since)));
    }
    return true;
}

void CChatBrowser::Flush() {
    m_flushTimer.stop();
    if (!m_pending.isEmpty()) {
        // Lines the limit would drop at once are not worth laying out.
        if (m_pending.size() > m_lineLimit) {
            m_pending.erase(m_pending.begin(), m_pending.end() - m_lineLimit);
        }
        QTextCursor cursor(document());
        cursor.movePosition(QTextCursor::End);
        cursor.beginEditBlock();
        for (const QString& html : std::as_const(m_pending)) {
            const int before = cursor.position();
            if (before != m_cellStart || !m_lineLengths.empty()) {
                cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
            }
            cursor.insertHtml(html);
            m_lineLengths.push_back(cursor.position() - before);
        }
        cursor.endEditBlock();
        // In an edit of its own: one edit from the top of the page to its end would have the
        // whole page laid out again.
        if (static_cast<int>(m_lineLengths.size()) > m_lineLimit) {
            // Drop a tenth at a time so the top of the page is not reshaped on every line.
            DropOldest(static_cast<int>(m_lineLengths.size()) - m_lineLimit + m_lineLimit / 10);
        }
        m_pending.clear();
        m_sinceFlush.start();
    }
    if (m_scrollPending) {
        m_scrollPending = false;
        ApplyScroll(m_pendingScroll.x(), m_pendingScroll.y());
    }
}

void CChatBrowser::DropOldest(int lines) {
    if (!m_hasCell || lines <= 0) {
        return;
    }
    int length = 0;
    for (int i = 0; i < lines && !m_lineLengths.empty(); ++i) {
        length += m_lineLengths.front();
        m_lineLengths.pop_front();
    }
    if (!m_lineLengths.empty()) {
        // The next line becomes the first: its paragraph break goes with the dropped lines.
        length += 1;
        m_lineLengths.front() -= 1;
    }
    QTextCursor cursor(document());
    cursor.setPosition(m_cellStart);
    cursor.beginEditBlock();
    cursor.setPosition(m_cellStart + length, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    cursor.endEditBlock();
}

int CChatBrowser::LineCount() {
    Flush();
    return static_cast<int>(m_lineLengths.size());
}

void CChatBrowser::SetLineLimit(int lines) {
    m_lineLimit = std::max(1, lines);
    if (LineCount() > m_lineLimit) {
        DropOldest(LineCount() - m_lineLimit);
    }
}

void CChatBrowser::ScrollTo(int x, int y) {
    if (!m_pending.isEmpty()) {
        m_scrollPending = true;
        m_pendingScroll = QPoint(x, y);
        return;
    }
    ApplyScroll(x, y);
}

void CChatBrowser::ApplyScroll(int x, int y) {
    horizontalScrollBar()->setValue(x);
    QScrollBar* bar = verticalScrollBar();
    m_stickToEnd = y >= bar->maximum();
    bar->setValue(y);
}

bool CChatBrowser::AtEnd() {
    Flush();
    return verticalScrollBar()->value() == verticalScrollBar()->maximum();
}

void CChatBrowser::Clear() {
    m_pending.clear();
    m_flushTimer.stop();
    m_scrollPending = false;
    m_lineLengths.clear();
    if (!m_hasCell) {
        return;
    }
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.setPosition(m_cellStart);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    // What the cleared lines carried (a colour, bold) must not leak into new lines.
    cursor.setBlockFormat(QTextBlockFormat());
    cursor.setCharFormat(QTextCharFormat());
    cursor.endEditBlock();
}

QString CChatBrowser::CellText() {
    Flush();
    if (!m_hasCell) {
        return {};
    }
    QTextCursor cursor(document());
    cursor.setPosition(m_cellStart);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    return cursor.selectedText()
        .replace(QChar::ParagraphSeparator, QLatin1Char('\n'))
        .replace(QChar::LineSeparator, QLatin1Char('\n'));
}

QString CChatBrowser::CellHtml() {
    Flush();
    if (!m_hasCell) {
        return {};
    }
    QTextCursor cursor(document());
    cursor.setPosition(m_cellStart);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    return cursor.selection().toHtml();
}

int CChatBrowser::RunningMovies() const {
    int running = 0;
    for (const QMovie* movie : m_movies) {
        running += movie->state() == QMovie::Running ? 1 : 0;
    }
    return running;
}

QMovie* CChatBrowser::MovieFor(const QString& path, const QUrl& name) {
    if (QMovie* movie = m_movies.value(path)) {
        return movie;
    }
    const QString twice = devicePixelRatioF() > 1.0 ? HighResolutionPath(path) : QString();
    auto* movie = new QMovie(twice.isEmpty() ? path : twice);
    const qreal ratio = twice.isEmpty() ? 1.0 : 2.0;
    if (!movie->isValid() || movie->frameCount() < 2) {
        delete movie;
        return nullptr;
    }
    movie->setCacheMode(QMovie::CacheAll);
    m_movies.insert(path, movie);
    connect(movie, &QMovie::frameChanged, this, [this, movie, path, ratio](int) {
        QPixmap frame = movie->currentPixmap();
        frame.setDevicePixelRatio(ratio);
        for (const QUrl& url : m_movieNames.value(path)) {
            document()->addResource(QTextDocument::ImageResource, url, frame);
        }
        viewport()->update();
    });
    if (isVisible()) {
        movie->start();
    } else {
        movie->jumpToFrame(0);
    }
    return movie;
}

QVariant CChatBrowser::loadResource(int type, const QUrl& name) {
    // Whatever is refused is answered with an empty value: an invalid answer would let the
    // document read the address itself, and lines come from other people.
    if (type != QTextDocument::ImageResource) {
        return QVariant::fromValue(QByteArray());
    }
    const QVariant refused = QVariant::fromValue(QPixmap());
    const QString address = name.isLocalFile() ? name.toLocalFile() : name.toString();
    const QString path = LocalPicturePath(address, m_folder);
    if (!IsAllowedPicture(path, m_folder) || QFileInfo(path).size() > kMaxPictureBytes) {
        return refused;
    }
    if (path.endsWith(QLatin1String(".gif"), Qt::CaseInsensitive)) {
        if (QMovie* movie = MovieFor(path, name)) {
            m_movieNames[path].insert(name);
            QPixmap frame = movie->currentPixmap();
            frame.setDevicePixelRatio(movie->fileName() == path ? 1.0 : 2.0);
            return frame;
        }
    }
    const QString twice = devicePixelRatioF() > 1.0 ? HighResolutionPath(path) : QString();
    QImageReader reader(twice.isEmpty() ? path : twice);
    QImage image = reader.read();
    if (image.isNull()) {
        return refused;
    }
    image.setDevicePixelRatio(twice.isEmpty() ? 1.0 : 2.0);
    return QPixmap::fromImage(image);
}

void CChatBrowser::showEvent(QShowEvent* event) {
    QTextBrowser::showEvent(event);
    for (QMovie* movie : m_movies) {
        if (movie->state() == QMovie::Paused) {
            movie->setPaused(false);
        } else if (movie->state() == QMovie::NotRunning) {
            movie->start();
        }
    }
}

void CChatBrowser::hideEvent(QHideEvent* event) {
    QTextBrowser::hideEvent(event);
    // Nobody sees them: stop spending time on frames.
    for (QMovie* movie : m_movies) {
        movie->setPaused(true);
    }
}

void CChatBrowser::OnAnchor(const QUrl& link) {
    QString id;
    QString name;
    if (ParseMemberLink(link.toString(QUrl::FullyEncoded), &id, &name)) {
        Q_EMIT MemberClicked(id, name);
    } else {
        Q_EMIT LinkClicked(link);
    }
}
