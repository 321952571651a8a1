#include "posting/PostingFile.h"

#include "app/AppMain.h"
#include "platform/ansi.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "posting/KovraDS.h"
#include "posting/PunchParse.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace KovraDS {

namespace {

const QByteArray kLineEnd = QByteArrayLiteral("\r\n");
constexpr int kFirstYear = 2000;  // two-digit years are this century's

// Converts one file into another; reports a failure the way each converter does.
bool convertFile(const QString &sourceFile, const QString &destFile, LineKind kind)
{
    Platform::Ui::BusyCursor busy;
    try {
        AppendToFile(destFile, ConvertPollLines(ReadWholeFile(sourceFile), kind));
        return true;
    } catch (const Platform::Error &e) {
        Platform::ActiveError active(e);
        if (kind == LineKind::TextUS)
            AppMain::ShowErrorMsg(QString(), e.description());
        else
            Platform::Ui::msgBox(QStringLiteral("An error occurred when extracting data from clock transaction"));
        return false;
    }
}

int twoDigits(QByteArrayView text, qsizetype at)
{
    const char a = text.at(at), b = text.at(at + 1);
    if (a < '0' || a > '9' || b < '0' || b > '9')
        return -1;
    return (a - '0') * 10 + (b - '0');
}

QDate parseDate(QByteArrayView text)
{
    if (text.size() != 8 || text.at(2) != '/' || text.at(5) != '/')
        return QDate();
    const int month = twoDigits(text, 0), day = twoDigits(text, 3), year = twoDigits(text, 6);
    if (month < 0 || day < 0 || year < 0)
        return QDate();
    return QDate(kFirstYear + year, month, day);
}

QTime parseTime(QByteArrayView text)
{
    if ((text.size() != 5 && text.size() != 8) || text.at(2) != ':' || (text.size() == 8 && text.at(5) != ':'))
        return QTime();
    const int hour = twoDigits(text, 0), minute = twoDigits(text, 3);
    const int second = text.size() == 8 ? twoDigits(text, 6) : 0;
    if (hour < 0 || minute < 0 || second < 0 || !QTime::isValid(hour, minute, second))
        return QTime();
    return QTime(hour, minute);  // the seconds are dropped
}

} // namespace

QByteArray ConvertPollLines(QByteArrayView pollBytes, LineKind kind)
{
    QByteArray out;
    PunchRecord record;
    for (const QByteArrayView line : SplitLines(pollBytes)) {
        switch (ParsePollLine(line, kind != LineKind::Posting, record)) {
        case PollLine::Other: break;
        case PollLine::Unreadable: ++state().PassedOver; break;
        case PollLine::Punch:
            out += kind == LineKind::Posting ? PostingLine(record) : PunchTextLine(record, kind == LineKind::TextEU);
            out += kLineEnd;
            break;
        }
    }
    return out;
}

bool ConvertLogToTextUS(const QString &sourceFile, const QString &destFile)
{
    return convertFile(sourceFile, destFile, LineKind::TextUS);
}

bool ConvertLogToTextEU(const QString &sourceFile, const QString &destFile)
{
    return convertFile(sourceFile, destFile, LineKind::TextEU);
}

bool ConvertPunchLog(const QString &sourceFile, const QString &destFile)
{
    return convertFile(sourceFile, destFile, LineKind::Posting);
}

QByteArray ReadWholeFile(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        throw Platform::Error(Platform::ErrorNo::FileNotFound, QStringLiteral("File not found: ") + path);
    if (!file.open(QIODevice::ReadOnly))
        throw Platform::Error(Platform::ErrorNo::PermissionDenied,
                              QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Platform::Error(Platform::ErrorNo::PermissionDenied,
                              QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    return bytes;
}

void AppendToFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size() || !file.flush())
        throw Platform::Error(Platform::ErrorNo::PermissionDenied,
                              QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
}

qint64 FileLength(const QString &path)
{
    return QFileInfo(path).size();
}

bool ParsePostingLine(QByteArrayView line, int keyCount, PostingRow &row)
{
    const QList<QByteArrayView> fields = [&] {
        QList<QByteArrayView> parts;
        for (qsizetype comma = line.indexOf(','); comma >= 0; comma = line.indexOf(',')) {
            parts.append(line.first(comma));
            line = line.sliced(comma + 1);
        }
        parts.append(line);
        return parts;
    }();
    // An empty key would post under a key no punch of that work carries.
    if (fields.size() != keyCount + 3 || std::any_of(fields.begin(), fields.begin() + keyCount + 1,
                                                      [](QByteArrayView field) { return field.isEmpty(); }))
        return false;
    row.Date = parseDate(fields.at(keyCount + 1));
    row.Time = parseTime(fields.at(keyCount + 2));
    if (!row.Date.isValid() || !row.Time.isValid())
        return false;
    row.Badge = Platform::Ansi::decode(fields.front().toByteArray());
    row.Keys.clear();
    for (int i = 1; i <= keyCount; ++i)
        row.Keys.append(Platform::Ansi::decode(fields.at(i).toByteArray()));
    return true;
}

PostingRows ReadPostingFile(const QString &path, int keyCount)
{
    PostingRows result;
    const QByteArray bytes = ReadWholeFile(path);
    PostingRow row;
    for (const QByteArrayView line : SplitLines(bytes)) {
        if (line.isEmpty())
            continue;
        if (ParsePostingLine(line, keyCount, row))
            result.Rows.push_back(row);
        else
            ++result.PassedOver;
    }
    SortPostingRows(result.Rows);
    return result;
}

void SortPostingRows(std::vector<PostingRow> &rows)
{
    std::stable_sort(rows.begin(), rows.end(), [](const PostingRow &a, const PostingRow &b) {
        if (const int c = a.Badge.compare(b.Badge, Qt::CaseInsensitive); c != 0)
            return c < 0;
        for (qsizetype i = 0; i < std::min(a.Keys.size(), b.Keys.size()); ++i) {
            if (const int c = a.Keys.at(i).compare(b.Keys.at(i), Qt::CaseInsensitive); c != 0)
                return c < 0;
        }
        if (a.Date != b.Date)
            return a.Date < b.Date;
        return a.Time < b.Time;
    });
}

} // namespace KovraDS
