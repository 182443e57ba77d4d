// Loads the core libraries (see CMakeLists.txt); it does nothing when run.
#include "sendcommand.h"

#include <QStringList>

int main()
{
    return isCommandLine({}) ? 1 : 0;
}
