#include "app/Clock.h"

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}
