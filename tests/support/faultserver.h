#pragma once
// An SMTP server on loopback that misbehaves where the test says (see
// faultserver.py): an empty reply, a reply lost after the message, a 421 to
// every MAIL, a stall at a known step while the test kills the client. It
// keeps every message it stores, so a test counts what each address got.
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

class FaultServer {
public:
    struct Rule {
        QString on;  // greeting, mail, rcpt, data, dataend, quit
        int nth = 0; // 0: every time
        QString action;
    };
    struct Stored {
        QString from;
        QStringList rcpt;
        QByteArray raw;
    };

    ~FaultServer();
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

private:
    QList<QJsonObject> events() const;
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_proc;
    int m_port = 0;
    QString m_error;
};
