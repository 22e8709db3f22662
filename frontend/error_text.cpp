#include "frontend/error_text.h"

#include <QFileInfo>
#include <QStringDecoder>

#include "core/common.h"

namespace kvx {

namespace {

// A comment can be a whole line of any length; the box shows its start.
constexpr std::size_t MaxShownBytes = 60;

QString hexByte(unsigned char byte) {
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

bool isControl(char32_t c) {
    return c < 0x20 || c == 0x7F;
}

} // namespace

QString tokenForDisplay(const std::string& token) {
    if (token.empty()) {
        return QStringLiteral("(end of file)");
    }
    if (token.find_first_not_of("\r\n") == std::string::npos) {
        return QStringLiteral("(line break)");
    }
    const auto first = static_cast<unsigned char>(token[0]);
    if (token.size() == 1 && (isControl(first) || first >= 0x80)) {
        return QStringLiteral("(byte 0x%1)").arg(hexByte(first));
    }
    const std::string_view shown = std::string_view(token).substr(0, MaxShownBytes);
    // Text in UTF-8 reads as it is; anything else shows its bytes. A character cut at the end
    // stays in the decoder and is simply not shown.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString decoded = utf8(QByteArrayView(shown.data(), static_cast<qsizetype>(shown.size())));
    QString text;
    if (utf8.hasError()) {
        for (const char c : shown) {
            const auto byte = static_cast<unsigned char>(c);
            text += isControl(byte) || byte >= 0x80 ? QStringLiteral("\\x") + hexByte(byte)
                                                    : QString(QLatin1Char(c));
        }
    } else {
        for (const QChar c : decoded) {
            text += isControl(c.unicode())
                        ? QStringLiteral("\\x") + hexByte(static_cast<unsigned char>(c.unicode()))
                        : QString(c);
        }
    }
    if (token.size() > shown.size()) {
        text += QChar(0x2026);
    }
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString errorText(const CPUException& error, const QString& path) {
    QString text = QString::fromUtf8(error.getText());
    const auto line = error.getLine();
    const auto& token = error.getToken();
    if (path.isEmpty() || (!line && !token)) {
        return text;
    }
    text += QLatin1Char('\n') + QFileInfo(path).fileName();
    if (line) {
        text += QStringLiteral(", line %1").arg(*line);
    }
    if (token) {
        text += QStringLiteral(": ") + tokenForDisplay(*token);
    }
    return text;
}

} // namespace kvx
