#include "posting/PunchParse.h"

#include "app/AppMain.h"
#include "libs/frame/LinkFrame.h"

namespace KovraDS {

namespace {

// The stamp is YYMMDDhhmmss; one more character follows it before the extra fields.
constexpr qsizetype kStampLength = 12;
constexpr qsizetype kStampDigitsUsed = 10;
constexpr qsizetype kExtrasOffset = kStampLength + 1;
constexpr int kFirstYear = 2000;  // two-digit years are this century's

bool isSeparator(char c)
{
    return c == LinkFrame::US || c == LinkFrame::RS || c == LinkFrame::GS;
}

// The stamp's first ten characters are digits (the parse checks them).
QByteArray dateAndTime(const QByteArray &stamp, bool dayFirst)
{
    const QString text = QString::fromLatin1(stamp);
    return (dayFirst ? AppMain::FormatPunchDateEU(text) : AppMain::FormatPunchDateUS(text)).toLatin1();
}

} // namespace

PollLine ParsePollLine(QByteArrayView line, bool skipLeadingSeparators, PunchRecord &record)
{
    const qsizetype header = line.indexOf(LinkFrame::GS);
    QByteArrayView text = header < 0 ? line : line.sliced(header + 1);
    if (!text.startsWith(LinkFrame::PollChar))
        return PollLine::Other;

    const qsizetype firstRs = text.indexOf(LinkFrame::RS);
    if (firstRs < 1)
        return PollLine::Unreadable;
    record = PunchRecord{};
    record.FunctionDigit = text.at(firstRs - 1);
    text = text.sliced(firstRs + 1);
    if (skipLeadingSeparators) {
        while (!text.isEmpty() && isSeparator(text.front()))
            text = text.sliced(1);
    }
    const qsizetype badgeEnd = text.indexOf(LinkFrame::RS);
    if (badgeEnd < 0)
        return PollLine::Unreadable;
    record.Badge = text.first(badgeEnd).toByteArray();

    const qsizetype us = text.indexOf(LinkFrame::US);
    if (us >= 0)
        text = text.sliced(us + 1);
    if (text.size() < kStampDigitsUsed)
        return PollLine::Unreadable;
    for (qsizetype i = 0; i < kStampDigitsUsed; ++i) {
        if (text.at(i) < '0' || text.at(i) > '9')
            return PollLine::Unreadable;
    }
    record.Stamp = text.first(std::min(text.size(), kStampLength)).toByteArray();

    // Without ETX the fields run to the end of the line; text after the last RS is no field.
    QByteArrayView rest = text.size() > kExtrasOffset ? text.sliced(kExtrasOffset) : QByteArrayView();
    const qsizetype etx = rest.indexOf(LinkFrame::ETX);
    if (etx >= 0)
        rest = rest.first(etx);
    for (qsizetype rs = rest.indexOf(LinkFrame::RS); rs >= 0; rs = rest.indexOf(LinkFrame::RS)) {
        if (rs > 0)
            record.Extras.append(rest.first(rs).toByteArray());
        rest = rest.sliced(rs + 1);
    }
    return PollLine::Punch;
}

bool PunchInstant(const PunchRecord &record, QDate &date, QTime &time)
{
    // The parse has checked the stamp's first ten characters are digits.
    if (record.Stamp.size() < kStampDigitsUsed)
        return false;
    const auto twoDigits = [&](int at) { return (record.Stamp.at(at) - '0') * 10 + (record.Stamp.at(at + 1) - '0'); };
    date = QDate(kFirstYear + twoDigits(0), twoDigits(2), twoDigits(4));
    if (!date.isValid() || !QTime::isValid(twoDigits(6), twoDigits(8), 0))
        return false;
    time = QTime(twoDigits(6), twoDigits(8));
    return true;
}

QByteArray PunchTextLine(const PunchRecord &record, bool dayFirst)
{
    QByteArray line(1, record.FunctionDigit);
    line += ',' + record.Badge;
    for (const QByteArray &field : record.Extras)
        line += ',' + field;
    return line + ',' + dateAndTime(record.Stamp, dayFirst);
}

QByteArray PostingLine(const PunchRecord &record)
{
    QByteArray line = record.Badge;
    for (const QByteArray &field : record.Extras)
        line += ',' + field;
    return line + ',' + dateAndTime(record.Stamp, false);
}

QList<QByteArrayView> SplitLines(QByteArrayView bytes)
{
    QList<QByteArrayView> lines;
    while (!bytes.isEmpty()) {
        const qsizetype lf = bytes.indexOf('\n');
        QByteArrayView line = lf < 0 ? bytes : bytes.first(lf);
        if (line.endsWith('\r'))
            line.chop(1);
        lines.append(line);
        bytes = lf < 0 ? QByteArrayView() : bytes.sliced(lf + 1);
    }
    return lines;
}

} // namespace KovraDS
