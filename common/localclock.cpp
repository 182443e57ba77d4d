#include "localclock.h"

QDateTime localTimeToTheSecond()
{
    static thread_local qint64 second = -1;
    static thread_local QDateTime local;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (now != second) {
        second = now;
        // A time with a fixed offset: formatting it or reading its seconds
        // needs no time zone lookup, unlike a local time.
        local = QDateTime::fromSecsSinceEpoch(now, Qt::OffsetFromUTC,
                                              QDateTime::fromSecsSinceEpoch(now).offsetFromUtc());
    }
    return local;
}
