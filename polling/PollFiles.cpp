#include "polling/PollFiles.h"

#include "app/AppMain.h"
#include "app/frmMDI.h"
#include "platform/clock.h"
#include "platform/files.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PollFiles {

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr mode_t kNewFileMode = 0666;  // before the umask, as any new file

int systemOpen(const char *path, int flags, mode_t mode)
{
    return ::open(path, flags, mode);
}

Opener opener = systemOpen;

// The lines as the files hold them, in one buffer.
QByteArray withLineEnds(const QByteArrayList &lines)
{
    qsizetype size = 0;
    for (const QByteArray &line : lines)
        size += line.size() + qsizetype(sizeof kLineEnd - 1);
    QByteArray bytes;
    bytes.reserve(size);
    for (const QByteArray &line : lines) {
        bytes.append(line);
        bytes.append(kLineEnd);
    }
    return bytes;
}

} // namespace

QString DayLogPath(const QDate &day)
{
    return AppMain::AppFile(QStringLiteral("DATA\\DATA") + day.toString(QStringLiteral("MMdd")) +
                            QStringLiteral(".log"));
}

QString PollFilePath()
{
    return AppMain::AppFile(QStringLiteral("DATA\\POLL.txt"));
}

QString MemberPollFilePath()
{
    return AppMain::AppFile(QStringLiteral("DATA\\POLLM.txt"));
}

void setOpener(Opener newOpener)
{
    opener = newOpener ? newOpener : systemOpen;
}

AppendFile::~AppendFile()
{
    close();
}

AppendFile::AppendFile(AppendFile &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path))
{
}

AppendFile &AppendFile::operator=(AppendFile &&other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

void AppendFile::open(const QString &path)
{
    close();
    const int fd = opener(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC,
                          kNewFileMode);
    if (fd < 0)
        throw Platform::FileError(errno);
    m_fd = fd;
    m_path = path;
}

void AppendFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void AppendFile::writeLine(QByteArrayView line)
{
    write(withLineEnds({line.toByteArray()}));
}

void AppendFile::write(QByteArrayView bytes)
{
    if (m_fd < 0)
        throw Platform::Error(Platform::ErrorNo::BadFileNameOrNumber, QStringLiteral("Bad file name or number"));
    // One buffer, one write: with O_APPEND the lines land whole at the end
    // even when another writer appends to the same file.
    ssize_t n;
    do {
        n = ::write(m_fd, bytes.data(), static_cast<size_t>(bytes.size()));
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        throw Platform::FileError(errno);
    // A regular file takes less only when the disk fills up. The part that
    // went in goes again: left there, it would run into the next line.
    if (n != bytes.size()) {
        try {
            dropTail(n);
        } catch (const Platform::Error &) {
            // The full disk is the error to report.
        }
        throw Platform::FileError(ENOSPC);
    }
}

void AppendFile::dropTail(qint64 bytes)
{
    struct stat info {};
    if (::fstat(m_fd, &info) != 0 || ::ftruncate(m_fd, std::max<qint64>(0, info.st_size - bytes)) != 0)
        throw Platform::FileError(errno);
}

void AppendLine(const QString &path, QByteArrayView line)
{
    AppendFile file;
    file.open(path);
    file.writeLine(line);
}

void DataFiles::open()
{
    close();
    m_logPath = DayLogPath(Platform::Clock::today());
    m_pollPath = PollFilePath();
    try {
        m_log.open(m_logPath);
        m_poll.open(m_pollPath);
    } catch (...) {
        close();
        throw;
    }
}

void DataFiles::close()
{
    m_log.close();
    m_poll.close();
}

void DataFiles::writeRecord(QByteArrayView line)
{
    writeRecords({line.toByteArray()});
}

void DataFiles::writeRecords(const QByteArrayList &lines)
{
    m_lastRecordBytes = 0;
    if (lines.isEmpty())
        return;
    const QByteArray bytes = withLineEnds(lines);
    m_log.write(bytes);
    try {
        m_poll.write(bytes);
    } catch (const Platform::Error &) {
        // The records are not acknowledged and come again: the log must not hold them twice.
        try {
            m_log.dropTail(bytes.size());
        } catch (const Platform::Error &) {
            // POLL.txt's error is the one to report.
        }
        throw;
    }
    m_lastRecordBytes = lines.last().size() + qsizetype(sizeof kLineEnd - 1);
}

void DataFiles::withdrawLastRecord()
{
    m_poll.dropTail(std::exchange(m_lastRecordBytes, 0));
}

bool PostPolledData(const QString &pollFile)
{
    const auto &post = mdiHooks().postPolledData;
    return post && post(pollFile);
}

Finish FinishPollFile(const QString &pollFile, bool post, const Poster &poster)
{
    if (pollFile.isEmpty() || !QFileInfo::exists(pollFile))
        return Finish::NoFile;
    if (post && !(poster && poster(pollFile)))
        return Finish::Kept;
    try {
        Platform::RetireFile(pollFile);
    } catch (const Platform::Error &e) {
        throw Platform::Error(e.number(), e.description() +
                                              (post ? QStringLiteral(". Its records are posted: delete it before the next "
                                                                     "poll ends, or they will be posted again.")
                                                    : QStringLiteral(". Its records are not to be posted: delete it "
                                                                     "before the next poll ends.")));
    }
    return post ? Finish::Posted : Finish::Discarded;
}

Finish FinishPollFile(const QString &pollFile)
{
    const AppMain::AppSettingsRec &s = AppMain::settings();
    return FinishPollFile(pollFile, s.TargetType == AppMain::kTextFilesTarget || s.AutoImport, PostPolledData);
}

void FinishMemberPollFile()
{
    const QString path = MemberPollFilePath();
    if (QFileInfo::exists(path) && mdiHooks().postMemberPunches)
        mdiHooks().postMemberPunches(path);
}

} // namespace PollFiles
