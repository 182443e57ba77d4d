#pragma once
// What a window gets from the application: the seam, the settings store, the
// send list and the openers of other windows. Openers are plain functions set
// by the top layer, so a lower library can open a window of a higher one.

#include <functional>

class QWidget;
class Platform;
class SettingsStore;
class SendList;
class AddressDb;

struct AppContext {
    Platform *platform = nullptr;
    SettingsStore *settings = nullptr;
    SendList *sendList = nullptr;
    // The address book's open database while it is shown; the import window
    // works on the same connection.
    AddressDb *addressDb = nullptr;

    std::function<void(QWidget *owner)> openAccountDialog;
    std::function<void(QWidget *owner)> openAddressBook;
    std::function<void(QWidget *owner)> openImportWindow;
    std::function<void(QWidget *owner)> openLogViewer;
    std::function<void(QWidget *owner)> openAbout;
    std::function<void(QWidget *owner)> openInboxWindow;
};
