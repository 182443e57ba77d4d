#pragma once
// A server's certificate as the user is shown it, and why it is not
// trusted. Read with OpenSSL, the TLS library libcurl uses here.

#include "mailprotocol.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <mutex>
#include <optional>

struct CertificateDetails {
    QString subject;      // "CN=mail.example.jp,O=..."
    QStringList names;    // the names and addresses it is valid for
    QString issuer;       // as subject
    QDateTime notBefore;  // UTC
    QDateTime notAfter;   // UTC
    QString sha256;       // fingerprint of the whole certificate, "AB:CD:..."
    QString publicKeyPin; // its public key as CURLOPT_PINNEDPUBLICKEY takes it: "sha256//<base64>"
};

// The details of one certificate in DER; nullopt when it is none.
std::optional<CertificateDetails> certificateDetails(const QByteArray &der);

struct UntrustedCertificate {
    enum Reason {
        UnknownIssuer = 1, // no trusted authority vouches for it (self-signed ones included)
        NameMismatch = 2,  // made for other names than the server's
        Expired = 4,
        NotYetValid = 8,
        NotThePinned = 16, // the account trusts other keys than this one
        OtherFault = 32,   // anything else OpenSSL finds wrong; see otherFault
    };
    MailProtocol protocol = MailProtocol::Smtp;
    QString host;
    int port = 0;
    int reasons = 0;
    QString otherFault;
    CertificateDetails certificate; // the server's own, first of its chain
};

// The reasons a chain (the server's certificate first, DER) is not trusted
// for host: checked against the system's authorities and those of
// extraCaFile, as libcurl checks it.
int untrustedReasons(const QList<QByteArray> &chain, const QString &host, const QString &extraCaFile,
                     QString *otherFault = nullptr);

// What the user reads: the reasons, one sentence each, and the details as
// (caption, value) rows.
QStringList untrustedReasonTexts(const UntrustedCertificate &c);
QList<QPair<QString, QString>> certificateRows(const CertificateDetails &d);
// Both as lines of text for a terminal, with the public key as the
// account's PinnedKeys would hold it.
QString describeUntrustedCertificate(const UntrustedCertificate &c);

// The first name the certificate was made for that can name a server (not
// a wildcard); "" when there is none.
QString usableCertificateName(const CertificateDetails &d);
// The account's trusted keys with pin added (once).
QString withPinnedKey(const QString &pinnedKeys, const QString &pin);

// Where connections on any thread leave the untrusted certificate they met,
// for the face to show once the work is done.
class UntrustedCertificateSink {
public:
    void put(const UntrustedCertificate &c);
    std::optional<UntrustedCertificate> take();

private:
    std::mutex m_lock;
    std::optional<UntrustedCertificate> m_last;
};
