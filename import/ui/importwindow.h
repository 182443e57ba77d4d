#pragma once
struct AppContext;
class AddressDb;
class QWidget;

// Shows the import window modally over the address book (owner), on the
// address book's open database.
void showImportWindow(AppContext &ctx, QWidget *owner);
