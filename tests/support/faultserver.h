#pragma once
// An SMTP server on loopback that misbehaves where the test says (see
// faultserver.py): an empty reply, a reply lost after the message, a 421 to
// every MAIL, a stall at a known step while the test kills the client, a
// refused greeting or login, a SIZE limit, replies held back once a client
// has made errors. It keeps every message it stores, so a test counts what
// each address got, and notes the greetings and MAIL commands it saw.
//
//     FaultServer server;
//     QVERIFY2(server.start({{"dataend", 2, "drop"}}), qPrintable(server.error()));
//     ... send to 127.0.0.1:server.port() ...
//     server.received()["r1@example.jp"] == 1

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <optional>

class FaultServer {
public:
    struct Rule {
        QString on;  // greeting, ehlo, helo, auth, mail, rcpt, data, dataend, quit
        int nth = 0; // 0: every time
        QString action;
    };
    struct Stored {
        QString from;
        QStringList rcpt;
        QByteArray raw;
    };

    struct Hello {
        QString verb; // EHLO or HELO
        QString name;
        int connection = 0;
    };

    ~FaultServer();
    // Before start(): the SIZE keyword's parameter ("" for SIZE alone;
    // not offered unless set), AUTH PLAIN offered, and after how many
    // refusals on a connection its replies are held back (0: never).
    void setSize(const QString &parameter) { m_size = parameter; }
    void setAuth(bool on) { m_auth = on; }
    void setHoldAfter(int refusals) { m_holdAfter = refusals; }
    // RCPT TO an address that starts with prefix is refused (550).
    void setDeadPrefix(const QString &prefix) { m_dead = prefix; }
    // CHUNKING offered: BDAT takes messages (a dataend is a BDAT ... LAST).
    void setChunking(bool on) { m_chunking = on; }
    bool start(const QList<Rule> &rules, bool pipelining = true, bool smtpUtf8 = true);
    void stop();
    int port() const { return m_port; }
    QString error() const { return m_error; }

    QList<Stored> stored() const;
    // Messages stored for each recipient.
    QMap<QString, int> received() const;
    int connections() const;
    // A rule with "stall" has fired.
    bool hasStalled() const;
    // Every EHLO and HELO, in order.
    QList<Hello> hellos() const;
    // Every MAIL command as it came.
    QStringList mailCommands() const;
    // The steps whose replies were held back (setHoldAfter).
    QStringList held() const;

private:
    QList<QJsonObject> events() const;
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_proc;
    int m_port = 0;
    QString m_error;
    std::optional<QString> m_size;
    bool m_auth = false;
    int m_holdAfter = 0;
    QString m_dead;
    bool m_chunking = false;
};
