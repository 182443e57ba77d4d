#include "localclock.h"

QDateTime localTimeToTheSecond()
{
    static thread_local qint64 second = -1;
    static thread_local QDateTime local;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (now != second) {
        second = now;
        local = QDateTime::fromSecsSinceEpoch(now);
    }
    return local;
}
