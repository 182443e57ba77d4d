#include "account.h"
#include "settingsstore.h"

AccountRecord ActiveAccount;

QString placeholderServer() { return QStringLiteral("****.example.ne.jp"); }
QString placeholderFrom() { return QStringLiteral("myname@example.ne.jp"); }

const QStringList &accountKeyStems()
{
    static const QStringList stems = {
        QStringLiteral("szServer"), QStringLiteral("szFrom"),    QStringLiteral("Signature"),
        QStringLiteral("BodyHeader"), QStringLiteral("szFromName"), QStringLiteral("Check1V"),
        QStringLiteral("Check2V"),  QStringLiteral("User"),      QStringLiteral("UserPass"),
        QStringLiteral("szPort")};
    return stems;
}

QString accountKey(const QString &stem, int profile)
{
    return profile == 0 ? stem : stem + QString::number(profile);
}

void LoadAccountProfile(SettingsStore &store, qint16 n)
{
    if (n < 0 || n > 4)
        return;
    AccountRecord &a = ActiveAccount;
    auto text = [&](const char *stem, const QString &def) {
        return store.value(accountKey(QLatin1String(stem), n), def);
    };
    auto flag = [&](const char *stem, const QString &def, qint16 &field) {
        // A flag that is not a number leaves the field as it was.
        if (const auto v = settingToInt16(text(stem, def)))
            field = *v;
    };
    a.szServer = text("szServer", placeholderServer());
    a.szFrom = text("szFrom", placeholderFrom());
    a.Signature = text("Signature", QString());
    a.BodyHeader = text("BodyHeader", QString());
    a.szFromName = text("szFromName", QStringLiteral("Myname"));
    flag("Check1V", QStringLiteral("1"), a.Check1V);
    flag("Check2V", QStringLiteral("0"), a.Check2V);
    a.User = text("User", QStringLiteral("myname"));
    a.UserPass = text("UserPass", QString());
    a.szPort = text("szPort", QStringLiteral("25"));
    flag("Check3V", QStringLiteral("0"), a.Check3V);
    bool ok = false;
    const int perMinute = text("MaxPerMinute", QStringLiteral("0")).trimmed().toInt(&ok);
    a.MaxPerMinute = ok && perMinute > 0 ? perMinute : 0;
}

void LoadActiveAccount(SettingsStore &store)
{
    if (const auto n = settingToInt16(store.value(QStringLiteral("Account"), QStringLiteral("0"))))
        ActiveAccount.Account = *n;
    LoadAccountProfile(store, ActiveAccount.Account);
}

void SaveActiveAccount(SettingsStore &store)
{
    const AccountRecord &a = ActiveAccount;
    store.setValue(QStringLiteral("Account"), QString::number(a.Account));
    const int n = a.Account;
    if (n >= 0 && n <= 4) {
        store.setValue(accountKey(QStringLiteral("szServer"), n), a.szServer);
        store.setValue(accountKey(QStringLiteral("szFrom"), n), a.szFrom);
        store.setValue(accountKey(QStringLiteral("Signature"), n), a.Signature);
        store.setValue(accountKey(QStringLiteral("BodyHeader"), n), a.BodyHeader);
        store.setValue(accountKey(QStringLiteral("szFromName"), n), a.szFromName);
        store.setValue(accountKey(QStringLiteral("Check1V"), n), QString::number(a.Check1V));
        store.setValue(accountKey(QStringLiteral("Check2V"), n), QString::number(a.Check2V));
        store.setValue(accountKey(QStringLiteral("User"), n), a.User);
        store.setValue(accountKey(QStringLiteral("UserPass"), n), a.UserPass);
        store.setValue(accountKey(QStringLiteral("szPort"), n), a.szPort);
        store.setValue(accountKey(QStringLiteral("Check3V"), n), QString::number(a.Check3V));
        store.setValue(accountKey(QStringLiteral("MaxPerMinute"), n), QString::number(a.MaxPerMinute));
    }
    store.sync();
}

bool accountNotConfigured(const AccountRecord &account)
{
    return account.szServer.left(4) == QStringLiteral("****");
}

QString accountStatusLabel(qint16 account)
{
    switch (account) {
    case 0: return QStringLiteral("　アカウント(規定）　　");
    case 1: return QStringLiteral("　サブ　アカウント１　　");
    case 2: return QStringLiteral("　サブ　アカウント２　　");
    case 3: return QStringLiteral("　サブ　アカウント３　　");
    case 4: return QStringLiteral("　サブ　アカウント４　　");
    default: return QString();
    }
}

QString accountStatusLine(const AccountRecord &account)
{
    return accountStatusLabel(account.Account) + QStringLiteral("Server/") + account.szServer
           + QStringLiteral("  From Name/") + account.szFromName;
}
