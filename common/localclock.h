#pragma once
// The local date and time, worked out at most once a second: turning the
// system time into local time looks at the time zone file every time, and a
// send run asks for the time once a message.

#include <QDateTime>

QDateTime localTimeToTheSecond();
