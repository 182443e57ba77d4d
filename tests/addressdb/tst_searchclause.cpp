#include "addressfixture.h"
#include "addressrowmodel.h"
#include "searchclause.h"

#include <QTemporaryDir>
#include <QtTest>

using Ids = QList<qint64>;
Q_DECLARE_METATYPE(Ids)
Q_DECLARE_METATYPE(KeyInputMode)

class TestSearchClause : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void searchFindsTheRightRows_data();
    void searchFindsTheRightRows();
    void keysNeverEnterTheSqlText();
    void statementShapes();
    void datesAsJapaneseUsersTypeThem();
    void deleteStatementRemovesExactlyTheListedRows();
    void keyBoxInputFollowsTheField_data();
    void keyBoxInputFollowsTheField();

private:
    QTemporaryDir m_dir;
    QString m_path;
};

void TestSearchClause::initTestCase()
{
    m_path = m_dir.filePath(QStringLiteral("search.cdb"));
    QVERIFY(makeAddressDb(m_path, sampleRows()));
}

void TestSearchClause::searchFindsTheRightRows_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("exact");
    QTest::addColumn<QString>("item2");
    QTest::addColumn<QString>("key2");
    QTest::addColumn<Ids>("ids"); // {-1}: the statement fails

    const QString all = QStringLiteral("すべて選択");
    QTest::newRow("all has an at sign") << all << "" << false << ""
                                        << "" << Ids{1, 2, 3, 4, 7};
    QTest::newRow("all ignores exact") << all << "zzz" << true << ""
                                       << "" << Ids{1, 2, 3, 4, 7};
    QTest::newRow("category exact") << "インポート区分名"
                                    << "展示会" << true << ""
                                    << "" << Ids{1, 2, 5};
    QTest::newRow("category exact is whole") << "インポート区分名"
                                             << "展示" << true << ""
                                             << "" << Ids{};
    QTest::newRow("category partial") << "インポート区分名"
                                      << "2005" << false << ""
                                      << "" << Ids{3, 4, 7};
    QTest::newRow("name1 exact apostrophe") << "宛先1"
                                            << "O'Brien" << true << ""
                                            << "" << Ids{2};
    QTest::newRow("name1 partial apostrophe") << "宛先1"
                                              << "'Bri" << false << ""
                                              << "" << Ids{2};
    QTest::newRow("name1 partial") << "宛先1"
                                   << "山田" << false << ""
                                   << "" << Ids{1};
    QTest::newRow("percent is a wildcard") << "宛先1"
                                           << "100%" << false << ""
                                           << "" << Ids{4, 7};
    QTest::newRow("underscore is one char") << "宛先1"
                                            << "0_達" << false << ""
                                            << "" << Ids{7};
    QTest::newRow("exact has no wildcards") << "宛先1"
                                            << "100%_達成" << true << ""
                                            << "" << Ids{4};
    QTest::newRow("name2 exact") << "宛先2"
                                 << "営業部" << true << ""
                                 << "" << Ids{1, 5, 7};
    QTest::newRow("name2 partial") << "宛先2"
                                   << "務" << false << ""
                                   << "" << Ids{4};
    QTest::newRow("address exact") << "メールアドレス"
                                   << "taro@example.jp" << true << ""
                                   << "" << Ids{1};
    QTest::newRow("address partial") << "メールアドレス"
                                     << "example.jp" << false << ""
                                     << "" << Ids{1, 3, 4, 7};
    QTest::newRow("address partial any case") << "メールアドレス"
                                              << "EXAMPLE.COM" << false << ""
                                              << "" << Ids{2};
    QTest::newRow("address exact any case") << "メールアドレス"
                                            << "TARO@EXAMPLE.JP" << true << ""
                                            << "" << Ids{1};
    QTest::newRow("name1 exact any case") << "宛先1"
                                          << "o'brien" << true << ""
                                          << "" << Ids{2};
    QTest::newRow("exact keeps wide letters apart") << "メールアドレス"
                                                    << "ＴＡＲＯ@example.jp" << true << ""
                                                    << "" << Ids{};
    QTest::newRow("memo exact") << "メモ"
                                << "要連絡" << true << ""
                                << "" << Ids{2};
    QTest::newRow("memo partial") << "メモ"
                                  << "連" << false << ""
                                  << "" << Ids{2};
    QTest::newRow("date exact short") << "登録日"
                                      << "2005/4/1" << true << ""
                                      << "" << Ids{1, 6};
    QTest::newRow("date exact padded") << "登録日"
                                       << "2005/04/01" << true << ""
                                       << "" << Ids{1, 6};
    QTest::newRow("date exact dashes") << "登録日"
                                       << "2005-04-01" << true << ""
                                       << "" << Ids{1, 6};
    QTest::newRow("date exact wide digits") << "登録日"
                                            << "２００５/４/１" << true << ""
                                            << "" << Ids{1, 6};
    QTest::newRow("date exact no such day") << "登録日"
                                            << "2005/04/31" << true << ""
                                            << "" << Ids{-1};
    QTest::newRow("date exact no date") << "登録日"
                                        << "April" << true << ""
                                        << "" << Ids{-1};
    QTest::newRow("date partial month") << "登録日"
                                        << "2005/04" << false << ""
                                        << "" << Ids{1, 2, 4, 6};
    QTest::newRow("held") << "送信区分　保留"
                          << "False" << false << ""
                          << "" << Ids{2, 7};
    QTest::newRow("held exact") << "送信区分　保留"
                                << "x" << true << ""
                                << "" << Ids{2, 7};
    QTest::newRow("typed item lists all") << "氏名"
                                          << "x" << false << ""
                                          << "" << Ids{1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("typed item and second fails") << "氏名"
                                                 << "x" << false << "宛先2"
                                                 << "営業部" << Ids{-1};
    QTest::newRow("all and name2 exact") << all << "" << true << "宛先2"
                                         << "営業部" << Ids{1, 7};
    QTest::newRow("second empty partial: not null") << all << "" << false << "宛先2"
                                                    << "" << Ids{1, 2, 4, 7};
    QTest::newRow("second empty exact: empty text") << all << "" << true << "宛先2"
                                                    << "" << Ids{2};
    QTest::newRow("second apostrophe") << all << "" << true << "宛先1"
                                       << "O'Brien" << Ids{2};
    QTest::newRow("second held") << "インポート区分名"
                                 << "展示" << false << "送信区分　保留"
                                 << "False" << Ids{2};
    QTest::newRow("second category") << "宛先2"
                                     << "営業部" << false << "インポート区分名"
                                     << "簿" << Ids{7};
    QTest::newRow("second category exact") << "宛先2"
                                           << "営業部" << true << "インポート区分名"
                                           << "展示会" << Ids{1, 5};
    QTest::newRow("second address") << "宛先2"
                                    << "営業部" << false << "メールアドレス"
                                    << "x@" << Ids{7};
    QTest::newRow("second address exact any case") << all << "" << true << "メールアドレス"
                                                   << "X@Example.JP" << Ids{7};
    QTest::newRow("second memo") << all << "" << false << "メモ"
                                 << "要" << Ids{2};
    QTest::newRow("second date exact") << "宛先2"
                                       << "営業部" << true << "登録日"
                                       << "2005/4/1" << Ids{1};
    QTest::newRow("second date partial") << "宛先2"
                                         << "営業部" << false << "登録日"
                                         << "2005/05" << Ids{5};
    QTest::newRow("second date no date") << "宛先2"
                                         << "営業部" << true << "登録日"
                                         << "4月1日" << Ids{-1};
    QTest::newRow("second typed item adds nothing") << "宛先2"
                                                    << "営業部" << true << "何か"
                                                    << "x" << Ids{1, 5, 7};
}

void TestSearchClause::searchFindsTheRightRows()
{
    QFETCH(QString, item);
    QFETCH(QString, key);
    QFETCH(bool, exact);
    QFETCH(QString, item2);
    QFETCH(QString, key2);
    QFETCH(Ids, ids);

    const SqlClause c1 = SearchClauseBuilder::firstClause(item, key, exact);
    const SqlClause c2 = item2.isEmpty() ? SqlClause{} : SearchClauseBuilder::secondClause(item2, key2, exact);
    const SqlStatement st = SearchClauseBuilder::selectStatement(c1, c2);

    AddressDb db;
    QVERIFY(db.open(m_path, false));
    AddressRowModel rows;
    QString err;
    const bool ok = st.error.isEmpty() && rows.load(db, st.text, st.params, &err);
    Ids got;
    if (!ok) {
        got = {-1};
    } else {
        for (int i = 0; i < rows.count(); ++i)
            got << rows.id(i);
    }
    QCOMPARE(got, ids);
}

void TestSearchClause::keysNeverEnterTheSqlText()
{
    const QString key = QStringLiteral("x'); DROP TABLE 宛先; --");
    for (const QString &item : SearchClauseBuilder::secondItems()) {
        for (bool exact : {false, true}) {
            const SqlClause c1 = SearchClauseBuilder::firstClause(item, key, exact);
            const SqlClause c2 = SearchClauseBuilder::secondClause(item, key, exact);
            QVERIFY2(!c1.text.contains(QStringLiteral("DROP")), qPrintable(c1.text));
            QVERIFY2(!c2.text.contains(QStringLiteral("DROP")), qPrintable(c2.text));
            if (c1.error.isEmpty()) {
                QCOMPARE(c1.params.size(), c1.text.count(QLatin1Char('?')));
                QCOMPARE(c2.params.size(), c2.text.count(QLatin1Char('?')));
            } else {
                // Only an exact date refuses a key, and then nothing may run.
                QCOMPARE(item, QStringLiteral("登録日"));
                QVERIFY(exact);
                QVERIFY(!SearchClauseBuilder::selectStatement(c1, c2).error.isEmpty());
            }
        }
    }
    // Run against the file: the table is still there afterwards.
    AddressDb db;
    QVERIFY(db.open(m_path, false));
    const SqlStatement st =
        SearchClauseBuilder::selectStatement(SearchClauseBuilder::firstClause(QStringLiteral("宛先1"), key, false), {});
    AddressRowModel rows;
    QVERIFY(rows.load(db, st.text, st.params));
    QCOMPARE(rows.count(), 0);
    QCOMPARE(queryIds(m_path).size(), 7);
}

void TestSearchClause::statementShapes()
{
    const auto all = SearchClauseBuilder::selectStatement(SearchClauseBuilder::firstClause(QStringLiteral("すべて選択"),
                                                                                           {}, false),
                                                          {});
    QCOMPARE(all.text, QStringLiteral("SELECT * From 宛先 WHERE (メールアドレス LIKE '%@%' ) Order by 宛先ID"));
    QVERIFY(all.params.isEmpty());

    const auto two = SearchClauseBuilder::selectStatement(
        SearchClauseBuilder::firstClause(QStringLiteral("インポート区分名"), QStringLiteral("展示会"), true),
        SearchClauseBuilder::secondClause(QStringLiteral("登録日"), QStringLiteral("2005/4/1"), true));
    QCOMPARE(two.text,
             QStringLiteral(
                 "SELECT * From 宛先 Where (インポート区分名 = ? COLLATE NOCASE) AND( 登録日 = ?) Order by 宛先ID"));
    QCOMPARE(two.params, (QVariantList{QStringLiteral("展示会"), QStringLiteral("2005/04/01")}));

    const auto del = SearchClauseBuilder::deleteStatement(
        SearchClauseBuilder::firstClause(QStringLiteral("送信区分　保留"), QStringLiteral("False"), false), {});
    QCOMPARE(del.text, QStringLiteral("DELETE FROM 宛先 WHERE (送信区分 = False)"));

    QCOMPARE(SearchClauseBuilder::firstItems().first(), QStringLiteral("すべて選択"));
    QCOMPARE(SearchClauseBuilder::firstItems().mid(1), SearchClauseBuilder::secondItems());
    QCOMPARE(SearchClauseBuilder::secondItems().last(),
             QString(QStringLiteral("送信区分") + QChar(0x3000) + QStringLiteral("保留")));
}

void TestSearchClause::datesAsJapaneseUsersTypeThem()
{
    QCOMPARE(SearchClauseBuilder::normaliseDate(QStringLiteral("2005/4/1")), QStringLiteral("2005/04/01"));
    QCOMPARE(SearchClauseBuilder::normaliseDate(QStringLiteral("2005/04/01")), QStringLiteral("2005/04/01"));
    QCOMPARE(SearchClauseBuilder::normaliseDate(QStringLiteral("2005-04-01")), QStringLiteral("2005/04/01"));
    QCOMPARE(SearchClauseBuilder::normaliseDate(QStringLiteral(" 2005/12/31 ")), QStringLiteral("2005/12/31"));
    QCOMPARE(SearchClauseBuilder::normaliseDate(QStringLiteral("2004/2/29")), QStringLiteral("2004/02/29"));
    QVERIFY(!SearchClauseBuilder::normaliseDate(QStringLiteral("2005/2/29")));
    QVERIFY(!SearchClauseBuilder::normaliseDate(QStringLiteral("2005/04")));
    QVERIFY(!SearchClauseBuilder::normaliseDate(QStringLiteral("05/4/1")));
    QVERIFY(!SearchClauseBuilder::normaliseDate(QStringLiteral("2005/4/1 10:00")));
    QVERIFY(!SearchClauseBuilder::normaliseDate(QString()));
    QCOMPARE(addressDateText(QDate(2005, 4, 1)), QStringLiteral("2005/04/01"));
}

void TestSearchClause::deleteStatementRemovesExactlyTheListedRows()
{
    const QString path = m_dir.filePath(QStringLiteral("delete.cdb"));
    QVERIFY(makeAddressDb(path, sampleRows()));
    AddressDb db;
    QVERIFY(db.open(path, false));

    const SqlClause c1 = SearchClauseBuilder::firstClause(QStringLiteral("すべて選択"), {}, false);
    const SqlClause c2 = SearchClauseBuilder::secondClause(QStringLiteral("宛先1"), QStringLiteral("O'B"), false);
    AddressRowModel listed;
    const SqlStatement sel = SearchClauseBuilder::selectStatement(c1, c2);
    QVERIFY(listed.load(db, sel.text, sel.params));
    QCOMPARE(listed.count(), 1);

    const SqlStatement del = SearchClauseBuilder::deleteStatement(c1, c2);
    int changed = -1;
    QVERIFY(db.exec(del.text, del.params, nullptr, &changed));
    QCOMPARE(changed, 1);
    QCOMPARE(queryIds(path), (Ids{1, 3, 4, 5, 6, 7}));

    QVERIFY(db.exec(SearchClauseBuilder::deleteAllRowsSql()));
    QCOMPARE(queryIds(path), Ids{});
}

void TestSearchClause::keyBoxInputFollowsTheField_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<KeyInputMode>("mode");

    QTest::newRow("category") << QStringLiteral("インポート区分名") << KeyInputMode::Japanese;
    QTest::newRow("name1") << QStringLiteral("宛先1") << KeyInputMode::Japanese;
    QTest::newRow("name2") << QStringLiteral("宛先2") << KeyInputMode::Japanese;
    QTest::newRow("address") << QStringLiteral("メールアドレス") << KeyInputMode::Off;
    QTest::newRow("date") << QStringLiteral("登録日") << KeyInputMode::Off;
    QTest::newRow("memo") << QStringLiteral("メモ") << KeyInputMode::Unchanged;
    QTest::newRow("held") << QStringLiteral("送信区分　保留") << KeyInputMode::Unchanged;
    QTest::newRow("all") << QStringLiteral("すべて選択") << KeyInputMode::Unchanged;
    QTest::newRow("typed text") << QStringLiteral("宛先") << KeyInputMode::Unchanged;
}

void TestSearchClause::keyBoxInputFollowsTheField()
{
    QFETCH(QString, item);
    QFETCH(KeyInputMode, mode);
    QCOMPARE(SearchClauseBuilder::keyInputMode(item), mode);
}

QTEST_GUILESS_MAIN(TestSearchClause)
#include "tst_searchclause.moc"
