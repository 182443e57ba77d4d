#pragma once
// The local date and time to the second, as a time with the local offset
// from UTC: turning the system time into local time looks at the time zone
// file every time, and a send run asks for the time twice a message.

#include <QDateTime>

QDateTime localTimeToTheSecond();
