// The body file format on real files: code page 932 bytes, UTF-8 with and
// without the mark, line ends of every kind.

#include "bodyfile.h"
#include "testutil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

Q_DECLARE_METATYPE(BodyFileRead::Status)

namespace {
const QByteArray kBom("\xEF\xBB\xBF");
}

class TestBodyFile : public QObject {
    Q_OBJECT
private slots:
    void readGivesSubjectAndBody_data();
    void readGivesSubjectAndBody();
    void writeUsesCodePage932UnlessACharacterDoesNotFit_data();
    void writeUsesCodePage932UnlessACharacterDoesNotFit();
    void failedWriteKeepsTheOldFileAndSaysWhy();
};

void TestBodyFile::readGivesSubjectAndBody_data()
{
    QTest::addColumn<QByteArray>("bytes"); // null: no file at all
    QTest::addColumn<BodyFileRead::Status>("status");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("body");

    using S = BodyFileRead;
    QTest::newRow("code page 932, CR LF") << sjis(QStringLiteral("件名\r\n本文①ｶﾅ\r\n\r\n二段落\r\n")) << S::Read
                                          << QStringLiteral("件名") << QStringLiteral("本文①ｶﾅ\r\n\r\n二段落\r\n");
    QTest::newRow("UTF-8 with mark") << kBom + QStringLiteral("件名\r\n髙😀\r\n").toUtf8() << S::Read
                                     << QStringLiteral("件名") << QStringLiteral("髙😀\r\n");
    QTest::newRow("UTF-8, LF, no last line end") << QStringLiteral("件名\n一行目\n二行目").toUtf8() << S::Read
                                                 << QStringLiteral("件名") << QStringLiteral("一行目\r\n二行目\r\n");
    QTest::newRow("one line end only") << QByteArray("\r\n") << S::Read << QString() << QString();
    QTest::newRow("no bytes") << QByteArray("") << S::Empty << QString() << QString();
    QTest::newRow("neither encoding") << QByteArray("subject\r\n\x81\x20text\r\n") << S::UnknownEncoding << QString()
                                      << QString();
    QTest::newRow("no file") << QByteArray() << S::Unreadable << QString() << QString();
    const qsizetype tenMegabytes = qsizetype(10) << 20;
    const QByteArray filled = "s\r\n" + QByteArray(tenMegabytes - 5, 'x') + "\r\n";
    QTest::newRow("10 MB") << filled << S::Read << QStringLiteral("s")
                           << QString(tenMegabytes - 5, QLatin1Char('x')) + QStringLiteral("\r\n");
    QTest::newRow("one byte over 10 MB") << filled + "x" << S::TooLarge << QString() << QString();
}

void TestBodyFile::readGivesSubjectAndBody()
{
    QFETCH(QByteArray, bytes);
    QFETCH(BodyFileRead::Status, status);
    QFETCH(QString, subject);
    QFETCH(QString, body);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("本文.txt"));
    if (!bytes.isNull())
        writeBytes(path, bytes);
    const BodyFileRead r = BodyFile::read(path);
    QCOMPARE(r.status, status);
    QCOMPARE(r.file.subject, subject);
    QCOMPARE(r.file.body, body);
    QCOMPARE(r.error.isEmpty(), status != BodyFileRead::Unreadable && status != BodyFileRead::TooLarge);
}

void TestBodyFile::writeUsesCodePage932UnlessACharacterDoesNotFit_data()
{
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("unwritable");
    QTest::addColumn<bool>("utf8");

    QTest::newRow("fits") << QStringLiteral("ご案内") << QStringLiteral("①～ｶﾅ\r\n") << QString() << false;
    QTest::newRow("emoji in the body") << QStringLiteral("件名") << QStringLiteral("😀と髙😀") << QStringLiteral("😀")
                                       << true;
    // Code page 932 would give the wave dash back as the full-width tilde.
    QTest::newRow("wave dash in the subject") << QStringLiteral("10時〜") << QString() << QStringLiteral("〜") << true;
}

void TestBodyFile::writeUsesCodePage932UnlessACharacterDoesNotFit()
{
    QFETCH(QString, subject);
    QFETCH(QString, body);
    QFETCH(QString, unwritable);
    QFETCH(bool, utf8);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("body.txt"));
    const BodyFile file{subject, body};
    QCOMPARE(file.cp932Unwritable(), unwritable);
    QString error;
    QVERIFY2(file.write(path, &error), qPrintable(error));
    const QString text = subject + QStringLiteral("\r\n") + body + QStringLiteral("\r\n");
    QCOMPARE(readBytes(path), utf8 ? kBom + text.toUtf8() : sjis(text));
    // Read back in whichever encoding it took, the file gives the same text.
    const BodyFileRead back = BodyFile::read(path);
    QCOMPARE(back.file.subject + QStringLiteral("\r\n") + back.file.body, text);
}

void TestBodyFile::failedWriteKeepsTheOldFileAndSaysWhy()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("body.txt"));
    const QByteArray old = sjis(QStringLiteral("前の件名\r\n前の本文\r\n"));
    writeBytes(path, old);
    const BodyFile file{QStringLiteral("件名"), QString(20000, QLatin1Char('x'))};
    // The system refuses to let a file of this process grow past 4 KB, as a
    // full disk would refuse it, part way through the write.
    QString error;
    bool written = true;
    {
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 4096;
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        written = file.write(path, &error);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
    }
    QVERIFY(!written);
    QVERIFY2(error.startsWith(path + QStringLiteral(": ")), qPrintable(error));
    QCOMPARE(readBytes(path), old);
    // The temporary file went with the failure.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("body.txt")});
}

QTEST_GUILESS_MAIN(TestBodyFile)
#include "tst_bodyfile.moc"
