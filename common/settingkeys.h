#pragma once
// Every setting the program keeps, in one table: the key as stored, the type
// of its value, its default, and whether it is kept once per account profile
// (the key then ends in the profile number, none for profile 0). Windows and
// helpers name settings by the enum; only the table knows the stored names.

#include <QString>
#include <span>

enum class Setting {
    // Program-wide.
    Account,  // profile in use, 0..4
    MainLeft, // main window position, twips
    MainTop,
    MainWindowState,    // 0 normal, 1 minimised, 2 maximised
    NameAttention,      // put the name block at the head of the body (0/1)
    HonorificAttention, // add the honorific (0/1)
    DialogLeft,         // address book and import window position, twips
    DialogTop,
    DatabaseFile,   // the address database in use
    LogWindowState, // log viewer: 0 normal, 2 maximised
    PreviewLeft,    // preview window position, twips
    PreviewTop,
    // Per account profile, in the order they are written.
    Server,
    From,
    Signature,
    BodyHeader,
    FromName,
    SmtpAuth,      // 0/1
    PopBeforeSmtp, // 0/1
    User,
    Password,
    Port,
    ClearTextPassword, // 0/1: the password may travel unencrypted
    MaxPerMinute,      // 0: no limit
    SmtpSecurity,      // 0 automatic, 1 STARTTLS required, 2 TLS from the start
    Pop3Port,
    Pop3Security,  // as SmtpSecurity
    CaFile,        // PEM file of certificates trusted beside the system's
    PinnedKeys,    // "sha256//..." public keys the user trusts, ";" between
    SmtpSizeLimit, // the server's SIZE, learned by the connection test; 0: unknown or none
    // How the account signs in, and its OAuth 2.0 sign-in; per profile.
    AuthMethod,        // "password" or "oauth2"
    OAuthProvider,     // "microsoft", "google" or "other"
    OAuthClientId,     // the application's registration with the provider
    OAuthClientSecret, // where the provider issues one to desktop programs; a secret
    OAuthTenant,       // Microsoft: the directory (tenant) ID or domain
    OAuthAuthUrl,      // "other": the endpoints and the scope
    OAuthTokenUrl,
    OAuthDeviceUrl, // "other": the device authorisation endpoint, if any
    OAuthScope,
    OAuthSignedIn,     // the address the last sign-in was for
    OAuthRefreshToken, // a secret: kept in the keyring where one answers
    // The mail's charset, how many messages go at once, and unsubscribing;
    // per profile.
    MailCharset,        // "utf-8" or "iso-2022-jp"
    SendWindow,         // messages in flight on one connection where the server offers CHUNKING, 1..100
    SmtpConnections,    // connections a run opens at once, 1..5
    Unsubscribe,        // 0/1: List-Unsubscribe and the footer on every message
    UnsubscribeAddress, // where unsubscribe requests go; "": the sender address
    UnsubscribeUrl,     // an https page; "": none
    UnsubscribeFooter,  // after the signature; {配信停止アドレス} and {配信停止URL} filled in per recipient
    NotAdvertising,     // 0/1: the account sends no advertising mail (no check for the unsubscribe text)
    // Program-wide: the key unsubscribe tokens are made with.
    UnsubscribeSecret,
};

enum class SettingType {
    Text,
    Int16,  // a whole number as text, 16 bits
    Int,    // a whole number as text
    Single, // a number as text, fractions allowed
};

struct SettingSpec {
    Setting setting;
    const char *key;
    SettingType type;
    const char *defaultValue;
    bool perProfile;
    // Kept in the desktop's secret store where one answers, in the file
    // otherwise.
    bool secret = false;
};

const SettingSpec &settingSpec(Setting setting);
// The stored key: per-profile settings carry the profile number (none for 0).
QString settingKey(Setting setting, int profile = 0);
QString settingDefault(Setting setting);
