#include "platform/CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <atomic>

namespace {

std::atomic<int> g_codePage{CP_GBK};

const char* CodecName(int codePage) {
    switch (codePage) {
        case CP_GBK:
            return "GBK";
        case CP_BIG5:
            return "Big5";
        case CP_1252:
            return "windows-1252";
        default:
            return "UTF-8";
    }
}

}  // namespace

int CodePageForLanguage(const QString& language) {
    const QString upper = language.toUpper();
    if (upper == QLatin1String("HONGKONG")) {
        return CP_BIG5;
    }
    if (upper == QLatin1String("ENGLISG")) {
        return CP_1252;
    }
    return CP_GBK;
}

void SetAnsiCodePage(int codePage) {
    g_codePage.store(codePage, std::memory_order_relaxed);
}

int AnsiCodePage() {
    return g_codePage.load(std::memory_order_relaxed);
}

QByteArray EncodeCodePage(const QString& text, int codePage) {
    if (codePage == CP_UTF8) {
        return text.toUtf8();
    }
    QStringEncoder encoder(CodecName(codePage), QStringConverter::Flag::Stateless);
    QByteArray whole = encoder.encode(text);
    if (!encoder.hasError()) {
        return whole;
    }
    // Some character is missing from the code page. Windows turns each such character into
    // one '?', whatever a converter would substitute, so go character by character.
    QByteArray out;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const qsizetype len =
            (text.at(i).isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
        QStringEncoder one(CodecName(codePage), QStringConverter::Flag::Stateless);
        QByteArray bytes = one.encode(QStringView(text).mid(i, len));
        out += (one.hasError() || bytes.isEmpty()) ? QByteArray(1, '?') : bytes;
        i += len;
    }
    return out;
}

QString DecodeCodePage(QByteArrayView bytes, int codePage) {
    if (bytes.isEmpty()) {
        return QString();
    }
    QStringDecoder decoder(CodecName(codePage));
    return decoder.decode(bytes);
}

int CodePageForCharset(QByteArrayView charset) {
    const QByteArray lower = charset.toByteArray().trimmed().toLower();
    if (lower == "gbk" || lower == "gb2312" || lower == "gb18030" || lower == "cp936") {
        return CP_GBK;
    }
    if (lower == "big5" || lower == "big5-hkscs" || lower == "cp950") {
        return CP_BIG5;
    }
    if (lower == "windows-1252" || lower == "cp1252" || lower == "iso-8859-1" ||
        lower == "latin1") {
        return CP_1252;
    }
    if (lower == "utf-8" || lower == "utf8") {
        return CP_UTF8;
    }
    return 0;
}
