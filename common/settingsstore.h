#pragma once
// The per-user settings store: text values by key, all in section "Settings"
// of the application title. Read and write failures are swallowed; callers
// get the default and go on, as start-up and closing must never stop.

#include "settingkeys.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QSettings;

class SettingsStore {
public:
    // The user's own store (an INI file under the user's config folder).
    SettingsStore();
    // A store in a given file, for tests and portable copies.
    explicit SettingsStore(const QString &iniPath);
    ~SettingsStore();

    // A setting by name: the stored text, or the table's default.
    QString value(Setting setting, int profile = 0) const;
    void setValue(Setting setting, const QString &value, int profile = 0);
    bool contains(Setting setting, int profile = 0) const;
    // Numbers stored as text: nullopt when the text is no number, so the
    // caller keeps its own value.
    std::optional<qint16> int16Value(Setting setting, int profile = 0) const;
    std::optional<double> singleValue(Setting setting, int profile = 0) const;

    // A secret setting (a password, a refresh token): the keyring's copy,
    // else the file's (older files kept passwords there).
    QString secret(Setting setting, int profile = 0) const;
    enum class SecretPlace { Keyring, File };
    // Into the keyring, and the file's copy removed; where no keyring
    // answers, into the file as before.
    SecretPlace setSecret(Setting setting, const QString &value, int profile = 0);
    // Re-reads the file, for values another process may have written.
    void reload();

    // By stored key, as the file holds it (tests check the file's names).
    QString value(const QString &key, const QString &defaultValue = {}) const;
    void setValue(const QString &key, const QString &value);
    bool contains(const QString &key) const;
    void remove(const QString &key);
    // Writes pending values to disk; the file stays readable by its owner only,
    // since it holds passwords.
    void sync();
    QString fileName() const;
    // Tests watch the order in which keys are written.
    void setWriteObserver(std::function<void(const QString &key, const QString &value)> f)
    {
        m_observer = std::move(f);
    }

private:
    void protectFile() const;
    std::unique_ptr<QSettings> m_settings;
    std::function<void(const QString &, const QString &)> m_observer;
};

// Numbers stored as text: nullopt when the text is not a number, so the caller
// keeps its design value.
std::optional<qint16> settingToInt16(const QString &text);
std::optional<double> settingToSingle(const QString &text);
