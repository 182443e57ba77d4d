#include "fieldreader.h"
#include "filewrite.h"
#include "programfolder.h"
#include "recipientrows.h"
#include "settingsstore.h"
#include "testutil.h"
#include "textcodec.h"
#include "textfile.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <iconv.h>
#include <memory>
#include <unicode/translit.h>
#include <unicode/unistr.h>

class TestCommon : public QObject {
    Q_OBJECT
private slots:
    void programFolderRule();
    void programFolderFallsBackWhenReadOnly();
    void lenMbcsCountsShiftJisBytes();
    void leftMbcsNeverSplitsACharacter();
    void cp932RoundTripsRealBytes();
    void cp932InvalidBytesAreAnError();
    void cp932DecodingMatchesTheConverter();
    void recipientRowsShareUntilChanged();
    void cp932UnrepresentableBecomesQuestionMark();
    void cp932ReportsEveryCharacterItCannotWriteBack();
    void textFileEncodingIsDetected_data();
    void textFileEncodingIsDetected();
    void generatedJapaneseFilesAreDetected();
    void lineEnds();
    void narrowingMatchesTheLocaleMapping();
    void narrowingKatakanaAgreesWithIcu();
    void fieldReader_data();
    void fieldReader();
    void fieldReaderEndOfFileInsideRecord();
    void settingsFileIsPrivateAndNumbersAreChecked();
    void fullDiskIsNamedAsSuch();
    void settingsKeepTheirStoredNames_data();
    void settingsKeepTheirStoredNames();
};

void TestCommon::programFolderRule()
{
    QCOMPARE(joinProgramFolder(QStringLiteral("/"), QStringLiteral("SendMail.Log")), QStringLiteral("/SendMail.Log"));
    QCOMPARE(joinProgramFolder(QStringLiteral("/opt/quillpost"), QStringLiteral("Quillpost.cdb")),
             QStringLiteral("/opt/quillpost/Quillpost.cdb"));
    QCOMPARE(joinProgramFolder(QStringLiteral("/opt/quillpost/"), QStringLiteral("CompactFileName.cdb")),
             QStringLiteral("/opt/quillpost/CompactFileName.cdb"));
}

void TestCommon::programFolderFallsBackWhenReadOnly()
{
    QTemporaryDir tmp;
    const QString exe = tmp.filePath(QStringLiteral("bin"));
    const QString data = tmp.filePath(QStringLiteral("data/quillpost"));
    QDir().mkpath(exe);
    QCOMPARE(writableProgramFolder(exe, data), exe);
    if (::geteuid() == 0)
        QSKIP("root can write into a read-only folder");
    QFile::setPermissions(exe, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QCOMPARE(writableProgramFolder(exe, data), data);
    QVERIFY(QFileInfo(data).isDir());
    QFile::setPermissions(exe, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestCommon::lenMbcsCountsShiftJisBytes()
{
    QCOMPARE(LenMbcs(QString()), 0);
    QCOMPARE(LenMbcs(QStringLiteral("abc")), 3);
    QCOMPARE(LenMbcs(QStringLiteral("山田")), 4);
    QCOMPARE(LenMbcs(QStringLiteral("ﾔﾏﾀﾞ")), 4); // half-width kana: one byte each
    QCOMPARE(LenMbcs(QStringLiteral("山田 ﾀﾛｳ taro")), 4 + 1 + 3 + 1 + 4);
    QCOMPARE(LenMbcs(QStringLiteral("　")), 2); // ideographic space
    // Agrees with the real encoder on text CP932 can hold.
    const QString mixed = QStringLiteral("株式会社ﾃｽﾄ ABC－１２３");
    QCOMPARE(LenMbcs(mixed), int(encodeCp932(mixed).size()));
}

void TestCommon::leftMbcsNeverSplitsACharacter()
{
    QCOMPARE(leftMbcs(QStringLiteral("山田太郎"), 5), QStringLiteral("山田"));
    QCOMPARE(leftMbcs(QStringLiteral("ab山田"), 3), QStringLiteral("ab"));
    QCOMPARE(leftMbcs(QStringLiteral("ab山田"), 4), QStringLiteral("ab山"));
    QCOMPARE(leftMbcs(QStringLiteral("short"), 44), QStringLiteral("short"));
}

void TestCommon::cp932RoundTripsRealBytes()
{
    // "日本語" in Shift-JIS, "①" and "髙" from the NEC/IBM extensions that
    // plain Shift_JIS lacks, and the half-width "ｱ".
    const QByteArray bytes("\x93\xfa\x96\x7b\x8c\xea\x87\x40\xfb\xfc\xb1\r\n", 13);
    QString err;
    const auto text = decodeCp932(bytes, &err);
    QVERIFY2(text, qPrintable(err));
    QCOMPARE(*text, QStringLiteral("日本語①髙ｱ\r\n"));
    QCOMPARE(encodeCp932(*text), bytes);

    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("a.txt"));
    QVERIFY(writeCp932File(path, *text));
    QCOMPARE(readBytes(path), bytes);
    QCOMPARE(*readCp932File(path), *text);
    // The wave dash of CP932 (0x8160) is U+FF5E, not U+301C.
    QCOMPARE(*decodeCp932(QByteArray("\x81\x60", 2)), QString(QChar(0xFF5E)));
}

void TestCommon::cp932ReportsEveryCharacterItCannotWriteBack()
{
    // Written as look-alikes that read back as other characters.
    for (const QChar c : QStringLiteral("¥〜—¢£¬−‖‾")) {
        bool lossless = true;
        const QByteArray b = encodeCp932(QString(c), &lossless);
        QVERIFY2(!lossless, qPrintable(QString(c)));
        QVERIFY(!b.isEmpty());
    }
    QCOMPARE(encodeCp932(QStringLiteral("¥1")), QByteArray("\\1"));
    QCOMPARE(cp932Unwritable(QStringLiteral("¥1,000〜 😀 ①漢字ｱ é ¥")), QStringLiteral("¥〜😀é"));
}

void TestCommon::textFileEncodingIsDetected_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text"); // "" with found = -1: refused
    QTest::addColumn<int>("found");
    const QString jp = QStringLiteral("山田 太郎①\r\n");
    QTest::newRow("UTF-8 with a byte-order mark")
        << "\xEF\xBB\xBF" + jp.toUtf8() << jp << int(TextEncoding::Utf8WithBom);
    QTest::newRow("UTF-8 from a Linux editor") << jp.toUtf8() << jp << int(TextEncoding::Utf8);
    QTest::newRow("code page 932") << sjis(jp) << jp << int(TextEncoding::Cp932);
    QTest::newRow("plain ASCII") << QByteArray("a,b\r\n") << QStringLiteral("a,b\r\n") << int(TextEncoding::Cp932);
    // Valid UTF-8 as well ("ý ĳ"), but half-width katakana in code page 932.
    const QString kana = QStringLiteral("ﾃｽ ﾄｳ");
    QTest::newRow("half-width katakana, 5 bytes") << sjis(kana) << kana << int(TextEncoding::Cp932);
    const QString kanaLines = QStringLiteral("ﾃｽ ﾄｳ ｿﾄ\r\n").repeated(300000);
    QTest::newRow("half-width katakana, 3 MB") << sjis(kanaLines) << kanaLines << int(TextEncoding::Cp932);
    // Valid code page 932 as well ("Cafﾃｩ"), but accented Latin letters.
    const QString latin = QStringLiteral("Café résumé, naïve Zoë\r\n");
    QTest::newRow("Latin with accents") << latin.toUtf8() << latin << int(TextEncoding::Utf8);
    // E5 B1 B1: "螻ｱ" in code page 932 too, but the detector takes UTF-8.
    const QString kanji = QStringLiteral("山\r\n");
    QTest::newRow("a kanji in UTF-8") << kanji.toUtf8() << kanji << int(TextEncoding::Utf8);
    QTest::newRow("neither") << QByteArray("\x81\x20\xff") << QString() << -1;
    QTest::newRow("broken UTF-8 after a mark") << QByteArray("\xEF\xBB\xBF\xff") << QString() << -1;
}

void TestCommon::textFileEncodingIsDetected()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(int, found);
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("本文.txt"));
    writeBytes(path, bytes);
    QString error;
    TextEncoding encoding{};
    const std::optional<QString> read = readTextFile(path, &error, &encoding);
    if (found < 0) {
        QVERIFY(!read);
        QVERIFY2(error.contains(path), qPrintable(error));
        return;
    }
    QVERIFY2(read, qPrintable(error));
    QCOMPARE(*read, text);
    QCOMPARE(int(encoding), found);
    // The streaming reader decides alike.
    TextFileStream stream;
    QVERIFY2(stream.open(path, &error), qPrintable(error));
    QString streamed, piece;
    while (stream.next(&piece))
        streamed += piece;
    QVERIFY2(!stream.failed(), qPrintable(stream.error()));
    QCOMPARE(int(stream.encoding()), found);
    QCOMPARE(streamed, text);
}

void TestCommon::generatedJapaneseFilesAreDetected()
{
    // Texts as offices write them: letters, lists, notices, names in
    // half-width katakana, the NEC special characters.
    const QStringList texts = {
        QStringLiteral("いつもお世話になっております。"),
        QStringLiteral("株式会社山田商店 営業部の鈴木です。"),
        QStringLiteral("年末年始の営業日についてご案内いたします。"),
        QStringLiteral("１２月２９日（火）から１月３日（日）まで休業いたします。"),
        QStringLiteral("ﾔﾏﾀﾞ ﾀﾛｳ"),
        QStringLiteral("ｶﾌﾞｼｷｶﾞｲｼｬ ｽｽﾞｷｼｮｳｼﾞ"),
        QStringLiteral("ﾃｽ ﾄｳ"),
        QStringLiteral("山田太郎,yamada@example.jp,東京都千代田区丸の内１－１－１"),
        QStringLiteral("佐藤花子,hanako@example.co.jp,大阪府大阪市北区梅田２丁目"),
        QStringLiteral("①お申し込み ②お支払い ③発送 ㈱ № Ⅲ"),
        QStringLiteral("新商品「春のブレンド茶」を発売いたしました。"),
        QStringLiteral("ご不明な点がございましたら、お気軽にお問い合わせください。"),
        QStringLiteral("価格：1,980円（税込）　送料無料"),
        QStringLiteral("ｱｲｳｴｵ ｶｷｸｹｺ ｻｼｽｾｿ"),
        QStringLiteral("今後ともよろしくお願い申し上げます。"),
        QStringLiteral("会議室Ａにて１０時より打ち合わせ"),
        QStringLiteral("ﾃﾞｰﾀ ｿｳｼﾝ ｶﾝﾘｮｳ"),
        QStringLiteral("北海道札幌市中央区北一条西２丁目"),
        QStringLiteral("漢字、ひらがな、カタカナ、ｶﾀｶﾅ、English"),
        QStringLiteral("敬具"),
        QStringLiteral("髙橋様、﨑山様、德永様"),
        QStringLiteral("ﾎﾟｲﾝﾄ ｶｰﾄﾞ ｷｬﾝﾍﾟｰﾝ"),
    };
    QTemporaryDir tmp;
    QRandomGenerator random(29);
    int right = 0, wrong = 0;
    QStringList wrongFiles;
    for (int i = 0; i < 200; ++i) {
        QString text;
        const int lines = 1 + random.bounded(6);
        for (int l = 0; l < lines; ++l)
            text += texts.at(random.bounded(texts.size())) + QStringLiteral("\r\n");
        // Half CP932 (no mark in it), a quarter UTF-8 with a mark, a quarter without.
        const int kind = i % 4;
        const TextEncoding expected = kind < 2    ? TextEncoding::Cp932
                                      : kind == 2 ? TextEncoding::Utf8WithBom
                                                  : TextEncoding::Utf8;
        const QByteArray bytes = kind < 2    ? sjis(text)
                                 : kind == 2 ? QByteArray("\xEF\xBB\xBF") + text.toUtf8()
                                             : text.toUtf8();
        const QString path = tmp.filePath(QStringLiteral("%1.txt").arg(i));
        writeBytes(path, bytes);
        TextEncoding found{};
        const std::optional<QString> read = readTextFile(path, nullptr, &found);
        TextFileStream stream;
        QString streamed, piece;
        if (stream.open(path))
            while (stream.next(&piece))
                streamed += piece;
        if (read && *read == text && found == expected && streamed == text && stream.encoding() == expected) {
            ++right;
        } else {
            ++wrong;
            if (wrongFiles.size() < 5)
                wrongFiles << QString::fromLatin1(bytes.left(40).toHex(' '));
        }
    }
    qInfo("200 generated files: %d right, %d wrong %s", right, wrong,
          qPrintable(wrongFiles.join(QLatin1String(" | "))));
    QCOMPARE(QPair(right, wrong), QPair(200, 0));
}

void TestCommon::cp932InvalidBytesAreAnError()
{
    QString err;
    // 0x81 0x20 is a lead byte without a valid trail byte; 0xA0 is unused.
    QVERIFY(!decodeCp932(QByteArray("ab\x81\x20", 4), &err));
    QVERIFY(err.contains(QStringLiteral("offset 2")));
    QVERIFY(!decodeCp932(QByteArray("\xa0", 1)));
    // A lead byte cut off at the end of the file.
    QVERIFY(!decodeCp932(QByteArray("abc\x93", 4)));
    QTemporaryDir tmp;
    writeBytes(tmp.filePath(QStringLiteral("bad.txt")), QByteArray("\x93\xfa\xff\xff", 4));
    QVERIFY(!readCp932File(tmp.filePath(QStringLiteral("bad.txt"))));
    QVERIFY(!readCp932File(tmp.filePath(QStringLiteral("missing.txt"))));
}

void TestCommon::cp932UnrepresentableBecomesQuestionMark()
{
    bool lossless = true;
    const QByteArray b = encodeCp932(QStringLiteral("a😀b한"), &lossless);
    QVERIFY(!lossless);
    QCOMPARE(b, QByteArray("a?b?"));
    QVERIFY(encodeCp932(QStringLiteral("漢字"), &lossless).size() == 4 && lossless);
}

void TestCommon::lineEnds()
{
    QCOMPARE(toCrLf(QStringLiteral("a\nb\r\nc\rd")), QStringLiteral("a\r\nb\r\nc\r\nd"));
    QCOMPARE(toLf(QStringLiteral("a\r\nb\rc")), QStringLiteral("a\nb\nc"));
}

void TestCommon::narrowingMatchesTheLocaleMapping()
{
    QCOMPARE(narrowWidth(QStringLiteral("ＴＡＲＯ＠ＥＸＡＭＰＬＥ．ＪＰ")), QStringLiteral("TARO@EXAMPLE.JP"));
    QCOMPARE(narrowLower(QStringLiteral("ＴＡＲＯ＠ＥＸＡＭＰＬＥ．ＪＰ")), QStringLiteral("taro@example.jp"));
    QCOMPARE(narrowWidth(QStringLiteral("！～")), QStringLiteral("!~"));
    QCOMPARE(narrowWidth(QStringLiteral("a　b")), QStringLiteral("a b"));
    QCOMPARE(narrowWidth(QStringLiteral("ガギグパピプヴ")), QStringLiteral("ｶﾞｷﾞｸﾞﾊﾟﾋﾟﾌﾟｳﾞ"));
    QCOMPARE(narrowWidth(QStringLiteral("コーヒー。「ア」、・")), QStringLiteral("ｺｰﾋｰ｡｢ｱ｣､･"));
    // Kanji and hiragana have no half-width form.
    QCOMPARE(narrowWidth(QStringLiteral("山田ひろし")), QStringLiteral("山田ひろし"));
    QCOMPARE(narrowLower(QStringLiteral("Ａbc@Ｘ.JP")), QStringLiteral("abc@x.jp"));
}

void TestCommon::narrowingKatakanaAgreesWithIcu()
{
    // ICU's Fullwidth-Halfwidth transliterator is the reference for every
    // full-width form and katakana the table covers.
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> t(
        icu::Transliterator::createInstance("Fullwidth-Halfwidth", UTRANS_FORWARD, status));
    QVERIFY(U_SUCCESS(status));
    int compared = 0;
    auto check = [&](char16_t c) {
        icu::UnicodeString s(c);
        t->transliterate(s);
        const QString expected = QString::fromUtf16(reinterpret_cast<const char16_t *>(s.getBuffer()), s.length());
        const QString ours = narrowWidth(QString(QChar(c)));
        QVERIFY2(ours == expected,
                 qPrintable(
                     QStringLiteral("U+%1: %2 vs ICU %3").arg(int(c), 4, 16, QLatin1Char('0')).arg(ours, expected)));
        ++compared;
    };
    for (char16_t c = 0xFF01; c <= 0xFF5E; ++c)
        check(c);
    for (char16_t c = 0x30A1; c <= 0x30F6; ++c)
        check(c);
    check(0x30FC);
    check(0x3002);
    QVERIFY(compared > 180);
}

void TestCommon::fieldReader_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("fields");
    QTest::addColumn<QStringList>("records"); // fields joined by '|'

    QTest::newRow("plain") << "a,b,c\r\nd,e,f\r\n" << 3 << QStringList{"a|b|c", "d|e|f"};
    QTest::newRow("no final line end") << "a,b,c" << 3 << QStringList{"a|b|c"};
    QTest::newRow("quoted comma") << "\"Yamada, Taro\",x,y@z\r\n" << 3 << QStringList{"Yamada, Taro|x|y@z"};
    QTest::newRow("empty fields") << "a,,c\r\n" << 3 << QStringList{"a||c"};
    QTest::newRow("leading blanks skipped") << "  a, b,  c\r\n" << 3 << QStringList{"a|b|c"};
    QTest::newRow("short line shifts") << "a,b\r\nc,d,e\r\nf\r\n" << 3 << QStringList{"a|b|c", "d|e|f"};
    QTest::newRow("long line shifts") << "a,b,c,d\r\ne,f\r\n" << 3 << QStringList{"a|b|c", "d|e|f"};
    QTest::newRow("empty line is one field") << "a,b\r\n\r\n" << 3 << QStringList{"a|b|"};
    QTest::newRow("LF and CR line ends") << "a,b,c\nd,e,f\rg,h,i" << 3 << QStringList{"a|b|c", "d|e|f", "g|h|i"};
    QTest::newRow("text after closing quote dropped") << "\"a\"x,b,c\r\n" << 3 << QStringList{"a|b|c"};
    QTest::newRow("line end inside quotes") << "\"a\r\nb\",c,d\r\n" << 3 << QStringList{"a\r\nb|c|d"};
    QTest::newRow("tab inside a value") << "a\tb,c,d\r\n" << 3 << QStringList{"a\tb|c|d"};
    QTest::newRow("five per record") << "N,F,S,Subj,2005/04/01 9:05:07\r\n"
                                     << 5 << QStringList{"N|F|S|Subj|2005/04/01 9:05:07"};
}

void TestCommon::fieldReader()
{
    QFETCH(QString, input);
    QFETCH(int, fields);
    QFETCH(QStringList, records);
    // Whole, and fed in pieces of every small size: a piece may end inside
    // a quoted field, between CR and LF, or among the blanks before a field.
    for (int piece = 0; piece <= 4; ++piece) {
        qsizetype at = 0;
        FieldReader r = piece == 0 ? FieldReader(input) : FieldReader([&](QString *more) {
            if (at >= input.size())
                return false;
            *more = input.mid(at, piece);
            at += piece;
            return true;
        });
        QStringList got;
        QStringList rec;
        while (!r.atEnd()) {
            QString err;
            QVERIFY2(r.readRecord(fields, rec, &err), qPrintable(err));
            got << rec.join(QLatin1Char('|'));
        }
        QCOMPARE(got, records);
    }
}

void TestCommon::cp932DecodingMatchesTheConverter()
{
    // Every one- and two-byte sequence, against the system's converter.
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    QVERIFY(cd != reinterpret_cast<iconv_t>(-1));
    auto converter = [cd](const QByteArray &in) -> std::optional<QString> {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char out[16];
        char *inPtr = const_cast<char *>(in.constData());
        size_t inLeft = size_t(in.size()), outLeft = sizeof out;
        char *outPtr = out;
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1) || inLeft != 0)
            return std::nullopt;
        return QString(reinterpret_cast<const QChar *>(out), qsizetype(sizeof out - outLeft) / 2);
    };
    int differ = 0;
    for (int code = 0; code < 0x10000; ++code) {
        QByteArray bytes;
        if (code >= 0x100)
            bytes += char(code >> 8);
        bytes += char(code & 0xff);
        if (code >= 0x100 && static_cast<unsigned char>(bytes[0]) < 0x80)
            continue; // two plain characters, covered by the one-byte codes
        if (decodeCp932(bytes) != converter(bytes) && ++differ <= 5)
            qWarning("0x%04x differs", code);
    }
    iconv_close(cd);
    QCOMPARE(differ, 0);
}

void TestCommon::recipientRowsShareUntilChanged()
{
    // Enough rows for the buffers to move to large pages while growing.
    RecipientRows rows;
    const QString name = QStringLiteral("株式会社ミライ😀");
    for (int i = 0; i < 200000; ++i)
        QVERIFY(rows.append(name, QString(), QStringLiteral("user%1@example.jp").arg(i)));
    QCOMPARE(rows.size(), 200000);
    QCOMPARE(rows.at(123456), (RecipientFields{name, QString(), QStringLiteral("user123456@example.jp")}));

    RecipientRows copy = rows;
    QVERIFY(copy.appendUtf8("a", "b", "c@x"));
    QCOMPARE(rows.size(), 200000);
    QCOMPARE(copy.size(), 200001);
    QCOMPARE(copy.at(199999), rows.at(199999));
    QCOMPARE(copy.at(200000), (RecipientFields{"a", "b", "c@x"}));
}

void TestCommon::fieldReaderEndOfFileInsideRecord()
{
    FieldReader r(QStringLiteral("a,b,c\r\nd,e\r\n"));
    QStringList rec;
    QVERIFY(r.readRecord(3, rec));
    QString err;
    QVERIFY(!r.atEnd());
    QVERIFY(!r.readRecord(3, rec, &err));
    QCOMPARE(rec, (QStringList{"d", "e"}));
    QVERIFY(!err.isEmpty());
}

void TestCommon::fullDiskIsNamedAsSuch()
{
    // Every write to /dev/full fails as on a full disk.
    QFile full(QStringLiteral("/dev/full"));
    QVERIFY(full.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    QString error;
    QVERIFY(!writeFully(full, QByteArray(10000, 'x'), &error));
    QCOMPARE(error, QStringLiteral("ディスクの空きがありません（/dev/full）"));
}

void TestCommon::settingsKeepTheirStoredNames_data()
{
    // The stored names and defaults are the file format: written out here
    // once, so a change to the table shows up as a failure.
    QTest::addColumn<Setting>("setting");
    QTest::addColumn<int>("profile");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("fallback");
    auto row = [](const char *name, Setting s, int profile, const char *key, const char *fallback) {
        QTest::newRow(name) << s << profile << QString::fromLatin1(key) << QString::fromLatin1(fallback);
    };
    row("account", Setting::Account, 0, "Account", "0");
    row("main left", Setting::MainLeft, 0, "MainLeft", "0");
    row("main top", Setting::MainTop, 0, "MainTop", "0");
    row("main state", Setting::MainWindowState, 3, "frmMainWindow", "0");
    row("name block", Setting::NameAttention, 0, "checkATTN1", "1");
    row("honorific", Setting::HonorificAttention, 0, "checkATTN2", "0");
    row("dialog left", Setting::DialogLeft, 0, "DialogLeft", "0");
    row("dialog top", Setting::DialogTop, 0, "DialogTop", "0");
    row("database", Setting::DatabaseFile, 0, "MDBFileName", "");
    row("log state", Setting::LogWindowState, 0, "frmLogWindow", "0");
    row("preview left", Setting::PreviewLeft, 0, "PreviewLeft", "");
    row("preview top", Setting::PreviewTop, 0, "PreviewTop", "");
    row("server 0", Setting::Server, 0, "szServer", "****.example.ne.jp");
    row("server 4", Setting::Server, 4, "szServer4", "****.example.ne.jp");
    row("from 1", Setting::From, 1, "szFrom1", "myname@example.ne.jp");
    row("signature 2", Setting::Signature, 2, "Signature2", "");
    row("header 3", Setting::BodyHeader, 3, "BodyHeader3", "");
    row("from name", Setting::FromName, 0, "szFromName", "Myname");
    row("auth", Setting::SmtpAuth, 1, "Check1V1", "1");
    row("pop", Setting::PopBeforeSmtp, 0, "Check2V", "0");
    row("user", Setting::User, 2, "User2", "myname");
    row("password", Setting::Password, 3, "UserPass3", "");
    row("port", Setting::Port, 4, "szPort4", "25");
    row("clear text", Setting::ClearTextPassword, 1, "Check3V1", "0");
    row("pace", Setting::MaxPerMinute, 2, "MaxPerMinute2", "0");
    row("SMTP security", Setting::SmtpSecurity, 1, "SmtpSecurity1", "0");
    row("POP3 port", Setting::Pop3Port, 0, "Pop3Port", "110");
    row("POP3 security", Setting::Pop3Security, 4, "Pop3Security4", "0");
    row("certificate file", Setting::CaFile, 2, "CaFile2", "");
    row("trusted keys", Setting::PinnedKeys, 3, "PinnedKeys3", "");
    row("size limit", Setting::SmtpSizeLimit, 1, "SmtpSizeLimit1", "0");
}

void TestCommon::settingsKeepTheirStoredNames()
{
    QFETCH(Setting, setting);
    QFETCH(int, profile);
    QFETCH(QString, key);
    QFETCH(QString, fallback);
    QCOMPARE(settingKey(setting, profile), key);
    QTemporaryDir tmp;
    SettingsStore store(tmp.filePath(QStringLiteral("s.ini")));
    QCOMPARE(store.value(setting, profile), fallback);
    store.setValue(setting, QStringLiteral("7"), profile);
    QCOMPARE(store.value(key), QStringLiteral("7"));
    if (settingSpec(setting).perProfile)
        QVERIFY(!store.contains(setting, profile == 0 ? 1 : 0)); // each profile its own key
}

void TestCommon::settingsFileIsPrivateAndNumbersAreChecked()
{
    QTemporaryDir tmp;
    const QString ini = tmp.filePath(QStringLiteral("conf/Quillpost.conf"));
    {
        SettingsStore s(ini);
        s.setValue(QStringLiteral("UserPass"), QStringLiteral("秘密"));
        s.sync();
        QCOMPARE(s.value(QStringLiteral("UserPass")), QStringLiteral("秘密"));
        QCOMPARE(s.value(QStringLiteral("Missing"), QStringLiteral("dflt")), QStringLiteral("dflt"));
    }
    QCOMPARE(QFile::permissions(ini)
                 & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup
                    | QFileDevice::WriteOther),
             QFileDevice::Permissions());
    QVERIFY(QFile::permissions(ini) & QFileDevice::ReadOwner);
    SettingsStore again(ini);
    QCOMPARE(again.value(QStringLiteral("UserPass")), QStringLiteral("秘密"));

    QCOMPARE(settingToInt16(QStringLiteral("3")), std::optional<qint16>(3));
    QCOMPARE(settingToInt16(QStringLiteral(" 2 ")), std::optional<qint16>(2));
    QVERIFY(!settingToInt16(QStringLiteral("abc")));
    QVERIFY(!settingToInt16(QStringLiteral("70000")));
    QVERIFY(!settingToInt16(QString()));
    QCOMPARE(settingToSingle(QStringLiteral("1234.5")), std::optional<double>(1234.5));
}

QTEST_MAIN(TestCommon)
#include "tst_common.moc"
