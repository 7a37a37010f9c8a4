#include "viewer/gui/PageText.h"

#include <QStringDecoder>

namespace {

// Windows-1252 at 0x80..0x9F; the five bytes it leaves undefined keep
// their Latin-1 code (C1 controls), as Windows itself maps them.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString FromWindows1252(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        text += QChar(byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t(byte));
    }
    return text;
}

}  // namespace

QString PageText(std::string_view bytes, qsizetype limit) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (utf8.hasError()) text = FromWindows1252(bytes);
    if (limit < 0 || text.size() <= limit) return text;
    qsizetype keep = std::max<qsizetype>(limit - 3, 0);
    // Never half a surrogate pair.
    if (keep > 0 && text.at(keep - 1).isHighSurrogate()) keep--;
    return text.left(keep) + QStringLiteral("...");
}
