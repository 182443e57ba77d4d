#include "account.h"
#include "charsetfield.h"
#include "frmcertificate.h"
#include "frmconnectiontest.h"
#include "frmoptions.h"
#include "frmtipa.h"
#include "mailservers.h"
#include "sendwindowfield.h"
#include "settingsstore.h"
#include "testutil.h"
#include "unsubscribepanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QtTest>

namespace {
const QString kServerUnset = QStringLiteral("送信メールサーバー（SMTP）が設定されていません。");
const QString kNameUnset = QStringLiteral("送信者名が設定されていません。");
const QString kFromUnset = QStringLiteral("送信元　メールアドレスが設定されていません。");
const QString kFromInvalid = QStringLiteral("送信元　メールアドレスが不正です。");
const QString kAccountUnset = QStringLiteral("アカウントが設定されていません。");
const QString kPasswordUnset = QStringLiteral("パスワードが設定されていません。");
const QString kPortUnsetOk = QStringLiteral("送信メールサーバー（SMTP）ポート番号が設定されていません。");
const QString kPortUnsetApply = QStringLiteral("（SMTP）ポート番号が設定されていません。");

void storeProfile(SettingsStore &s, int n, const QString &server, const QString &from, const QString &name)
{
    s.setValue(Setting::Server, server, n);
    s.setValue(Setting::From, from, n);
    s.setValue(Setting::FromName, name, n);
    s.setValue(Setting::User, QStringLiteral("user%1").arg(n), n);
    s.setValue(Setting::Password, QStringLiteral("pw%1").arg(n), n);
    s.setValue(Setting::Port, QStringLiteral("587"), n);
    s.setValue(Setting::SmtpAuth, QStringLiteral("1"), n);
    s.setValue(Setting::PopBeforeSmtp, QStringLiteral("0"), n);
    s.sync();
}

// A complete, valid set of fields.
void fillValid(frmOptions &d)
{
    d.Text1->setText(QStringLiteral("smtp.example.jp"));
    d.Text2->setText(QStringLiteral("taro@example.jp"));
    d.Text5->setText(QStringLiteral("山田太郎"));
    d.Text6->setText(QStringLiteral("taro"));
    d.Text7->setText(QStringLiteral("secret"));
    d.Text8->setText(QStringLiteral("25"));
    d.Check1->setChecked(true);
    d.Check2->setChecked(false);
}

QStringList informationTexts(const FakePlatform &p)
{
    QStringList out;
    for (const PlatformCall &c : p.callsOf(QStringLiteral("message"))) {
        if (c.title == QStringLiteral("Information") && c.icon == MsgIcon::Information && c.buttons == MsgButtons::Ok)
            out << c.text;
        else
            out << QStringLiteral("[wrong form] ") + c.text;
    }
    return out;
}

void choose(frmOptions &d, int index)
{
    // As a click on an entry: the current item changes, then activated fires.
    d.Combo1->setCurrentIndex(index);
    emit d.Combo1->activated(index);
}
} // namespace

class TestFrmOptions : public QObject {
    Q_OBJECT
private slots:
    void init() { ActiveAccount = AccountRecord(); }
    void controlsShowTheAccountInUse();
    void okOnFirstRunDefaultsEmptiesThePlaceholders();
    void eachFaultGivesOnlyItsMessage();
    void checksRunInOrderOneMessageAtATime();
    void fullWidthAddressIsNarrowedAndLowered();
    void loginFieldsOnlyMatterWithACheckBox();
    void portMessageDiffersBetweenOkAndApply();
    void choosingAProfileThenCancelWritesNothing();
    void switchingProfilesDropsUnsavedEdits();
    void applyThenCancelKeepsWhatApplySaved();
    void trimmingOfTheFourFieldsOnly();
    void charsetChoiceIsSavedAndShown();
    void unsubscribeSettingsAreSavedAndThePageMustBeHttps();
    void escapeAndFrameCloseAreCancel();
    void helpOpensThePageWithTheBusyPointer();
    void adviceIconShowsTheTipWindow();
    void connectionTestAsksAboutTheCertificateAndTriesAgain_data();
    void connectionTestAsksAboutTheCertificateAndTriesAgain();
};

void TestFrmOptions::controlsShowTheAccountInUse()
{
    TestWorld w;
    AccountRecord &a = ActiveAccount;
    a.szServer = QStringLiteral("smtp.example.jp");
    a.szFrom = QStringLiteral("a@example.jp");
    a.Signature = QStringLiteral("--\r\n山田");
    a.BodyHeader = QStringLiteral("お知らせ");
    a.szFromName = QStringLiteral("山田");
    a.User = QStringLiteral("yamada");
    a.UserPass = QStringLiteral("abcd");
    a.szPort = QStringLiteral("587");
    a.Check1V = 0;
    a.Check2V = 1;
    a.Account = 3;
    a.SmtpSecurity = ConnectionSecurity::StartTls;
    a.Pop3Port = QStringLiteral("995");
    a.Pop3Security = ConnectionSecurity::Tls;
    a.CaFile = QStringLiteral("/etc/company-ca.pem");
    a.PinnedKeys = QStringLiteral("sha256//a;sha256//b");
    frmOptions d(w.ctx);
    QCOMPARE(d.Combo2->currentText(), QStringLiteral("STARTTLS"));
    QCOMPARE(d.Text10->text(), a.Pop3Port);
    QCOMPARE(d.Combo3->currentText(), QStringLiteral("SSL/TLS"));
    QCOMPARE(d.Text11->text(), a.CaFile);
    QCOMPARE(d.lblPinned->text(), QStringLiteral("このアカウントで信頼した証明書: 2 件"));
    for (QComboBox *c : {d.Combo2, d.Combo3})
        QCOMPARE((QStringList{c->itemText(0), c->itemText(1), c->itemText(2)}),
                 (QStringList{QStringLiteral("自動"), QStringLiteral("STARTTLS"), QStringLiteral("SSL/TLS")}));
    QCOMPARE(d.Text1->text(), a.szServer);
    QCOMPARE(d.Text2->text(), a.szFrom);
    QCOMPARE(d.Text3->toPlainText(), QStringLiteral("--\n山田"));
    QCOMPARE(d.Text4->toPlainText(), a.BodyHeader);
    QCOMPARE(d.Text5->text(), a.szFromName);
    QCOMPARE(d.Text6->text(), a.User);
    QCOMPARE(d.Text7->text(), a.UserPass);
    QCOMPARE(d.Text7->displayText(), QStringLiteral("****"));
    QCOMPARE(d.Text8->text(), a.szPort);
    QVERIFY(!d.Check1->isChecked());
    QVERIFY(d.Check2->isChecked());

    const QStringList entries = {QStringLiteral("アカウント(規定）"), QStringLiteral("サブ　アカウント１"),
                                 QStringLiteral("サブ　アカウント２"), QStringLiteral("サブ　アカウント３"),
                                 QStringLiteral("サブ　アカウント４")};
    QCOMPARE(d.Combo1->count(), 5);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(d.Combo1->itemText(i), entries[i]);
    QCOMPARE(d.Combo1->currentText(), QStringLiteral("サブ　アカウント３"));
    QVERIFY(!d.Combo1->isEditable());

    QCOMPARE(d.Label3->buddy(), d.Text1);
    QCOMPARE(d.Label9->buddy(), d.Text8);
    QCOMPARE(d.Label6->buddy(), d.Combo1);
    // No default button: Enter in a field never saves.
    for (QPushButton *b : {d.cmdOK, d.cmdCancel, d.cmdApply, d.Command1})
        QVERIFY2(!b->isDefault() && !b->autoDefault(), qPrintable(b->objectName()));

    // A stored number outside 0..4 leaves the chooser empty.
    ActiveAccount.Account = 9;
    frmOptions none(w.ctx);
    QCOMPARE(none.Combo1->currentIndex(), -1);
    QCOMPARE(none.Combo1->currentText(), QString());
    QVERIFY(w.platform.calls.isEmpty());
}

void TestFrmOptions::okOnFirstRunDefaultsEmptiesThePlaceholders()
{
    TestWorld w;
    LoadActiveAccount(*w.settings);
    frmOptions d(w.ctx);
    QVERIFY(d.Text1->text().startsWith(QStringLiteral("****")));
    QCOMPARE(d.Text5->text(), QStringLiteral("Myname"));
    d.show();
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    QCOMPARE(informationTexts(w.platform), QStringList{kServerUnset});
    QCOMPARE(d.Text1->text(), QString());
    QCOMPARE(d.Text5->text(), QString());
    QCOMPARE(d.Text2->text(), QString());
    QCOMPARE(d.Text6->text(), QString());
    QCOMPARE(d.Text8->text(), QStringLiteral("25"));
    QVERIFY(d.isVisible());
    QVERIFY(!w.settings->contains(QStringLiteral("Account")));
    QVERIFY(!w.settings->contains(QStringLiteral("szServer")));
    VERIFY_PLATFORM(w.platform);
}

void TestFrmOptions::eachFaultGivesOnlyItsMessage()
{
    using Field = QLineEdit *frmOptions::*;
    struct Case {
        const char *what;
        QList<QPair<Field, QString>> typed;
        int boxes; // 1 SMTP AUTH, 2 POP before SMTP
        QString message;
    };
    const Case cases[] = {
        {"placeholder name", {{&frmOptions::Text5, QStringLiteral("Myname Taro")}}, 1, kNameUnset},
        {"placeholder address", {{&frmOptions::Text2, QStringLiteral("myname@example.jp")}}, 1, kFromUnset},
        // Blanks alone would be saved as an empty value.
        {"blank server", {{&frmOptions::Text1, QStringLiteral("   ")}}, 1, kServerUnset},
        {"blank name", {{&frmOptions::Text5, QStringLiteral("  ")}}, 1, kNameUnset},
        {"blank account", {{&frmOptions::Text6, QStringLiteral(" ")}}, 1, kAccountUnset},
        {"no login, SMTP AUTH", {{&frmOptions::Text6, QString()}, {&frmOptions::Text7, QString()}}, 1, kAccountUnset},
        {"no login, POP", {{&frmOptions::Text6, QString()}, {&frmOptions::Text7, QString()}}, 2, kAccountUnset},
        {"no password", {{&frmOptions::Text7, QString()}}, 3, kPasswordUnset},
    };
    TestWorld w;
    for (const Case &c : cases) {
        w.platform.reset();
        frmOptions d(w.ctx);
        fillValid(d);
        for (const auto &[field, text] : c.typed)
            (d.*field)->setText(text);
        d.Check1->setChecked(c.boxes & 1);
        d.Check2->setChecked(c.boxes & 2);
        d.cmdOK_Click();
        QVERIFY2(informationTexts(w.platform) == QStringList{c.message}, c.what);
        QVERIFY2(d.result() == QDialog::Rejected, c.what);
    }
    QVERIFY(!w.settings->contains(QStringLiteral("Account")));

    // Only the exact placeholder case is cleared from the sender name; as an
    // account name "myname..." is always a placeholder.
    w.platform.reset();
    frmOptions d(w.ctx);
    fillValid(d);
    d.Text5->setText(QStringLiteral("myname Taro"));
    d.Text6->setText(QStringLiteral("mynameX"));
    d.Check1->setChecked(false);
    d.cmdApply_Click();
    QVERIFY(w.platform.calls.isEmpty());
    QCOMPARE(d.Text5->text(), QStringLiteral("myname Taro"));
    QCOMPARE(d.Text6->text(), QString());
    QCOMPARE(w.settings->value(QStringLiteral("szFromName")), QStringLiteral("myname Taro"));
    QCOMPARE(w.settings->value(QStringLiteral("User"), QStringLiteral("missing")), QString());
}

void TestFrmOptions::checksRunInOrderOneMessageAtATime()
{
    TestWorld w;
    frmOptions d(w.ctx);
    // Everything missing: only the first message.
    d.Text1->clear();
    d.Text2->clear();
    d.Text5->clear();
    d.Text6->clear();
    d.Text7->clear();
    d.Text8->clear();
    d.Check1->setChecked(true);
    QStringList seen;
    auto press = [&] {
        w.platform.reset();
        d.cmdApply_Click();
        const QStringList t = informationTexts(w.platform);
        QCOMPARE(t.size(), 1);
        seen << t.first();
    };
    press();
    d.Text1->setText(QStringLiteral("smtp.example.jp"));
    press();
    d.Text5->setText(QStringLiteral("山田"));
    press();
    d.Text2->setText(QStringLiteral("no-at-sign"));
    press();
    d.Text2->setText(QStringLiteral("a@b.jp"));
    press();
    d.Text6->setText(QStringLiteral("yamada"));
    press();
    d.Text7->setText(QStringLiteral("pw"));
    press();
    QCOMPARE(seen, (QStringList{kServerUnset, kNameUnset, kFromUnset, kFromInvalid, kAccountUnset, kPasswordUnset,
                                kPortUnsetApply}));
    QVERIFY(!w.settings->contains(QStringLiteral("Account")));
    d.Text8->setText(QStringLiteral("25"));
    w.platform.reset();
    d.cmdApply_Click();
    QVERIFY(w.platform.calls.isEmpty());
    QCOMPARE(w.settings->value(QStringLiteral("szServer")), QStringLiteral("smtp.example.jp"));
}

void TestFrmOptions::fullWidthAddressIsNarrowedAndLowered()
{
    TestWorld w;
    frmOptions d(w.ctx);
    fillValid(d);
    d.Text2->setText(QStringLiteral("ＴＡＲＯ．ＹＡＭＡＤＡ＠ＥＸＡＭＰＬＥ．ＣＯ．ＪＰ"));
    d.cmdApply_Click();
    QVERIFY(w.platform.calls.isEmpty());
    QCOMPARE(d.Text2->text(), QStringLiteral("taro.yamada@example.co.jp"));
    QCOMPARE(ActiveAccount.szFrom, QStringLiteral("taro.yamada@example.co.jp"));
    w.reopenSettings();
    QCOMPARE(w.settings->value(QStringLiteral("szFrom")), QStringLiteral("taro.yamada@example.co.jp"));

    // A full-width address without an at sign is narrowed, shown so, and refused.
    d.Text2->setText(QStringLiteral("ＴＡＲＯ．ＥＸＡＭＰＬＥ"));
    d.cmdOK_Click();
    QCOMPARE(informationTexts(w.platform), QStringList{kFromInvalid});
    QCOMPARE(d.Text2->text(), QStringLiteral("taro.example"));
}

void TestFrmOptions::loginFieldsOnlyMatterWithACheckBox()
{
    TestWorld w;
    // Both boxes cleared: empty account and password are saved as empty.
    w.settings->setValue(QStringLiteral("User"), QStringLiteral("old"));
    w.settings->setValue(QStringLiteral("UserPass"), QStringLiteral("old"));
    frmOptions d(w.ctx);
    fillValid(d);
    d.Check1->setChecked(false);
    d.Check2->setChecked(false);
    d.Text6->clear();
    d.Text7->clear();
    d.cmdOK_Click();
    QVERIFY(w.platform.calls.isEmpty());
    QCOMPARE(d.result(), int(QDialog::Accepted));
    w.reopenSettings();
    QCOMPARE(w.settings->value(QStringLiteral("User"), QStringLiteral("x")), QString());
    QCOMPARE(w.settings->value(QStringLiteral("UserPass"), QStringLiteral("x")), QString());
    QCOMPARE(w.settings->value(QStringLiteral("Check1V")), QStringLiteral("0"));
    QCOMPARE(w.settings->value(QStringLiteral("Check2V")), QStringLiteral("0"));
}

void TestFrmOptions::portMessageDiffersBetweenOkAndApply()
{
    TestWorld w;
    frmOptions d(w.ctx);
    fillValid(d);
    d.Text8->clear();
    d.show();
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    QTest::mouseClick(d.cmdApply, Qt::LeftButton);
    QCOMPARE(informationTexts(w.platform), (QStringList{kPortUnsetOk, kPortUnsetApply}));
    QVERIFY(d.isVisible());
    QVERIFY(!w.settings->contains(QStringLiteral("szPort")));

    // A port that is no number from 1 to 65535 is refused by both buttons,
    // with the focus back on the port field; the rules' rows are in the
    // account check's test.
    const QString portRange = QStringLiteral("ポート番号は 1 から 65535 までの数字で入力してください。");
    w.platform.reset();
    d.Text8->setText(QStringLiteral("smtp"));
    for (QPushButton *button : {d.cmdOK, d.cmdApply}) {
        d.Text1->setFocus();
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(d.isVisible());
        QCOMPARE(d.focusWidget(), d.Text8);
    }
    QCOMPARE(informationTexts(w.platform), (QStringList{portRange, portRange}));
    QVERIFY(!w.settings->contains(QStringLiteral("szPort")));

    // Blanks around a port are dropped: the number is saved and shown.
    w.platform.reset();
    d.Text8->setText(QStringLiteral(" 587 "));
    QTest::mouseClick(d.cmdApply, Qt::LeftButton);
    QVERIFY(w.platform.calls.isEmpty());
    QVERIFY(d.isVisible()); // Apply stays open
    QCOMPARE(w.settings->value(QStringLiteral("szPort")), QStringLiteral("587"));
    QCOMPARE(d.Text8->text(), QStringLiteral("587"));
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), int(QDialog::Accepted));
}

void TestFrmOptions::choosingAProfileThenCancelWritesNothing()
{
    TestWorld w;
    storeProfile(*w.settings, 2, QStringLiteral("smtp2.example.jp"), QStringLiteral("b@example.jp"),
                 QStringLiteral("二号"));
    w.settings->setValue(QStringLiteral("Signature2"), QStringLiteral("sig2\r\nline"));
    w.settings->setValue(QStringLiteral("Account"), QStringLiteral("0"));
    w.settings->sync();
    LoadActiveAccount(*w.settings);
    const QByteArray before = readBytes(w.settings->fileName());
    QStringList writes;
    w.settings->setWriteObserver([&](const QString &k, const QString &) { writes << k; });

    frmOptions d(w.ctx);
    d.show();
    choose(d, 2);
    QCOMPARE(ActiveAccount.Account, qint16(2));
    QCOMPARE(ActiveAccount.szServer, QStringLiteral("smtp2.example.jp"));
    QCOMPARE(d.Text1->text(), QStringLiteral("smtp2.example.jp"));
    QCOMPARE(d.Text3->toPlainText(), QStringLiteral("sig2\nline"));
    QCOMPARE(d.Text5->text(), QStringLiteral("二号"));
    QCOMPARE(d.Text7->text(), QStringLiteral("pw2"));
    QVERIFY(d.Check1->isChecked());

    QTest::mouseClick(d.cmdCancel, Qt::LeftButton);
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), int(QDialog::Rejected));
    QVERIFY(writes.isEmpty());
    QCOMPARE(readBytes(w.settings->fileName()), before);
    QCOMPARE(ActiveAccount.Account, qint16(2));
    QCOMPARE(ActiveAccount.szFromName, QStringLiteral("二号"));
    w.reopenSettings();
    QCOMPARE(w.settings->value(QStringLiteral("Account")), QStringLiteral("0"));

    // A later opening shows the profile now in use.
    frmOptions again(w.ctx);
    QCOMPARE(again.Combo1->currentIndex(), 2);
    QCOMPARE(again.Text1->text(), QStringLiteral("smtp2.example.jp"));
}

void TestFrmOptions::switchingProfilesDropsUnsavedEdits()
{
    TestWorld w;
    storeProfile(*w.settings, 0, QStringLiteral("smtp0.example.jp"), QStringLiteral("a@example.jp"),
                 QStringLiteral("零"));
    LoadActiveAccount(*w.settings);
    frmOptions d(w.ctx);
    d.Text1->setText(QStringLiteral("edited.example.jp"));
    d.Text3->setPlainText(QStringLiteral("edited signature"));
    choose(d, 1); // never saved: the defaults
    QVERIFY(d.Text1->text().startsWith(QStringLiteral("****")));
    QCOMPARE(d.Text5->text(), QStringLiteral("Myname"));
    QCOMPARE(d.Text8->text(), QStringLiteral("25"));
    QVERIFY(d.Check1->isChecked());
    QVERIFY(!d.Check2->isChecked());
    QCOMPARE(ActiveAccount.Account, qint16(1));
    choose(d, 0);
    QCOMPARE(d.Text1->text(), QStringLiteral("smtp0.example.jp"));
    QCOMPARE(d.Text3->toPlainText(), QString());
    QCOMPARE(ActiveAccount.Account, qint16(0));

    // A chooser text that names no profile selects profile 0 and loads nothing.
    ActiveAccount.szServer = QStringLiteral("kept.example.jp");
    d.Combo1->setCurrentIndex(-1);
    d.Combo1_Click();
    QCOMPARE(ActiveAccount.Account, qint16(0));
    QCOMPARE(d.Text1->text(), QStringLiteral("kept.example.jp"));
    QVERIFY(w.platform.calls.isEmpty());
}

void TestFrmOptions::applyThenCancelKeepsWhatApplySaved()
{
    TestWorld w;
    LoadActiveAccount(*w.settings);
    frmOptions d(w.ctx);
    d.show();
    choose(d, 3);
    fillValid(d);
    d.Text3->setPlainText(QStringLiteral("--\n山田"));
    d.Check3->setChecked(true);
    d.SendWindow->spnSendWindow->setValue(50);
    // A per-minute limit turns the window off; without one it counts again.
    d.Text9->setValue(60);
    QVERIFY(!d.SendWindow->spnSendWindow->isEnabled());
    d.Text9->setValue(0);
    QVERIFY(d.SendWindow->spnSendWindow->isEnabled());
    QStringList writes;
    w.settings->setWriteObserver([&](const QString &k, const QString &) { writes << k; });
    d.cmdApply_Click();
    QVERIFY(w.platform.calls.isEmpty());
    QCOMPARE(writes, (QStringList{QStringLiteral("Account"),
                                  QStringLiteral("szServer3"),
                                  QStringLiteral("szFrom3"),
                                  QStringLiteral("Signature3"),
                                  QStringLiteral("BodyHeader3"),
                                  QStringLiteral("szFromName3"),
                                  QStringLiteral("Check1V3"),
                                  QStringLiteral("Check2V3"),
                                  QStringLiteral("User3"),
                                  QStringLiteral("UserPass3"),
                                  QStringLiteral("szPort3"),
                                  QStringLiteral("Check3V3"),
                                  QStringLiteral("MaxPerMinute3"),
                                  QStringLiteral("SmtpSecurity3"),
                                  QStringLiteral("Pop3Port3"),
                                  QStringLiteral("Pop3Security3"),
                                  QStringLiteral("CaFile3"),
                                  QStringLiteral("PinnedKeys3"),
                                  QStringLiteral("SmtpSizeLimit3"),
                                  QStringLiteral("AuthMethod3"),
                                  QStringLiteral("OAuthProvider3"),
                                  QStringLiteral("OAuthClientId3"),
                                  QStringLiteral("OAuthClientSecret3"),
                                  QStringLiteral("OAuthTenant3"),
                                  QStringLiteral("OAuthAuthUrl3"),
                                  QStringLiteral("OAuthTokenUrl3"),
                                  QStringLiteral("OAuthDeviceUrl3"),
                                  QStringLiteral("OAuthScope3"),
                                  QStringLiteral("MailCharset3"),
                                  QStringLiteral("SendWindow3"),
                                  QStringLiteral("SmtpConnections3"),
                                  QStringLiteral("Unsubscribe3"),
                                  QStringLiteral("UnsubscribeAddress3"),
                                  QStringLiteral("UnsubscribeUrl3"),
                                  QStringLiteral("UnsubscribeFooter3"),
                                  QStringLiteral("NotAdvertising3")}));
    d.Text1->setText(QStringLiteral("changed.example.jp"));
    const qsizetype applied = writes.size();
    d.cmdCancel_Click();
    QVERIFY(!d.isVisible());
    QCOMPARE(writes.size(), applied); // Cancel writes nothing

    w.reopenSettings();
    QCOMPARE(w.settings->value(QStringLiteral("Account")), QStringLiteral("3"));
    QCOMPARE(w.settings->value(QStringLiteral("szServer3")), QStringLiteral("smtp.example.jp"));
    QCOMPARE(w.settings->value(QStringLiteral("Signature3")), QStringLiteral("--\r\n山田"));
    QCOMPARE(w.settings->value(QStringLiteral("UserPass3")), QStringLiteral("secret"));
    QCOMPARE(w.settings->value(QStringLiteral("Check3V3")), QStringLiteral("1"));
    QCOMPARE(w.settings->value(QStringLiteral("SendWindow3")), QStringLiteral("50"));
    QVERIFY(!w.settings->contains(QStringLiteral("szServer")));
    ActiveAccount = AccountRecord();
    LoadActiveAccount(*w.settings);
    QCOMPARE(ActiveAccount.szServer, QStringLiteral("smtp.example.jp"));
    QVERIFY(!accountNotConfigured(ActiveAccount));
}

void TestFrmOptions::unsubscribeSettingsAreSavedAndThePageMustBeHttps()
{
    TestWorld w;
    LoadActiveAccount(*w.settings);
    {
        frmOptions d(w.ctx);
        d.show();
        choose(d, 3);
        fillValid(d);
        QVERIFY(!d.Unsubscribe->txtUrl->isEnabled());
        d.Unsubscribe->chkUnsubscribe->click();
        QVERIFY(d.Unsubscribe->txtUrl->isEnabled());
        QVERIFY(d.Unsubscribe->txtFooter->toPlainText().contains(QStringLiteral("{配信停止アドレス}")));
        d.Unsubscribe->txtAddress->setText(QStringLiteral("stop@example.jp"));
        d.Unsubscribe->txtFooter->setPlainText(QStringLiteral("山田商店\n{配信停止URL}"));
        d.Unsubscribe->chkNotAdvertising->setChecked(true);
        for (const QString &refused : {QStringLiteral("http://example.jp/stop"), QStringLiteral("example.jp/stop"),
                                       QStringLiteral("https://")}) {
            w.platform.reset();
            d.Unsubscribe->txtUrl->setText(refused);
            d.cmdOK_Click();
            QCOMPARE(informationTexts(w.platform),
                     QStringList{
                         QStringLiteral("配信停止の受付ページのURLは、https:// で始まるアドレスを入力してください。")});
            QVERIFY2(d.isVisible(), qPrintable(refused));
        }
        d.Unsubscribe->txtUrl->setText(QStringLiteral("https://example.jp/stop"));
        d.cmdOK_Click();
        QVERIFY(!d.isVisible());
    }
    w.reopenSettings();
    ActiveAccount = AccountRecord();
    LoadActiveAccount(*w.settings);
    QVERIFY(ActiveAccount.Unsubscribe);
    QCOMPARE(ActiveAccount.UnsubscribeAddress, QStringLiteral("stop@example.jp"));
    QCOMPARE(ActiveAccount.UnsubscribeUrl, QStringLiteral("https://example.jp/stop"));
    QCOMPARE(ActiveAccount.UnsubscribeFooter, QStringLiteral("山田商店\r\n{配信停止URL}"));
    QVERIFY(ActiveAccount.NotAdvertising);
    frmOptions shown(w.ctx);
    QVERIFY(shown.Unsubscribe->chkUnsubscribe->isChecked());
    QCOMPARE(shown.Unsubscribe->txtUrl->text(), QStringLiteral("https://example.jp/stop"));
    QCOMPARE(shown.Unsubscribe->txtFooter->toPlainText(), QStringLiteral("山田商店\n{配信停止URL}"));
}

void TestFrmOptions::charsetChoiceIsSavedAndShown()
{
    TestWorld w;
    LoadActiveAccount(*w.settings);
    {
        frmOptions d(w.ctx);
        d.show();
        choose(d, 3);
        fillValid(d);
        QCOMPARE(d.Charset->label()->text(), QStringLiteral("メールの文字コード(&J)"));
        QCOMPARE(d.Charset->cboCharset->itemText(0), QStringLiteral("UTF-8（推奨）"));
        QCOMPARE(d.Charset->cboCharset->currentIndex(), 0); // older files read UTF-8
        d.Charset->cboCharset->setCurrentIndex(1);
        QCOMPARE(d.Charset->cboCharset->currentText(), QStringLiteral("ISO-2022-JP"));
        d.cmdOK_Click();
    }
    w.reopenSettings();
    QCOMPARE(w.settings->value(QStringLiteral("MailCharset3")), QStringLiteral("iso-2022-jp"));
    ActiveAccount = AccountRecord();
    LoadActiveAccount(*w.settings);
    QCOMPARE(ActiveAccount.Charset, MailCharset::Iso2022Jp);
    frmOptions shown(w.ctx);
    QCOMPARE(shown.Charset->charset(), MailCharset::Iso2022Jp);
}

void TestFrmOptions::trimmingOfTheFourFieldsOnly()
{
    TestWorld w;
    frmOptions d(w.ctx);
    fillValid(d);
    d.Text1->setText(QStringLiteral("  smtp.example.jp  "));
    d.Text2->setText(QStringLiteral(" a@example.jp "));
    d.Text5->setText(QStringLiteral(" 山田　")); // the full-width blank is part of the name
    d.Text6->setText(QStringLiteral("  yamada "));
    d.Text7->setText(QStringLiteral(" pass "));
    d.Text8->setText(QStringLiteral(" 587 "));
    d.Text3->setPlainText(QStringLiteral("  sig  "));
    d.Text4->setPlainText(QStringLiteral(" head "));
    d.cmdOK_Click();
    QVERIFY(w.platform.calls.isEmpty());
    // The fields keep what was typed.
    QCOMPARE(d.Text1->text(), QStringLiteral("  smtp.example.jp  "));
    w.reopenSettings();
    QCOMPARE(w.settings->value(QStringLiteral("szServer")), QStringLiteral("smtp.example.jp"));
    QCOMPARE(w.settings->value(QStringLiteral("szFrom")), QStringLiteral("a@example.jp"));
    QCOMPARE(w.settings->value(QStringLiteral("szFromName")), QStringLiteral("山田　"));
    QCOMPARE(w.settings->value(QStringLiteral("User")), QStringLiteral("yamada"));
    QCOMPARE(w.settings->value(QStringLiteral("UserPass")), QStringLiteral(" pass "));
    QCOMPARE(w.settings->value(QStringLiteral("szPort")), QStringLiteral("587")); // the number it stands for
    QCOMPARE(w.settings->value(QStringLiteral("Signature")), QStringLiteral("  sig  "));
    QCOMPARE(w.settings->value(QStringLiteral("BodyHeader")), QStringLiteral(" head "));
    QCOMPARE(ActiveAccount.szServer, QStringLiteral("smtp.example.jp"));
}

void TestFrmOptions::escapeAndFrameCloseAreCancel()
{
    TestWorld w;
    LoadActiveAccount(*w.settings);
    {
        frmOptions d(w.ctx);
        d.show();
        fillValid(d);
        QTest::keyClick(d.Text1, Qt::Key_Return); // no default button: nothing happens
        QVERIFY(d.isVisible());
        QTest::keyClick(d.Text1, Qt::Key_Escape);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Rejected));
    }
    {
        frmOptions d(w.ctx);
        d.show();
        fillValid(d);
        QVERIFY(d.close());
        QCOMPARE(d.result(), int(QDialog::Rejected));
    }
    QVERIFY(w.platform.calls.isEmpty());
    QVERIFY(!w.settings->contains(QStringLiteral("Account")));
    QVERIFY(accountNotConfigured(ActiveAccount));
}

void TestFrmOptions::helpOpensThePageWithTheBusyPointer()
{
    TestWorld w;
    w.platform.helpDir = w.path(QStringLiteral("help"));
    frmOptions d(w.ctx);
    d.show();
    QTest::mouseClick(d.Command1, Qt::LeftButton);
    const auto help = w.platform.callsOf(QStringLiteral("help"));
    QCOMPARE(help.size(), 1);
    QCOMPARE(help[0].text, helpPageUrl(w.platform, QStringLiteral("accounts")));
    QCOMPARE(QUrl(help[0].text).toLocalFile(), w.path(QStringLiteral("help/Quillpost.html")));
    QCOMPARE(w.platform.busyLog, (QStringList{QStringLiteral("on"), QStringLiteral("off")}));
    QVERIFY(d.isVisible());
}

void TestFrmOptions::adviceIconShowsTheTipWindow()
{
    TestWorld w;
    frmOptions d(w.ctx);
    d.show();
    QStringList shown;
    bool ownerless = false;
    bool closedByEsc = false;
    w.platform.answerModal(QStringLiteral("frmTipA"), [&](QWidget *win) {
        auto *tip = qobject_cast<frmTipA *>(win);
        QVERIFY(tip);
        ownerless = tip->parentWidget() == nullptr;
        shown << tip->windowTitle() << tip->Label1->text();
        for (QLabel *l : tip->tipLabels())
            shown << l->text();
        QTest::keyClick(tip, Qt::Key_Escape);
        closedByEsc = !tip->isVisible();
    });
    QTest::mouseClick(d.Picture2, Qt::LeftButton);
    VERIFY_PLATFORM(w.platform);
    QVERIFY(ownerless);
    QVERIFY(closedByEsc);
    QCOMPARE(shown.size(), 9);
    QCOMPARE(shown.mid(1), QStringList{accountTipTitle()} + accountTips());
    QCOMPARE(shown[1], QStringLiteral("環境設定の方法..."));
    QVERIFY(d.isVisible());
}

void TestFrmOptions::connectionTestAsksAboutTheCertificateAndTriesAgain_data()
{
    QTest::addColumn<bool>("otherName"); // a certificate for localhost, its issuer trusted; else self-signed
    QTest::addColumn<QString>("reason");
    QTest::newRow("made for another name: its name taken")
        << true << QStringLiteral("証明書の名前がサーバー名（127.0.0.1）と一致しません。");
    QTest::newRow("self-signed: trusted for the account")
        << false
        << QStringLiteral(
               "発行者が不明です。信頼された認証局が発行した証明書ではありません（自己署名の証明書を含みます）。");
}

void TestFrmOptions::connectionTestAsksAboutTheCertificateAndTriesAgain()
{
    QFETCH(bool, otherName);
    QFETCH(QString, reason);
    SmtpTestServer smtp;
    if (otherName)
        smtp.setCertificateNames({QStringLiteral("DNS:localhost")});
    QVERIFY2(smtp.start(SmtpTestServer::Mode::ImplicitTls), qPrintable(smtp.error()));
    TestWorld w;
    frmOptions d(w.ctx);
    fillValid(d);
    d.Text1->setText(QStringLiteral("127.0.0.1"));
    d.Text8->setText(QString::number(smtp.port()));
    d.Combo2->setCurrentIndex(int(ConnectionSecurity::Tls));
    d.Check1->setChecked(false);
    if (otherName)
        d.Text11->setText(smtp.caFile());

    QString steps, shownReasons;
    w.platform.answerModal(QStringLiteral("frmConnectionTest"), [&](QWidget *window) {
        auto *test = static_cast<frmConnectionTest *>(window);
        // It starts by itself, asks, and tries again with the answer.
        QTRY_VERIFY_WITH_TIMEOUT(test->result() && test->result()->passed, 60000);
        steps = test->txtSteps->toPlainText();
    });
    w.platform.answerModal(QStringLiteral("frmCertificate"), [&](QWidget *window) {
        auto *question = static_cast<frmCertificate *>(window);
        shownReasons = question->lblReasons->text();
        QCOMPARE(bool(question->cmdUseName), otherName);
        if (otherName)
            QCOMPARE(question->cmdUseName->text(), QStringLiteral("証明書の名前（localhost）をサーバー名に使う"));
        (otherName ? question->cmdUseName : question->cmdTrust)->click();
    });
    d.cmdTest->click();
    VERIFY_PLATFORM(w.platform);
    QCOMPARE(shownReasons, QStringLiteral("・") + reason);
    QVERIFY2(steps.contains(QStringLiteral("SMTP: 暗号化")) && steps.contains(QStringLiteral("SMTP: 終了")),
             qPrintable(steps));
    QCOMPARE(smtp.messageCount(), 0);

    // Nothing is saved until OK; then the answer goes with the account.
    QVERIFY(!w.settings->contains(Setting::Server, 0));
    QCOMPARE(d.Text1->text(), otherName ? QStringLiteral("localhost") : QStringLiteral("127.0.0.1"));
    QCOMPARE(d.lblPinned->text(), otherName ? QStringLiteral("このアカウントで信頼した証明書はありません。")
                                            : QStringLiteral("このアカウントで信頼した証明書: 1 件"));
    d.cmdOK_Click();
    QCOMPARE(w.settings->value(Setting::Server, 0), d.Text1->text());
    QCOMPARE(w.settings->value(Setting::PinnedKeys, 0).startsWith(QStringLiteral("sha256//")), !otherName);
    QCOMPARE(w.settings->value(Setting::SmtpSizeLimit, 0), QStringLiteral("33554432"));
}

QTEST_MAIN(TestFrmOptions)
#include "tst_frmoptions.moc"
