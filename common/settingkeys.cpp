#include "settingkeys.h"

#include <array>

namespace {

using T = SettingType;

// Stored names are the file format: they never change.
constexpr std::array<SettingSpec, 50> kSettings{{
    {Setting::Account, "Account", T::Int16, "0", false},
    {Setting::MainLeft, "MainLeft", T::Single, "0", false},
    {Setting::MainTop, "MainTop", T::Single, "0", false},
    {Setting::MainWindowState, "frmMainWindow", T::Int16, "0", false},
    {Setting::NameAttention, "checkATTN1", T::Int16, "1", false},
    {Setting::HonorificAttention, "checkATTN2", T::Int16, "0", false},
    {Setting::DialogLeft, "DialogLeft", T::Single, "0", false},
    {Setting::DialogTop, "DialogTop", T::Single, "0", false},
    {Setting::DatabaseFile, "MDBFileName", T::Text, "", false},
    {Setting::LogWindowState, "frmLogWindow", T::Int16, "0", false},
    {Setting::PreviewLeft, "PreviewLeft", T::Single, "", false},
    {Setting::PreviewTop, "PreviewTop", T::Single, "", false},
    {Setting::Server, "szServer", T::Text, "****.example.ne.jp", true},
    {Setting::From, "szFrom", T::Text, "myname@example.ne.jp", true},
    {Setting::Signature, "Signature", T::Text, "", true},
    {Setting::BodyHeader, "BodyHeader", T::Text, "", true},
    {Setting::FromName, "szFromName", T::Text, "Myname", true},
    {Setting::SmtpAuth, "Check1V", T::Int16, "1", true},
    {Setting::PopBeforeSmtp, "Check2V", T::Int16, "0", true},
    {Setting::User, "User", T::Text, "myname", true},
    {Setting::Password, "UserPass", T::Text, "", true, true},
    {Setting::Port, "szPort", T::Text, "25", true},
    {Setting::ClearTextPassword, "Check3V", T::Int16, "0", true},
    {Setting::MaxPerMinute, "MaxPerMinute", T::Int, "0", true},
    {Setting::SmtpSecurity, "SmtpSecurity", T::Int16, "0", true},
    {Setting::Pop3Port, "Pop3Port", T::Text, "110", true},
    {Setting::Pop3Security, "Pop3Security", T::Int16, "0", true},
    {Setting::CaFile, "CaFile", T::Text, "", true},
    {Setting::PinnedKeys, "PinnedKeys", T::Text, "", true},
    {Setting::SmtpSizeLimit, "SmtpSizeLimit", T::Int, "0", true},
    {Setting::AuthMethod, "AuthMethod", T::Text, "password", true},
    {Setting::OAuthProvider, "OAuthProvider", T::Text, "microsoft", true},
    {Setting::OAuthClientId, "OAuthClientId", T::Text, "", true},
    {Setting::OAuthClientSecret, "OAuthClientSecret", T::Text, "", true, true},
    {Setting::OAuthTenant, "OAuthTenant", T::Text, "organizations", true},
    {Setting::OAuthAuthUrl, "OAuthAuthUrl", T::Text, "", true},
    {Setting::OAuthTokenUrl, "OAuthTokenUrl", T::Text, "", true},
    {Setting::OAuthDeviceUrl, "OAuthDeviceUrl", T::Text, "", true},
    {Setting::OAuthScope, "OAuthScope", T::Text, "", true},
    {Setting::OAuthSignedIn, "OAuthSignedIn", T::Text, "", true},
    {Setting::OAuthRefreshToken, "OAuthRefreshToken", T::Text, "", true, true},
    {Setting::MailCharset, "MailCharset", T::Text, "utf-8", true},
    {Setting::SendWindow, "SendWindow", T::Int, "20", true},
    {Setting::SmtpConnections, "SmtpConnections", T::Int, "1", true},
    {Setting::Unsubscribe, "Unsubscribe", T::Int16, "0", true},
    {Setting::UnsubscribeAddress, "UnsubscribeAddress", T::Text, "", true},
    {Setting::UnsubscribeUrl, "UnsubscribeUrl", T::Text, "", true},
    {Setting::UnsubscribeFooter, "UnsubscribeFooter", T::Text, "", true},
    {Setting::NotAdvertising, "NotAdvertising", T::Int16, "0", true},
    {Setting::UnsubscribeSecret, "UnsubscribeSecret", T::Text, "", false},
}};

constexpr bool inEnumOrder()
{
    for (size_t i = 0; i < kSettings.size(); ++i)
        if (static_cast<size_t>(kSettings[i].setting) != i)
            return false;
    return true;
}
static_assert(inEnumOrder(), "the table lists the settings in the order of the enum");

} // namespace

const SettingSpec &settingSpec(Setting setting)
{
    return kSettings[static_cast<size_t>(setting)];
}

QString settingKey(Setting setting, int profile)
{
    const SettingSpec &s = settingSpec(setting);
    const QString key = QString::fromLatin1(s.key);
    return s.perProfile && profile != 0 ? key + QString::number(profile) : key;
}

QString settingDefault(Setting setting)
{
    return QString::fromLatin1(settingSpec(setting).defaultValue);
}
