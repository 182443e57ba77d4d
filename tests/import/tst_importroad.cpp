// The road of the sample file: address book, import window, preview, commit,
// and the address book listing the new rows on its next activation.

#include "addressbookwindow.h"
#include "addressrowmodel.h"
#include "dialogexcel.h"
#include "importgridmodel.h"
#include "importwindow.h"
#include "testutil.h"

#include <QAction>
#include <QLineEdit>
#include <QtTest>

class tst_ImportRoad : public QObject {
    Q_OBJECT
private slots:
    void sampleThroughTheAddressBook();
};

void tst_ImportRoad::sampleThroughTheAddressBook()
{
    TestWorld w;
    AppContext *ctx = &w.ctx;
    w.ctx.openImportWindow = [ctx](QWidget *owner) { showImportWindow(*ctx, owner); };
    const QString sample = QStringLiteral(QUILLPOST_SOURCE_DIR "/samples/import-sample.csv");

    int listedAfterMenu = -1, listedAfterToolbar = -1;
    w.platform.answerModal(QStringLiteral("DialogMail"), [&](QWidget *win) {
        auto *book = static_cast<DialogMail *>(win);
        QVERIFY(w.ctx.addressDb != nullptr);
        book->mnuExcelInport->trigger();
        listedAfterMenu = book->ResultSet ? book->ResultSet->count() : -1;
        book->tbToolBar_ButtonClick(QStringLiteral("宛先のインポート"));
        listedAfterToolbar = book->ResultSet ? book->ResultSet->count() : -1;
    });
    // From the menu: the sample, stored under a new category.
    w.platform.answerModal(QStringLiteral("DialogExcel"), [&](QWidget *win) {
        auto *dlg = static_cast<DialogExcel *>(win);
        dlg->txtFileName->setText(sample);
        dlg->Command5_Click();
        QCOMPARE(dlg->grid1()->dataRows().size(), 7);
        dlg->Text2->setText(QStringLiteral("サンプル"));
        dlg->Command1_Click();
    });
    // From the toolbar: the same name again is refused, then cancelled.
    w.platform.answerModal(QStringLiteral("DialogExcel"), [&](QWidget *win) {
        auto *dlg = static_cast<DialogExcel *>(win);
        dlg->txtFileName->setText(sample);
        dlg->Command5_Click();
        dlg->Text2->setText(QStringLiteral("サンプル"));
        dlg->Command1_Click();
        QVERIFY(dlg->isVisible());
        dlg->Command3_Click();
    });
    QWidget owner;
    showAddressBook(w.ctx, &owner);

    QCOMPARE(listedAfterMenu, 7);
    QCOMPARE(listedAfterToolbar, 7);
    QCOMPARE(w.platform.messageTexts(),
             QStringList{QStringLiteral("インポート区分名が重複しています。インポート区分名を変更してください。")});
    // Cancelled last: the send list is empty again.
    QCOMPARE(w.sendList.count(), 0);
    VERIFY_PLATFORM(w.platform);
}

QTEST_MAIN(tst_ImportRoad)
#include "tst_importroad.moc"
