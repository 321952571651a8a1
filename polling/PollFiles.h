// The two files every poll writes: the day's poll log, kept as the audit
// trail of every record received, and Data/POLL.txt, which collects the
// records of the current poll for posting. A line is the record's bytes as
// received plus CR LF; the lines of a record, or of all the records a poll
// commits at once, are appended with one write() per file, so they have
// reached the operating system before any of them is acknowledged to its clock.
#pragma once

#include "platform/error.h"

#include <QByteArrayList>
#include <QByteArrayView>
#include <QDate>
#include <QString>

#include <functional>

#include <sys/types.h>

namespace PollFiles {

// Data/DATAmmdd.log of that day, in the application folder.
QString DayLogPath(const QDate &day);
// Data/POLL.txt in the application folder.
QString PollFilePath();
// Data/POLLM.txt: the member punches a continuous poll could not post, kept
// apart so that no employee posting ever reads them. Same line form.
QString MemberPollFilePath();

// The open(2) the files go through; tests put their own in (a refusal even
// when they run as root). nullptr restores the system's.
using Opener = int (*)(const char *path, int flags, mode_t mode);
void setOpener(Opener opener);

// A file opened for appending lines. Failures throw Platform::FileError.
class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(AppendFile &&other) noexcept;
    AppendFile &operator=(AppendFile &&other) noexcept;
    AppendFile(const AppendFile &) = delete;
    AppendFile &operator=(const AppendFile &) = delete;

    // Opens (creating a missing file, never its folder); an open file is closed first.
    void open(const QString &path);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    const QString &path() const { return m_path; }
    // The bytes and CR LF in one write().
    void writeLine(QByteArrayView line);
    // Bytes in one write() (lines already ended by CR LF).
    void write(QByteArrayView bytes);
    // Cuts the file back by its last `bytes`.
    void dropTail(qint64 bytes);

private:
    int m_fd = -1;
    QString m_path;
};

// One line appended to a file opened and closed for it, for writers that
// let others read the file between records.
void AppendLine(const QString &path, QByteArrayView line);

// The pair of one poll. The day's log takes its name from the date the
// poll starts, so a poll running past midnight stays in its starting day.
class DataFiles {
public:
    // The day's log, then POLL.txt. When either cannot be opened, what did
    // open is closed again and the error thrown: a poll never runs with a
    // file missing.
    void open();
    // Closes what is open; harmless when nothing is.
    void close();
    bool isOpen() const { return m_log.isOpen() && m_poll.isOpen(); }

    // A record line to the day's log, then to POLL.txt.
    void writeRecord(QByteArrayView line);
    // Record lines to the day's log, then to POLL.txt, one write() per file.
    // When either write fails, none of them counts as written.
    void writeRecords(const QByteArrayList &lines);
    // Takes the last record written back out of POLL.txt, the day's log
    // keeping it: its clock did not hear the acknowledgement and sends it again.
    void withdrawLastRecord();

    QString logPath() const { return m_logPath; }
    QString pollPath() const { return m_pollPath; }
    AppendFile &log() { return m_log; }
    AppendFile &poll() { return m_poll; }

private:
    AppendFile m_log;
    AppendFile m_poll;
    QString m_logPath;
    QString m_pollPath;
    qint64 m_lastRecordBytes = 0;
};

// Hands a poll file to posting; true only when posting reports success.
using Poster = std::function<bool(const QString &pollFile)>;

// The main window's posting entry; one that reports a failure, or is not
// connected, keeps the file.
bool PostPolledData(const QString &pollFile);

// What the end of a poll did with POLL.txt.
enum class Finish {
    NoFile,     // there was none
    Posted,     // posted and deleted
    Kept,       // posting failed: kept for the next poll to append to
    Discarded,  // not posted by the settings, deleted (its lines stay in the day's log)
};

// The end steps of a poll, after the files are closed: with posting on
// (`post`), the file is deleted only when `poster` succeeds; a failed
// posting keeps it whole for the next posting. Without posting it is
// deleted. A file the folder will not let go is emptied, since a posted
// file left whole would be posted again; one that can be neither deleted
// nor emptied throws FileError, saying what the user must do.
Finish FinishPollFile(const QString &pollFile, bool post, const Poster &poster);
// The same with the 'Application' settings ("Text Files" target or
// AutoImport) and PostPolledData.
Finish FinishPollFile(const QString &pollFile);

// The end step for Data/POLLM.txt: while it is there it goes to the main
// window's member posting, which deletes it once posted.
void FinishMemberPollFile();

} // namespace PollFiles
