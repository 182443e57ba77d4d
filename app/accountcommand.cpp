#include "accountcommand.h"

#include "commandio.h"

AccountCommand::AccountCommand(const QString &command, const QString &description, const QList<QCommandLineOption> &own,
                               const QString &caFileDescription)
    : m_command(command),
      m_account(QStringLiteral("account"), QStringLiteral("Account profile (0-4)."), QStringLiteral("N")),
      m_caFile(QStringLiteral("ca-file"), caFileDescription, QStringLiteral("PEM"))
{
    m_parser.setApplicationDescription(description);
    QList<QCommandLineOption> options{m_account};
    options << own << m_caFile;
    m_parser.addOptions(options);
    m_parser.addHelpOption();
    m_parser.addPositionalArgument(command, QStringLiteral("The command."));
}

bool AccountCommand::parse(const QStringList &arguments, int *status,
                           const std::function<QString(const QString &)> &caFileCheck)
{
    *status = 1;
    if (!m_parser.parse(arguments)) {
        fail(m_parser.errorText());
        return false;
    }
    if (m_parser.isSet(QStringLiteral("help"))) {
        printText(stdout, m_parser.helpText());
        *status = 0;
        return false;
    }
    if (m_parser.positionalArguments() != QStringList{m_command}) {
        fail(QStringLiteral("unexpected argument: ") + m_parser.positionalArguments().mid(1).join(QLatin1Char(' ')));
        return false;
    }
    if (!m_parser.isSet(m_account)) {
        fail(QStringLiteral("--account is missing"));
        return false;
    }
    bool ok = false;
    m_profile = m_parser.value(m_account).toInt(&ok);
    if (!ok || m_profile < 0 || m_profile > 4) {
        fail(QStringLiteral("--account must be 0 to 4, not \"%1\"").arg(m_parser.value(m_account)));
        return false;
    }
    if (m_parser.isSet(m_caFile)) {
        const QString problem = caFileCheck(m_parser.value(m_caFile));
        if (!problem.isEmpty()) {
            fail(problem);
            return false;
        }
    }
    return true;
}

QString AccountCommand::caFile() const
{
    return m_parser.isSet(m_caFile) ? m_parser.value(m_caFile) : QString();
}

int AccountCommand::fail(const QString &what, int status) const
{
    printText(stderr, QStringLiteral("quillpost %1: ").arg(m_command) + what + QLatin1Char('\n'));
    return status;
}

bool AccountCommand::loadConfigured(const SettingsStore &settings, AccountRecord *account) const
{
    account->Account = static_cast<qint16>(m_profile);
    readAccountProfile(settings, account->Account, *account);
    if (accountNotConfigured(*account) || account->szServer.trimmed().isEmpty()) {
        fail(QStringLiteral("メールサーバー情報に誤りがあります。"));
        return false;
    }
    return true;
}
