#include "aboutwindows.h"
#include "apptitle.h"
#include "frmabout.h"
#include "frmtipa.h"
#include "testutil.h"
#include "version.h"

#include <QDir>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QtTest>

namespace {
const QString kUnavailable = QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません");
const QString kToolKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString kLocationKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");

// A system configuration store with the given machine-wide values
// ("key|value" -> text).
KeyValueReader storeWith(QMap<QString, QString> values, QStringList *asked = nullptr)
{
    return [values, asked](RegistryRoot root, const QString &key, const QString &name, QString &out) {
        if (asked)
            *asked << key + QLatin1Char('|') + name;
        const auto it = values.constFind(key + QLatin1Char('|') + name);
        if (root != RegistryRoot::LocalMachine || it == values.constEnd()) {
            out.clear();
            return false;
        }
        out = *it;
        return true;
    };
}

// Whoever is below a modal window gets its activation back.
class Owner : public QWidget {
    Q_OBJECT
public:
    int activations = 0;
public slots:
    void Form_Activate() { ++activations; }
};
} // namespace

class TestAbout : public QObject {
    Q_OBJECT
private slots:
    void versionLineIsPlainDecimal();
    void aboutBoxShowsTitleVersionAndPurpose();
    void sysInfoIsUnavailableWithoutTheStore();
    void sysInfoLookupOrder();
    void aboutIsModalOverItsOwnerAndEscCloses();
    void tipWindowFilledByItsCaller();
};

void TestAbout::versionLineIsPlainDecimal()
{
    QCOMPARE(versionLine(2, 6, 2), QStringLiteral("ﾊﾞｰｼﾞｮﾝ 2.6.2"));
    QCOMPARE(versionLine(1, 10, 0), QStringLiteral("ﾊﾞｰｼﾞｮﾝ 1.10.0"));
    QCOMPARE(versionLine(0, 0, 107), QStringLiteral("ﾊﾞｰｼﾞｮﾝ 0.0.107"));
}

void TestAbout::aboutBoxShowsTitleVersionAndPurpose()
{
    TestWorld w;
    frmAbout a(w.ctx);
    QCOMPARE(a.lblTitle->text(), appTitle());
    QCOMPARE(a.lblVersion->text(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ %1.%2.%3")
                                       .arg(QUILLPOST_VERSION_MAJOR)
                                       .arg(QUILLPOST_VERSION_MINOR)
                                       .arg(QUILLPOST_VERSION_PATCH));
    QVERIFY(!a.picIcon->pixmap().isNull());

    // Enter presses OK.
    a.show();
    QTest::keyClick(&a, Qt::Key_Return);
    QVERIFY(!a.isVisible());
    QCOMPARE(a.result(), int(QDialog::Accepted));
    QVERIFY(w.platform.calls.isEmpty());
}

void TestAbout::sysInfoIsUnavailableWithoutTheStore()
{
    TestWorld w;
    QString out = QStringLiteral("left over");
    const bool found = GetKeyValue(RegistryRoot::LocalMachine, kToolKey, QStringLiteral("PATH"), out);
#ifdef Q_OS_WIN
    Q_UNUSED(found);
#else
    QVERIFY(!found);
    QCOMPARE(out, QString());

    frmAbout a(w.ctx);
    a.show();
    QTest::mouseClick(a.cmdSysInfo, Qt::LeftButton);
    const auto msgs = w.platform.callsOf(QStringLiteral("message"));
    QCOMPARE(msgs.size(), 1);
    QCOMPARE(msgs[0].text, kUnavailable);
    QCOMPARE(msgs[0].title, appTitle());
    QCOMPARE(msgs[0].buttons, MsgButtons::Ok);
    QVERIFY(w.platform.callsOf(QStringLiteral("process")).isEmpty());
    QVERIFY(a.isVisible()); // the box stays open
#endif
}

void TestAbout::sysInfoLookupOrder()
{
    QTemporaryDir tools;
    const QString withTool = tools.filePath(QStringLiteral("with"));
    const QString withoutTool = tools.filePath(QStringLiteral("without"));
    QDir().mkpath(withTool);
    QDir().mkpath(withoutTool);
    writeBytes(withTool + QStringLiteral("/MSINFO32.EXE"), "MZ");

    // The tool's own entry wins, even over a folder that holds the tool and
    // even when the file it names is missing.
    QStringList asked;
    const QString named = tools.filePath(QStringLiteral("missing/msinfo32.exe"));
    QCOMPARE(findSysInfoTool(storeWith({{kToolKey + QStringLiteral("|PATH"), named},
                                        {kLocationKey + QStringLiteral("|MSINFO"), withTool}},
                                       &asked)),
             named);
    QCOMPARE(asked, QStringList{kToolKey + QStringLiteral("|PATH")});

    // Then the shared tools folder, only if the tool is in it.
    asked.clear();
    QCOMPARE(findSysInfoTool(storeWith({{kLocationKey + QStringLiteral("|MSINFO"), withTool}}, &asked)),
             withTool + QStringLiteral("/MSINFO32.EXE"));
    QCOMPARE(asked, (QStringList{kToolKey + QStringLiteral("|PATH"), kLocationKey + QStringLiteral("|MSINFO")}));
    QCOMPARE(findSysInfoTool(storeWith({{kLocationKey + QStringLiteral("|MSINFO"), withoutTool}})), QString());
    QCOMPARE(findSysInfoTool(storeWith({})), QString());

    // A found tool is started and nothing is said.
    TestWorld w;
    frmAbout a(w.ctx);
    a.keyReader = storeWith({{kLocationKey + QStringLiteral("|MSINFO"), withTool}});
    a.cmdSysInfo_Click();
    const auto started = w.platform.callsOf(QStringLiteral("process"));
    QCOMPARE(started.size(), 1);
    QVERIFY(started[0].text.startsWith(withTool + QStringLiteral("/MSINFO32.EXE")));
    QVERIFY(w.platform.callsOf(QStringLiteral("message")).isEmpty());
    // A folder without the tool: the unavailable message, nothing started.
    w.platform.reset();
    a.keyReader = storeWith({{kLocationKey + QStringLiteral("|MSINFO"), withoutTool}});
    a.StartSysInfo();
    QCOMPARE(w.platform.messageTexts(), QStringList{kUnavailable});
    QVERIFY(w.platform.callsOf(QStringLiteral("process")).isEmpty());
}

void TestAbout::aboutIsModalOverItsOwnerAndEscCloses()
{
    TestWorld w;
    Owner owner;
    QWidget *parent = nullptr;
    bool closed = false;
    w.platform.answerModal(QStringLiteral("frmAbout"), [&](QWidget *win) {
        parent = win->parentWidget();
        QTest::keyClick(win, Qt::Key_Escape);
        closed = !win->isVisible();
    });
    showAbout(w.ctx, &owner);
    VERIFY_PLATFORM(w.platform);
    QCOMPARE(parent, &owner);
    QVERIFY(closed);
    QCOMPARE(owner.activations, 1);
    QVERIFY(owner.findChildren<frmAbout *>().isEmpty());
}

void TestAbout::tipWindowFilledByItsCaller()
{
    TestWorld w;
    QStringList shown;
    QWidget *parent = reinterpret_cast<QWidget *>(1);
    bool closedByOk = false;
    w.platform.answerModal(QStringLiteral("frmTipA"), [&](QWidget *win) {
        auto *tip = qobject_cast<frmTipA *>(win);
        QVERIFY(tip);
        parent = tip->parentWidget();
        shown << tip->windowTitle() << tip->Label1->text();
        for (QLabel *l : tip->tipLabels())
            shown << l->text();
        QVERIFY(tip->cmdOK->isDefault());
        QTest::mouseClick(tip->cmdOK, Qt::LeftButton);
        closedByOk = !tip->isVisible();
    });
    const QStringList tips = {QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三"), QStringLiteral("四"),
                              QStringLiteral("五"), QStringLiteral("六"), QStringLiteral("七")};
    showTipWindow(w.ctx, QStringLiteral("題"), tips);
    VERIFY_PLATFORM(w.platform);
    QCOMPARE(parent, nullptr);
    QVERIFY(closedByOk);
    QCOMPARE(shown, (QStringList{QStringLiteral("ﾜﾝﾎﾟｲﾝﾄ"), QStringLiteral("題")} + tips));

    // Every filling replaces all eight texts; Esc closes the window too.
    frmTipA tip;
    tip.setTips(QStringLiteral("a"), tips);
    tip.setTips(QStringLiteral("b"), {QStringLiteral("x")});
    QCOMPARE(tip.Label1->text(), QStringLiteral("b"));
    QCOMPARE(tip.lblTipText1->text(), QStringLiteral("x"));
    QCOMPARE(tip.lblTipText7->text(), QString());
    tip.show();
    QTest::keyClick(&tip, Qt::Key_Escape);
    QVERIFY(!tip.isVisible());
    QCOMPARE(tip.result(), int(QDialog::Rejected));
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
