#pragma once

#include <QString>

#include <exception>
#include <string>

namespace Platform {

// Error numbers the program tests by value; the rest carry their own text.
namespace ErrorNo {
constexpr int InvalidProcedureCall = 5;
constexpr int Overflow = 6;
constexpr int TypeMismatch = 13;
constexpr int BadFileNameOrNumber = 52;
constexpr int FileNotFound = 53;
constexpr int DiskFull = 61;
constexpr int PermissionDenied = 70;
constexpr int PathFileAccessError = 75;
constexpr int PathNotFound = 76;
constexpr int InvalidUseOfNull = 94;
constexpr int DatabaseEngine = 3000;   // an engine failure without a number of its own
constexpr int DuplicateKey = 3022;
constexpr int DatabaseMissing = 3024;
constexpr int WorkgroupFileMissing = 3028;
constexpr int DatabaseCorrupt = 3049;
constexpr int FileLocked = 3051;
constexpr int TableNotFound = 3078;
constexpr int SyntaxError = 3134;
constexpr int ItemNotFound = 3265;    // a column the statement names is not in the table
constexpr int RecordLocked = 3218;
constexpr int ValueNotEncodable = 3421;
constexpr int DialogCancelled = 32755;
}

// The one error type of the program: a number its handlers can test and a
// description they show.
class Error : public std::exception {
public:
    Error(int number, QString description);

    int number() const { return m_number; }
    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    int m_number;
    QString m_description;
    std::string m_what;
};

// The error that is "active" while a handler deals with it: the error box
// appends its number, 0 when none is. Handlers hold an ActiveError for as
// long as they handle one; scopes nest and restore what was active before.
int currentErrorNumber();
QString currentErrorDescription();

class ActiveError {
public:
    explicit ActiveError(const Error &error);
    ActiveError(int number, const QString &description);
    ~ActiveError();
    ActiveError(const ActiveError &) = delete;
    ActiveError &operator=(const ActiveError &) = delete;

private:
    int m_previousNumber;
    QString m_previousDescription;
};

} // namespace Platform
