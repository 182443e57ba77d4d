#include "settingsstore.h"
#include "apptitle.h"
#include "keyring.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <cmath>
#include <limits>

namespace {
const QString kSection = QStringLiteral("Settings");
}

SettingsStore::SettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, appTitle(), appTitle()))
{
    protectFile();
}

SettingsStore::SettingsStore(const QString &iniPath)
    : m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat))
{
    protectFile();
}

SettingsStore::~SettingsStore()
{
    sync();
}

QString SettingsStore::value(const QString &key, const QString &defaultValue) const
{
    const QString full = kSection + QLatin1Char('/') + key;
    if (!m_settings->contains(full))
        return defaultValue;
    return m_settings->value(full).toString();
}

void SettingsStore::setValue(const QString &key, const QString &value)
{
    m_settings->setValue(kSection + QLatin1Char('/') + key, value);
    if (m_observer)
        m_observer(key, value);
}

bool SettingsStore::contains(const QString &key) const
{
    return m_settings->contains(kSection + QLatin1Char('/') + key);
}

void SettingsStore::remove(const QString &key)
{
    m_settings->remove(kSection + QLatin1Char('/') + key);
}

void SettingsStore::sync()
{
    m_settings->sync();
    protectFile();
}

QString SettingsStore::fileName() const
{
    return m_settings->fileName();
}

void SettingsStore::protectFile() const
{
    const QString path = m_settings->fileName();
    QFileInfo info(path);
    if (!info.exists()) {
        // Create it empty with owner-only rights before QSettings ever writes
        // a password into it.
        QDir().mkpath(info.absolutePath());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
            return;
        f.close();
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

std::optional<qint16> settingToInt16(const QString &text)
{
    const auto d = settingToSingle(text);
    if (!d)
        return std::nullopt;
    // Round half to even, like the conversion the stored values were made for.
    const double r = std::nearbyint(*d);
    if (r < std::numeric_limits<qint16>::min() || r > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(r);
}

std::optional<double> settingToSingle(const QString &text)
{
    bool ok = false;
    const double d = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d;
}

QString SettingsStore::value(Setting setting, int profile) const
{
    return value(settingKey(setting, profile), settingDefault(setting));
}

void SettingsStore::setValue(Setting setting, const QString &value, int profile)
{
    setValue(settingKey(setting, profile), value);
}

bool SettingsStore::contains(Setting setting, int profile) const
{
    return contains(settingKey(setting, profile));
}

std::optional<qint16> SettingsStore::int16Value(Setting setting, int profile) const
{
    return settingToInt16(value(setting, profile));
}

std::optional<double> SettingsStore::singleValue(Setting setting, int profile) const
{
    return settingToSingle(value(setting, profile));
}

QString SettingsStore::secret(Setting setting, int profile) const
{
    const keyring::Result r = keyring::read(settingKey(setting, profile));
    if (r.status == keyring::Status::Ok)
        return r.value;
    return value(setting, profile);
}

SettingsStore::SecretPlace SettingsStore::setSecret(Setting setting, const QString &value, int profile)
{
    const QString key = settingKey(setting, profile);
    if (keyring::write(key, value).status == keyring::Status::Ok) {
        // Moved: the file keeps no copy, old or new.
        if (contains(key))
            remove(key);
        return SecretPlace::Keyring;
    }
    setValue(key, value);
    return SecretPlace::File;
}

void SettingsStore::reload()
{
    m_settings->sync();
}
