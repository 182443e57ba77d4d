#pragma once
// One connection to an SMTP or POP3 server, opened by libcurl: the TCP
// connection, implicit TLS or STARTTLS/STLS whenever the server offers it
// (or always, where required), certificates verified or the key pinned,
// the greeting and the server's capabilities. No
// credentials are given to libcurl, so it never logs in: the transport does,
// once it has seen that the connection is safe for them. After opening, the
// transport talks on the connection itself, through sendAll and readReply,
// which bound every reply in size and time.

#include "certificate.h"
#include "mailprotocol.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QDeadlineTimer>
#include <QString>
#include <memory>
#include <optional>

struct ServerReply {
    enum Status {
        Complete, // a whole reply arrived
        Closed,   // the connection ended or failed first
        TimedOut, // no whole reply within the time limit
        TooLong,  // a line over 4,096 octets or a reply over 64 KB
    };
    Status status = Closed;
    int code = 0;    // SMTP: the three digits (0 if none); POP3: 1 "+OK", -1 "-ERR"
    QByteArray text; // its lines joined by blanks

    bool complete() const { return status == Complete; }
    bool positive() const { return complete() && (code > 0 && code < 400); }
};

class CurlConnection {
public:
    static constexpr qsizetype kMaxLine = 4096;
    static constexpr qsizetype kMaxReply = 64 * 1024;

    struct Options {
        MailProtocol protocol = MailProtocol::Smtp;
        QString host;
        int port = 25;
        bool implicitTls = false;
        bool upgradeRequired = false; // STARTTLS (STLS) or nothing
        int connectSeconds = 60;      // TCP and TLS
        int replySeconds = 300;       // the greeting, and each reply while opening
        QString extraCaFile;
        // SMTP: the domain of EHLO and HELO; "" for the address literal of
        // the connection's local end.
        QByteArray helloName;
        // Public keys the user trusts ("sha256//...", ";" between): a server
        // that shows one of them is taken without a verified chain.
        QString pinnedKeys;
        // Told what the certificate says when it is not trusted.
        std::shared_ptr<UntrustedCertificateSink> untrusted;
    };

    // How far the last open() got.
    enum class Stage {
        Connect,  // the server was not reached
        Greeting, // it was, and refused or broke off before TLS
        Tls,      // TLS was missing, failed, or the certificate not trusted
        Ready,
    };

    CurlConnection();
    ~CurlConnection();
    CurlConnection(const CurlConnection &) = delete;
    CurlConnection &operator=(const CurlConnection &) = delete;

    // Connects; "" on success, otherwise why not (a detail for the caller's
    // "Cant connect Server" text). A server that offers STARTTLS or STLS and
    // then refuses or fails it is not usable.
    QString open(const Options &options);
    void close();
    bool isOpen() const;

    Stage stage() const;
    // The address reached, "192.0.2.1:587"; "" when none was.
    QString peerAddress() const;

    bool isEncrypted() const;
    // While open: "TLSv1.3", and the server's certificate chain (its own
    // first, DER); nothing in clear.
    QString tlsVersion() const;
    QList<QByteArray> peerCertificates() const;
    // The server showed a key the user trusts rather than a verified chain.
    bool trustedByPin() const;
    // The server is on this machine (127.0.0.0/8, ::1).
    bool isLoopback() const;
    // The capability lines of the last EHLO or CAPA, without reply codes.
    const QByteArrayList &capabilities() const;
    // The words after a capability keyword, upper case ("AUTH" -> {"PLAIN",
    // "LOGIN"}); *found tells whether the keyword was offered at all.
    QByteArrayList capability(QByteArrayView keyword, bool *found = nullptr) const;

    // False when the data could not all be written: the connection failed,
    // or it took nothing for inactivityMs (the reply limit unless given).
    // *written: the bytes handed to the connection.
    bool sendAll(QByteArrayView data, int inactivityMs = -1, qsizetype *written = nullptr);
    // The time limit is the reply limit of the options unless given
    // (milliseconds). *lines: the reply's lines as they came, if asked for.
    ServerReply readReply(int timeoutMs = -1, QByteArrayList *lines = nullptr);

    // One line of a multi-line answer that carries data (a message being
    // retrieved), of any length: at most keep bytes of it are kept in text,
    // the rest is read and dropped (*cut then). Complete, with code 0 and the
    // line without its CR LF; Closed or TimedOut when no whole line came,
    // the time limit counting from the last bytes received.
    ServerReply readDataLine(qsizetype keep, bool *cut = nullptr, int timeoutMs = -1);

    // From any thread: every wait ends at once, now and later; the
    // connection is shut.
    void abort();
    bool wasAborted() const;

    struct State; // shared with libcurl's callbacks

private:
    // EHLO (or HELO, where the server took only that) once more, naming the
    // local end as it turned out; "" or why the server can't be used.
    QString greetAgain(const QByteArray &name);
    // What the TLS layer checks: the chain and the name, a pinned key
    // alone, or nothing (only to read the certificate of a server that
    // failed the check; nothing is said to it after TLS).
    enum class Trust { Verified, Pinned, ReadOnly };
    QString openWith(const Options &options, Trust trust);
    // Reads the certificate the check refused and tells options.untrusted.
    void reportUntrusted(const Options &options) const;

    // Appends what the connection has for us, waiting until the deadline;
    // false with why when nothing came.
    bool receive(const QDeadlineTimer &deadline, ServerReply::Status *failure);

    struct Abort;
    std::unique_ptr<State> d;
    std::unique_ptr<Abort> m_abort;
};

// A server's text as it may be shown and logged: UTF-8 where it is valid,
// else Latin-1, with control characters (but TAB) written as \xNN so no
// terminal or log takes them as commands.
QString serverText(QByteArrayView bytes);
