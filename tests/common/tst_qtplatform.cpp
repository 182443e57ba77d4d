#include "qtplatform.h"
#include "testutil.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace {

// Runs `act` on the modal dialog of type T once it is up.
template <typename T> void whenShown(std::function<void(T *)> act)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *d = qobject_cast<T *>(w);
            if (d && d->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(d);
                return;
            }
        }
    });
    timer->start(10);
}

// A button's caption without its accelerator: "はい(&Y)" -> "はい".
QString caption(QAbstractButton *b)
{
    return b->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)"))).remove(QLatin1Char('&'));
}

QStringList buttonTexts(QMessageBox *box)
{
    QStringList texts;
    for (QAbstractButton *b : box->buttons())
        texts << caption(b);
    texts.sort();
    return texts;
}

} // namespace

// The real dialog layer, offscreen: in Japanese, and the answer is the
// button the user pressed.
class TestQtPlatform : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(installJapaneseQtTranslation(*qApp)); }
    void messageBoxAnswersThePressedButton_data();
    void messageBoxAnswersThePressedButton();
    void fileDialogReturnsTheChosenFileAndFilter();
};

void TestQtPlatform::messageBoxAnswersThePressedButton_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("defaultButton");
    QTest::addColumn<QString>("press"); // a button's text, or "Enter"
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("answer");
    const QStringList yesNo = {"いいえ", "はい"};
    const QStringList yesNoCancel = {"いいえ", "はい", "キャンセル"};
    QTest::newRow("はい") << int(MsgButtons::YesNo) << int(MsgDefault::First) << "はい" << yesNo << int(MsgAnswer::Yes);
    QTest::newRow("いいえ") << int(MsgButtons::YesNo) << int(MsgDefault::First) << "いいえ" << yesNo
                            << int(MsgAnswer::No);
    QTest::newRow("キャンセル") << int(MsgButtons::YesNoCancel) << int(MsgDefault::First) << "キャンセル" << yesNoCancel
                                << int(MsgAnswer::Cancel);
    QTest::newRow("Enter on a destructive question")
        << int(MsgButtons::YesNo) << int(MsgDefault::No) << "Enter" << yesNo << int(MsgAnswer::No);
    QTest::newRow("Enter on a question") << int(MsgButtons::YesNo) << int(MsgDefault::First) << "Enter" << yesNo
                                         << int(MsgAnswer::Yes);
}

void TestQtPlatform::messageBoxAnswersThePressedButton()
{
    QFETCH(int, buttons);
    QFETCH(int, defaultButton);
    QFETCH(QString, press);
    QFETCH(QStringList, texts);
    QFETCH(int, answer);
    QtPlatform platform;
    QStringList seen;
    whenShown<QMessageBox>([&](QMessageBox *box) {
        seen = buttonTexts(box);
        if (press == QLatin1String("Enter")) {
            QTest::keyClick(box, Qt::Key_Return);
            return;
        }
        for (QAbstractButton *b : box->buttons())
            if (caption(b) == press)
                b->click();
    });
    const MsgAnswer a = platform.messageBox(nullptr, QStringLiteral("削除します。よろしいですか。"),
                                            QStringLiteral("Question"), MsgIcon::Question, MsgButtons(buttons),
                                            MsgDefault(defaultButton));
    QCOMPARE(seen, texts);
    QCOMPARE(int(a), answer);
}

void TestQtPlatform::fileDialogReturnsTheChosenFileAndFilter()
{
    TestWorld w;
    const QString file = w.path(QStringLiteral("本文.txt"));
    writeBytes(file, "x");
    FileDialogSpec spec;
    spec.title = QStringLiteral("本文ﾃｷｽﾄﾌｧｲﾙを開く");
    spec.filters = {{QStringLiteral("ﾃｷｽﾄ ﾌｧｲﾙ (*.txt)"), QStringLiteral("*.txt")},
                    {QStringLiteral("すべてのﾌｧｲﾙ (*.*)"), QStringLiteral("*")}};
    spec.filterIndex = 2;
    spec.mustExist = true;
    QStringList labels;
    whenShown<QFileDialog>([&](QFileDialog *d) {
        for (QLabel *l : d->findChildren<QLabel *>())
            labels << l->text();
        d->setDirectory(w.dir.path());
        d->selectNameFilter(d->nameFilters().value(0));
        d->selectFile(file);
        QMetaObject::invokeMethod(d, "accept");
    });
    QtPlatform platform;
    const FileDialogResult r = platform.openFileDialog(nullptr, spec);
    QVERIFY(!r.cancelled);
    QCOMPARE(r.files, QStringList{file});
    QCOMPARE(r.filterIndex, 1);
    // Qt's own labels ("ファイル名" and the like) are Japanese.
    QVERIFY2(labels.join(QLatin1Char('|')).contains(QStringLiteral("ファイル")),
             qPrintable(labels.join(QLatin1Char('|'))));
}

QTEST_MAIN(TestQtPlatform)
#include "tst_qtplatform.moc"
