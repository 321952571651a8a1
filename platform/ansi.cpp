#include "platform/ansi.h"

#include "platform/error.h"

#include <array>

namespace Platform::Ansi {

namespace {

// 0x80-0x9F differ from Latin-1. The five bytes Windows-1252 leaves undefined
// map to the C1 control of the same value, so every byte round-trips.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int byteFor(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == c)
            return 0x80 + i;
    }
    return -1;
}

} // namespace

bool canEncode(const QString &text)
{
    for (QChar c : text) {
        if (byteFor(c.unicode()) < 0)
            return false;
    }
    return true;
}

namespace {

// Each character's byte; `missing(i)` gives the byte for the character at i
// the code page lacks, or throws.
template <typename Missing>
QByteArray encodeEach(const QString &text, Missing missing)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int b = byteFor(text[i].unicode());
        bytes.append(b < 0 ? missing(i) : static_cast<char>(b));
        // A character beyond the first plane is one character, not two.
        if (b < 0 && text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
    }
    return bytes;
}

} // namespace

QByteArray encode(const QString &text)
{
    return encodeEach(text, [&text](qsizetype i) -> char {
        // Name the whole character, a surrogate pair included.
        const QString shown = text[i].isHighSurrogate() && i + 1 < text.size() ? text.mid(i, 2) : QString(text[i]);
        const QString code = QString::number(text[i].unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0'));
        throw Error(ErrorNo::ValueNotEncodable,
                    QStringLiteral("The text cannot be written: the character \"%1\" (U+%2) "
                                   "has no place in the clock's character set.")
                        .arg(shown, code));
    });
}

QByteArray encodeForDisplay(const QString &text)
{
    return encodeEach(text, [](qsizetype) { return '?'; });
}

void checkTyped(const QString &text)
{
    encode(text);
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F)) {
            const QString code = QString::number(u, 16).toUpper().rightJustified(4, QLatin1Char('0'));
            throw Error(ErrorNo::ValueNotEncodable,
                        QStringLiteral("The text cannot be written: it holds the control character U+%1.").arg(code));
        }
    }
}

QString decode(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char raw : bytes) {
        const auto b = static_cast<unsigned char>(raw);
        text.append(b >= 0x80 && b < 0xA0 ? QChar(kHighControls[b - 0x80]) : QChar(b));
    }
    return text;
}

} // namespace Platform::Ansi
