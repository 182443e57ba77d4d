#include "iso2022jp.h"
#include "messageview.h"
#include "mimemessage.h"
#include "textcodec.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

// ISO-2022-JP as Windows mail programs read it: every text is read back by
// nkf in its code page 932 mode.
class TestIso2022Jp : public QObject {
    Q_OBJECT
private slots:
    void charactersReadBackAsWritten_data();
    void charactersReadBackAsWritten();
    void headerWordsEndInAsciiAndFold_data();
    void headerWordsEndInAsciiAndFold();
    void textStaysWithinWhatSmtpCarries_data();
    void textStaysWithinWhatSmtpCarries();
};

namespace {

// nkf's reading of ISO-2022-JP bytes, in code page 932's characters.
QString nkf(const QByteArray &bytes)
{
    QProcess p;
    p.start(QStringLiteral("nkf"), {QStringLiteral("-J"), QStringLiteral("-w"), QStringLiteral("--cp932")});
    if (!p.waitForStarted())
        return QStringLiteral("<nkf not started>");
    p.write(bytes);
    p.closeWriteChannel();
    p.waitForFinished();
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Every character of code page 932 from lead..last, in code order.
QString cp932Range(int first, int last)
{
    QString out;
    for (int code = first; code <= last; ++code) {
        if ((code & 0xff) < 0x40 || (code & 0xff) == 0x7f || (code & 0xff) > 0xfc)
            continue;
        const char bytes[] = {char(code >> 8), char(code & 0xff)};
        const std::optional<QString> c = decodeCp932(QByteArray(bytes, 2));
        if (c)
            out += *c;
    }
    return out;
}

} // namespace

void TestIso2022Jp::charactersReadBackAsWritten_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("read");           // as nkf reads it back
    QTest::addColumn<QStringList>("unwritable"); // listed before sending
    const QString nec = cp932Range(0x8740, 0x879c);
    QCOMPARE(nec.size(), 83);
    QTest::newRow("NEC special characters") << nec << nec << QStringList();
    // The IBM extensions: only those row 13 or JIS X 0208 also has go.
    const QString ibm = cp932Range(0xfa40, 0xfc4b);
    QCOMPARE(ibm.size(), 388);
    const QString kept = QStringLiteral("ⅠⅡⅢⅣⅤⅥⅦⅧⅨⅩ￢㈱№℡∵");
    QString ibmRead;
    QStringList ibmLost;
    for (QChar c : ibm) {
        ibmRead += kept.contains(c) ? c : QLatin1Char('?');
        if (!kept.contains(c))
            ibmLost << QString(c);
    }
    QTest::newRow("IBM extensions") << ibm << ibmRead << ibmLost;
    QTest::newRow("JIS X 0208's own readings")
        << QStringLiteral("〜−‖¢£¬—") << QStringLiteral("～－∥￠￡￢―") << QStringList();
    QTest::newRow("machine-dependent as typed on Windows")
        << QStringLiteral("①㈱Ⅲ～－￢髙") << QStringLiteral("①㈱Ⅲ～－￢?") << QStringList{QStringLiteral("髙")};
    QTest::newRow("half-width katakana go full-width")
        << QStringLiteral("ｶﾞｷﾞｸﾞﾊﾟﾋﾟ ｱｲｳｴｵ ｰ｡｢｣､･ ﾞﾟ") << QStringLiteral("ガギグパピ アイウエオ ー。「」、・ ゛゜")
        << QStringList();
    QTest::newRow("outside the repertoire")
        << QStringLiteral("A😀B𠮷C¥D\x1b😀") << QStringLiteral("A?B?C?D??")
        << QStringList{QStringLiteral("😀"), QStringLiteral("𠮷"), QStringLiteral("¥"), QStringLiteral("\x1b")};
}

void TestIso2022Jp::charactersReadBackAsWritten()
{
    QFETCH(QString, text);
    QFETCH(QString, read);
    QFETCH(QStringList, unwritable);
    const QByteArray bytes = iso2022jp::encode(text);
    for (char c : bytes)
        QVERIFY(static_cast<unsigned char>(c) < 0x80);
    QCOMPARE(nkf(bytes), read);
    // The preview reads what goes out as nkf does.
    QCOMPARE(iso2022jp::decode(bytes), read);
    iso2022jp::Unwritable lost;
    lost.add(text);
    QCOMPARE(lost.characters, unwritable);
    QCOMPARE(lost.places, read.count(QLatin1Char('?')));
}

void TestIso2022Jp::headerWordsEndInAsciiAndFold_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("read");
    QString kanji;
    const QString some = QStringLiteral("漢字仮名交文書年末年始営業日案内");
    for (int i = 0; i < 200; ++i)
        kanji += some[i % some.size()];
    QTest::newRow("200 kanji") << kanji << kanji;
    const QString mixed = QStringLiteral("【ご案内】Sale 50% off ① ｶﾀｶﾅ and more, ").repeated(6);
    QTest::newRow("ASCII and JIS in turn")
        << mixed << QString(mixed).replace(QStringLiteral("ｶﾀｶﾅ"), QStringLiteral("カタカナ"));
    QTest::newRow("one character") << QStringLiteral("①") << QStringLiteral("①");
    // ASCII after a word's last kanji costs the way back to ASCII as well.
    const QString full = QStringLiteral("a") + kanji.left(13) + QStringLiteral("bc");
    QTest::newRow("ASCII where a word is full") << full << full;
}

void TestIso2022Jp::headerWordsEndInAsciiAndFold()
{
    QFETCH(QString, text);
    QFETCH(QString, read);
    const QByteArray header = "Subject: " + mime::headerValue(text, MailCharset::Iso2022Jp);
    static const QRegularExpression wordForm(QStringLiteral("^=\\?ISO-2022-JP\\?B\\?[A-Za-z0-9+/]+=*\\?=$"));
    QString joined;
    const QByteArrayList lines = header.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = i + 1 < lines.size() ? lines[i].chopped(1) : lines[i];
        QVERIFY2(line.size() <= 76, line.constData());
        const QByteArray word = line.mid(line.indexOf(i == 0 ? ' ' : '=')).trimmed();
        QVERIFY2(wordForm.match(QString::fromLatin1(word)).hasMatch(), word.constData());
        // Room for a header name of up to 12 characters before the first.
        QVERIFY2(word.size() <= 64, word.constData());
        const QByteArray bytes = QByteArray::fromBase64(word.mid(16, word.size() - 18));
        // Each word stands alone: back in ASCII at its end, whole characters.
        QVERIFY2(bytes.lastIndexOf("\x1b$B") < bytes.lastIndexOf("\x1b(B") || !bytes.contains("\x1b$B"),
                 word.constData());
        const QString piece = nkf(bytes);
        QVERIFY2(!piece.contains(QChar::ReplacementCharacter) && !piece.contains(QLatin1Char('?')), word.constData());
        joined += piece;
    }
    QCOMPARE(joined, read);
}

void TestIso2022Jp::textStaysWithinWhatSmtpCarries_data()
{
    QTest::addColumn<QString>("head");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("transfer");
    QTest::newRow("plain") << QStringLiteral("山田 太郎　様\r\n") << QStringLiteral("本文①\r\n") << QByteArray("7bit");
    QTest::newRow("lines starting with a dot")
        << QStringLiteral(".山田\r\n") << QStringLiteral(".\r\n..二つ\r\n.") << QByteArray("7bit");
    QTest::newRow("a line longer than SMTP carries")
        << QStringLiteral("山田\r\n") << QString(600, QChar(0x6f22)) + QStringLiteral("\r\n.end")
        << QByteArray("base64");
}

void TestIso2022Jp::textStaysWithinWhatSmtpCarries()
{
    QFETCH(QString, head);
    QFETCH(QString, text);
    QFETCH(QByteArray, transfer);
    mime::MessageBuilder b;
    b.setCharset(MailCharset::Iso2022Jp);
    b.setFrom(QStringLiteral("山田商店"), "shop@example.jp");
    b.setSubject(QStringLiteral("ご案内"));
    b.setSharedText(text);
    const QByteArray m = b.build("to@example.jp", head, QDateTime::currentDateTime());
    QVERIFY(m.contains("charset=ISO-2022-JP\r\nContent-Transfer-Encoding: " + transfer + "\r\n"));
    QVERIFY(!m.startsWith('.') && !m.contains("\n."));
    for (const QByteArray &line : m.split('\n'))
        QVERIFY(line.size() <= 999);
    for (char c : m)
        QVERIFY(static_cast<unsigned char>(c) < 0x80);
    QCOMPARE(b.sizeOf("to@example.jp", head) >= m.size(), true);
    QCOMPARE(viewMessage(m).text, head + text);
    QCOMPARE(viewMessage(m).subject, QStringLiteral("ご案内"));
    QCOMPARE(viewMessage(m).from, QStringLiteral("山田商店 <shop@example.jp>"));
}

QTEST_GUILESS_MAIN(TestIso2022Jp)
#include "tst_iso2022jp.moc"
