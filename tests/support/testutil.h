#pragma once
// A fresh world for one test: a temporary folder, a settings file in it, the
// scripted platform (program folder = the temporary folder), a send list and
// an application context whose openers record nothing until a test sets them.

#include "appcontext.h"
#include "fakeplatform.h"
#include "sendlist.h"
#include "settingsstore.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <memory>

struct TestWorld {
    TestWorld();
    ~TestWorld();

    QString path(const QString &name) const { return dir.filePath(name); }
    // Drops and reopens the settings file, as a new program run would.
    void reopenSettings();

    QTemporaryDir dir;
    FakePlatform platform;
    std::unique_ptr<SettingsStore> settings;
    SendList sendList;
    AppContext ctx;
};

QByteArray readBytes(const QString &path);
void writeBytes(const QString &path, const QByteArray &bytes);
// CP932 bytes of a text (for building fixture files).
QByteArray sjis(const QString &text);
