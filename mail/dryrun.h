#pragma once
// A transport that connects to nothing, for a run that only shows what it
// would send: each message goes to a folder as 00001.eml, 00002.eml, ...,
// the exact bytes the server would get (CR LF lines), and its envelope to a
// line of envelope.csv (number, MAIL FROM, RCPT TO).

#include "mailtransport.h"

#include <QFile>

class DryRunTransport : public MailTransport {
public:
    // *firstError receives the first file that could not be written.
    DryRunTransport(const QString &folder, QString *firstError);

    QVariant checkPop() override;
    void start(const Envelope &envelope, const QByteArray &message, const Envelope *next) override;
    MessageResult finish() override;
    void end() override;
    void abort() override {}

    // Makes the folder and the envelope file; false with the reason when
    // they can't be written.
    static bool prepareFolder(const QString &folder, QString *error);

private:
    // "Cannot write " and the error, which names the file.
    QString fail(const QString &error);

    QString m_folder;
    QString *m_firstError;
    QFile m_envelopes;
    int m_number = 0;
    QString m_result;
};
