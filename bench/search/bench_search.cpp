// Times the address book on a table of a million rows: opening the window
// (its first search lists every address) with the grid drawn, a partial
// match on 宛先1, and insert into the send list; against the same select-all
// statement stepped through SQLite's C API on a connection of its own.
// Prints the median of several runs of each and the peak memory.

#include "addressbookwindow.h"
#include "addressdb.h"
#include "addressrowmodel.h"
#include "dbstatement.h"
#include "searchclause.h"
#include "testutil.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <sqlite3.h>
#include <sys/resource.h>
#include <vector>

namespace {

bool generate(const QString &path, int rows)
{
    AddressDb db;
    if (!db.open(path, true))
        return false;
    static const char *family[] = {"山田", "鈴木", "佐藤", "高橋", "田中", "伊藤", "渡辺", "中村"};
    static const char *given[] = {"太郎", "花子", "次郎", "一郎", "美香", "健", "由美", "翔"};
    DbTransaction transaction(db);
    DbStatement ins(db, "INSERT INTO 宛先 VALUES (?, ?, ?, ?, ?, ?, ?, NULL)");
    for (int i = 1; i <= rows; ++i) {
        const QString name = QString::fromUtf8(family[i % 8]) + QLatin1Char(' ') + QString::fromUtf8(given[(i / 8) % 8])
                             + QString::number(i);
        const QDate d = QDate(2005, 1, 1).addDays(i % 365);
        ins.reset();
        if (!ins.bind({QVariant(i), QVariant(i % 10 ? 1 : 0),
                       QVariant(i % 2 ? QStringLiteral("展示会2005") : QStringLiteral("名簿")), QVariant(name),
                       QVariant(QStringLiteral("営業部")), QVariant(QStringLiteral("user%1@example.jp").arg(i)),
                       QVariant(addressDateText(d))})
            || ins.step() != DbStatement::Done)
            return false;
    }
    return transaction.commit();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double timeSearch(DialogMail &d, const QString &item, const QString &key, int *rows)
{
    d.Combo2->setCurrentText(item);
    d.Combo2_Click();
    d.txtKey->setText(key);
    d.Check1->setChecked(false);
    QElapsedTimer t;
    t.start();
    d.Command2_Click();
    d.DataGrid1->viewport()->repaint(); // the grid drawn with the new rows
    const double s = t.nsecsElapsed() / 1e9;
    *rows = d.ResultSet->count();
    return s;
}

// The window's select-all statement on a fresh connection: every id read.
double sqliteSelectAll(const QString &path, int *rows)
{
    const SqlStatement all = SearchClauseBuilder::selectIdsStatement(
        SearchClauseBuilder::firstClause(SearchClauseBuilder::selectAllItem(), QString(), false), SqlClause());
    QElapsedTimer t;
    t.start();
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite3_stmt *st = nullptr;
    const QByteArray sql = all.text.toUtf8();
    sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &st, nullptr);
    for (int i = 0; i < all.params.size(); ++i) {
        const QByteArray p = all.params.at(i).toString().toUtf8();
        sqlite3_bind_text(st, i + 1, p.constData(), int(p.size()), SQLITE_TRANSIENT);
    }
    std::vector<sqlite3_int64> ids;
    while (sqlite3_step(st) == SQLITE_ROW)
        ids.push_back(sqlite3_column_int64(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
    *rows = int(ids.size());
    return t.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, atoi(argv[1])) : 1000000;
    const int runs = 5;

    TestWorld w;
    const QString path = w.path(QStringLiteral("bench.cdb"));
    if (!generate(path, rows)) {
        std::fprintf(stderr, "cannot generate %s\n", qPrintable(path));
        return 1;
    }
    w.settings->setValue(Setting::DatabaseFile, path);
    QListView mainList; // the main window's view of the send list
    mainList.setModel(&w.sendList);

    std::vector<double> all, partial, insert, anchor;
    int allRows = 0, partialRows = 0, anchorRows = 0;
    for (int r = 0; r < runs; ++r) {
        anchor.push_back(sqliteSelectAll(path, &anchorRows));
        w.platform.setBusy(true);
        QElapsedTimer t;
        t.start();
        auto d = std::make_unique<DialogMail>(w.ctx);
        d->resize(1000, 600);
        d->show(); // the first search lists every address
        d->DataGrid1->viewport()->repaint();
        all.push_back(t.nsecsElapsed() / 1e9);
        allRows = d->ResultSet->count();
        partial.push_back(timeSearch(*d, QStringLiteral("宛先1"), QStringLiteral("田中"), &partialRows));
        int n = 0;
        timeSearch(*d, SearchClauseBuilder::selectAllItem(), QString(), &n);
        t.restart();
        d->Command1_Click();
        insert.push_back(t.nsecsElapsed() / 1e9);
        if (w.sendList.count() != rows - rows / 10) {
            std::fprintf(stderr, "send list has %lld entries\n", static_cast<long long>(w.sendList.count()));
            return 1;
        }
    }
    if (allRows != rows || anchorRows != rows || partialRows == 0) {
        std::fprintf(stderr, "unexpected row counts: all=%d anchor=%d partial=%d\n", allRows, anchorRows, partialRows);
        return 1;
    }
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("rows listed: all=%d partial=%d; send list=%lld\n", allRows, partialRows,
                static_cast<long long>(w.sendList.count()));
    std::printf("search: rows=%d all_s=%.4f partial_s=%.4f insert_s=%.4f sqlite_all_s=%.4f peak_mb=%.1f\n", rows,
                median(all), median(partial), median(insert), median(anchor), ru.ru_maxrss / 1024.0);
    return 0;
}
