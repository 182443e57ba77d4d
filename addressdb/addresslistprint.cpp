#include "addresslistprint.h"
#include "platform.h"

void printAddressList(PrintJob &, const QList<AddressListRow> &) {}
