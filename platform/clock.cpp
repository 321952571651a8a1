#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace Platform::Clock {

namespace {
int divisor = 1;
QDate testDay;
}

void sleep(int milliseconds)
{
    if (milliseconds <= 0)
        return;
    std::this_thread::sleep_for(std::chrono::microseconds(milliseconds * 1000LL / divisor));
}

double seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void setFastClock(int newDivisor)
{
    divisor = newDivisor < 1 ? 1 : newDivisor;
}

int fastClockDivisor()
{
    return divisor;
}

QDate today()
{
    return testDay.isValid() ? testDay : QDate::currentDate();
}

void setToday(const QDate &date)
{
    testDay = date;
}

} // namespace Platform::Clock
