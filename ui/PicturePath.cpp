#include "ui/PicturePath.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

QString LocalPicturePath(const QString& address, const QString& programFolder) {
    QString path = address.trimmed();
    if (path.isEmpty()) {
        return {};
    }
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        path = path.mid(5);
    } else if (path.contains(QLatin1String("://"))) {
        return {};
    }
    // "file:///<folder>" with an absolute folder leaves several slashes in front.
    while (path.startsWith(QLatin1String("//"))) {
        path.remove(0, 1);
    }
    if (!path.startsWith(QLatin1Char('/'))) {
        path = programFolder + QLatin1Char('/') + path;
    }
    return QDir::cleanPath(path);
}

bool IsAllowedPicture(const QString& path, const QString& programFolder) {
    if (path.isEmpty() || programFolder.isEmpty()) {
        return false;
    }
    static const QRegularExpression kPicture(QStringLiteral("\\.(gif|bmp|png|jpe?g)$"),
                                             QRegularExpression::CaseInsensitiveOption);
    if (!kPicture.match(path).hasMatch()) {
        return false;
    }
    const QString folder = QDir::cleanPath(QFileInfo(programFolder).absoluteFilePath());
    const QString clean = QDir::cleanPath(path);
    if (!clean.startsWith(folder + QLatin1Char('/'))) {
        return false;
    }
    // A link may still lead out of the folder: the real file must stay inside as well.
    const QFileInfo info(clean);
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    const QString canonical = info.canonicalFilePath();
    return info.isFile() && !canonical.isEmpty() && !canonicalFolder.isEmpty() &&
           canonical.startsWith(canonicalFolder + QLatin1Char('/'));
}

QString RewriteFragment(const QString& fragment, const QString& programFolder) {
    // src="…", src='…' or src=… inside an img tag.
    static const QRegularExpression kImgSrc(
        QStringLiteral("(<img\\b[^>]*?\\bsrc\\s*=\\s*)(?:\"([^\"]*)\"|'([^']*)'|([^\\s>\"']+))"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression kTalkObject(
        QStringLiteral("<a\\s+id=\"talkobject\"\\s+tavoid=\"([^\"]*)\"\\s+tavoname=\"([^\"]*)\"\\s+"
                       "href=\"[^\"]*\""),
        QRegularExpression::CaseInsensitiveOption);

    QString out;
    out.reserve(fragment.size() + 64);
    qsizetype last = 0;
    auto it = kImgSrc.globalMatch(fragment);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const QString address = !m.captured(2).isNull()   ? m.captured(2)
                                : !m.captured(3).isNull() ? m.captured(3)
                                                          : m.captured(4);
        const QString local = LocalPicturePath(address, programFolder);
        out += QStringView(fragment).mid(last, m.capturedStart() - last);
        out += m.captured(1);
        out += QLatin1Char('"');
        out += (local.isEmpty() ? address : local).toHtmlEscaped();
        out += QLatin1Char('"');
        last = m.capturedEnd();
    }
    out += QStringView(fragment).mid(last);

    QString result;
    result.reserve(out.size());
    last = 0;
    auto links = kTalkObject.globalMatch(out);
    while (links.hasNext()) {
        const QRegularExpressionMatch m = links.next();
        QUrl url;
        url.setScheme(QStringLiteral("tavo"));
        url.setPath(QStringLiteral("member"));
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("id"), QUrl::toPercentEncoding(m.captured(1)));
        query.addQueryItem(QStringLiteral("name"), QUrl::toPercentEncoding(m.captured(2)));
        url.setQuery(query);
        result += QStringView(out).mid(last, m.capturedStart() - last);
        result +=
            QStringLiteral("<a href=\"%1\"").arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped());
        last = m.capturedEnd();
    }
    result += QStringView(out).mid(last);
    return result;
}

bool ParseMemberLink(const QString& link, QString* id, QString* name) {
    const QUrl url(link);
    if (url.scheme() != QLatin1String("tavo") || url.path() != QLatin1String("member")) {
        return false;
    }
    const QUrlQuery query(url);
    if (!query.hasQueryItem(QStringLiteral("id"))) {
        return false;
    }
    if (id) {
        *id = QUrl::fromPercentEncoding(
            query.queryItemValue(QStringLiteral("id"), QUrl::FullyEncoded).toUtf8());
    }
    if (name) {
        *name = QUrl::fromPercentEncoding(
            query.queryItemValue(QStringLiteral("name"), QUrl::FullyEncoded).toUtf8());
    }
    return true;
}
