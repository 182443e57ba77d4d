#include "account.h"
#include "dryrun.h"
#include "frmmail.h"
#include "frmpreview.h"
#include "mailservers.h"
#include "sendlist.h"
#include "testutil.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

namespace {

// A message without the two headers that differ from one build to the next.
QByteArray withoutDateAndId(const QByteArray &message)
{
    QByteArrayList kept;
    for (const QByteArray &line : message.split('\n'))
        if (!line.startsWith("Date: ") && !line.startsWith("Message-ID: "))
            kept << line;
    return kept.join('\n');
}

} // namespace

// The preview window, the test message, and the bytes they and the dry run
// show against what a real server receives.
class TestPreview : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { ActiveAccount = AccountRecord(); }
    void previewShowsWhatEachEntryReceives();
    void emptyListHasNothingToPreview();
};

void TestPreview::previewShowsWhatEachEntryReceives()
{
    SmtpTestServer smtp;
    QVERIFY2(smtp.start(), qPrintable(smtp.error()));
    TestWorld w;
    frmMail f(w.ctx);
    f.AccountUnset = false;
    ActiveAccount.szServer = QStringLiteral("127.0.0.1");
    ActiveAccount.szPort = QString::number(smtp.port());
    ActiveAccount.szFrom = QStringLiteral("shop@example.jp");
    ActiveAccount.szFromName = QStringLiteral("山田商店");
    ActiveAccount.NotAdvertising = true;
    const QString price = w.path(QStringLiteral("価格表①.pdf"));
    writeBytes(price, QByteArray(3000, 'p'));
    f.txtFile->setText(price);
    f.txtSubject->setText(QStringLiteral("春のご案内"));
    f.setBodyText(QStringLiteral("いつもお世話になっております。"));
    f.Check1->setChecked(true);
    f.Check2->setChecked(false);
    w.sendList.append(QStringLiteral("株式会社ミナト"), QStringLiteral("佐藤花子"), QStringLiteral("sato@example.jp"));
    w.sendList.append(QStringLiteral("鈴木一郎"), QString(), QStringLiteral("suzuki@example.jp"));
    w.sendList.append(QString(), QString(), QStringLiteral("noname@example.jp"));
    w.settings->setValue(QStringLiteral("PreviewLeft"), QStringLiteral("1500"));
    w.settings->setValue(QStringLiteral("PreviewTop"), QStringLiteral("900"));

    QByteArray previewed;
    w.platform.answerModal(QStringLiteral("frmPreview"), [&](QWidget *window) {
        auto *p = static_cast<frmPreview *>(window);
        QCOMPARE(p->pos(), QPoint(100, 60));
        QCOMPARE(p->lblCount->text(), QStringLiteral("1 / 3"));
        QCOMPARE(p->txtFrom->text(), QStringLiteral("山田商店 <shop@example.jp>"));
        QCOMPARE(p->txtTo->text(), QStringLiteral("<sato@example.jp>"));
        QCOMPARE(p->txtSubject->text(), QStringLiteral("春のご案内"));
        QCOMPARE(p->txtBody->toPlainText(),
                 QStringLiteral("株式会社ミナト\n佐藤花子　様\nいつもお世話になっております。\n"));
        QCOMPARE(p->lstAttachments->item(0)->text(), QStringLiteral("価格表①.pdf（3,000 バイト）"));
        QCOMPARE(p->lblCharset->text(), QStringLiteral("文字コード: UTF-8"));
        QVERIFY(!p->cmdPrev->isEnabled());
        QApplication::setActiveWindow(p);
        QVERIFY(QTest::qWaitForWindowActive(p));
        QTest::keyClick(p->txtBody, Qt::Key_Right);
        QCOMPARE(p->lblCount->text(), QStringLiteral("2 / 3"));
        QCOMPARE(p->txtTo->text(), QStringLiteral("<suzuki@example.jp>"));
        previewed = p->message();
        QVERIFY(p->lblSize->text().contains(QLocale(QLocale::Japanese).toString(previewed.size())));
        // An entry without a name still previews.
        p->spnEntry->setValue(3);
        QCOMPARE(p->txtBody->toPlainText(), QStringLiteral("　様\nいつもお世話になっております。\n"));
        QVERIFY(!p->cmdNext->isEnabled());
        p->cmdPrev->click();
        // The shown entry's message to the sender's own address.
        p->cmdTest->click();
        p->cmdClose->click();
    });
    f.tbToolBar_ButtonClick(QStringLiteral("プレビュー"));
    VERIFY_PLATFORM(w.platform);
    QCOMPARE(w.platform.messageTexts().last(), QStringLiteral("テストメールを shop@example.jp に送信しました。"));
    QCOMPARE(w.settings->value(QStringLiteral("PreviewLeft")), QStringLiteral("1500"));
    QList<ReceivedMail> got = smtp.messages();
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].envelopeTo, QStringList{QStringLiteral("shop@example.jp")});
    QCOMPARE(got[0].subject, QStringLiteral("[テスト] 春のご案内"));
    QVERIFY(got[0].text.startsWith(QStringLiteral("鈴木一郎　様\r\n")));
    QCOMPARE(w.sendList.count(), 3);
    QVERIFY(!QFile::exists(w.path(QStringLiteral("SendMail.Log"))));

    // The dry run's bytes for entry 2 are the preview's, and the server's.
    QString dryError;
    SendRunEnvironment env;
    env.now = [&] { return w.platform.now(); };
    env.makeTransport = [&](const TransportSettings &) {
        return std::make_unique<DryRunTransport>(w.path(QStringLiteral("dry")), &dryError);
    };
    QVERIFY(DryRunTransport::prepareFolder(w.path(QStringLiteral("dry")), &dryError));
    struct Source : SendRunSource {
        frmMail &f;
        explicit Source(frmMail &w) : f(w) {}
        QString subject() override { return f.txtSubject->text(); }
        QString bodyText() override { return f.bodyText(); }
        QString attachmentText() override { return f.txtFile->text(); }
        bool nameBlockOn() override { return true; }
        bool honorificOn() override { return true; }
        void setProgressMaximum(qsizetype) override {}
        void setProgress(qsizetype) override {}
    } source(f);
    SendList copy;
    for (qsizetype i = 0; i < w.sendList.count(); ++i)
        copy.append(w.sendList.entry(i).name1, w.sendList.entry(i).name2, w.sendList.entry(i).address);
    QCOMPARE(runSend(ActiveAccount, copy, source, env).accepted, 3);
    QVERIFY2(dryError.isEmpty(), qPrintable(dryError));
    const QByteArray dry = readBytes(w.path(QStringLiteral("dry/00002.eml")));
    QCOMPARE(readBytes(w.path(QStringLiteral("dry/envelope.csv"))),
             QByteArray("1,shop@example.jp,sato@example.jp\r\n2,shop@example.jp,suzuki@example.jp\r\n"
                        "3,shop@example.jp,noname@example.jp\r\n"));

    w.platform.answerModal(QStringLiteral("frmLog"));
    f.Command1_Click();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isRunning(), 60000);
    got = smtp.messages();
    QCOMPARE(got.size(), 4);
    QCOMPARE(withoutDateAndId(got[2].raw), withoutDateAndId(previewed));
    QCOMPARE(withoutDateAndId(dry), withoutDateAndId(previewed));
    QVERIFY(previewed.contains("Date: ") && previewed.contains("Message-ID: "));
}

void TestPreview::emptyListHasNothingToPreview()
{
    TestWorld w;
    frmMail f(w.ctx);
    f.mnuFilePreview->trigger();
    QCOMPARE(w.platform.messageTexts(), QStringList{QStringLiteral("送信する宛先が入力されていません。")});
    QVERIFY(w.platform.callsOf(QStringLiteral("modal")).isEmpty());
}

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"
