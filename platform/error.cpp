#include "platform/error.h"

namespace Platform {

namespace {
struct Current {
    int number = 0;
    QString description;
};
Current &current()
{
    static Current active;
    return active;
}
} // namespace

Error::Error(int number, QString description)
    : m_number(number), m_description(std::move(description)),
      m_what(QStringLiteral("%1: %2").arg(number).arg(m_description).toStdString())
{
}

int currentErrorNumber()
{
    return current().number;
}

QString currentErrorDescription()
{
    return current().description;
}

ActiveError::ActiveError(const Error &error) : ActiveError(error.number(), error.description())
{
}

ActiveError::ActiveError(int number, const QString &description)
    : m_previousNumber(current().number), m_previousDescription(current().description)
{
    current().number = number;
    current().description = description;
}

ActiveError::~ActiveError()
{
    current().number = m_previousNumber;
    current().description = m_previousDescription;
}

} // namespace Platform
