#include "platform/comm/fakecomm.h"

#include "platform/error.h"

namespace Platform {

FakeCommControl::FakeCommControl(QObject *parent) : CommControl(parent)
{
}

void FakeCommControl::clearOutput()
{
    m_output.clear();
    m_writes.clear();
}

void FakeCommControl::failNextOpen(int number, const QString &description)
{
    m_openFailure = std::make_pair(number, description);
}

void FakeCommControl::openDevice()
{
    if (m_openFailure) {
        const auto [number, description] = *m_openFailure;
        m_openFailure.reset();
        throw Error(number, description);
    }
    ++m_opens;
}

void FakeCommControl::closeDevice()
{
    ++m_closes;
}

void FakeCommControl::writeDevice(const QByteArray &data)
{
    m_output += data;
    m_writes << data;
    if (m_responder)
        m_responder(*this, data);
}

QByteArray FakeCommControl::readDevice()
{
    QByteArray all;
    all.swap(m_input);
    return all;
}

} // namespace Platform
