#pragma once
struct AppContext;
class QWidget;

// Shows the address book modally over owner. The caller has set the busy
// pointer; the address book restores it when it activates.
void showAddressBook(AppContext &ctx, QWidget *owner);
