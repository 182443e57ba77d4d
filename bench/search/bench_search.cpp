// Times the address book on a large table: the select-all search with the
// grid drawn, a partial match on 宛先1, and insert into the send list.
// Prints the median of several runs of each.

#include "addressbookwindow.h"
#include "addressdb.h"
#include "addressrowmodel.h"
#include "testutil.h"

#include <QApplication>
#include <QComboBox>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

bool generate(const QString &path, int rows)
{
    AddressDb db;
    if (!db.open(path, true))
        return false;
    static const char *family[] = {"山田", "鈴木", "佐藤", "高橋", "田中", "伊藤", "渡辺", "中村"};
    static const char *given[] = {"太郎", "花子", "次郎", "一郎", "美香", "健", "由美", "翔"};
    db.exec(QStringLiteral("BEGIN"));
    for (int i = 1; i <= rows; ++i) {
        const QString name = QString::fromUtf8(family[i % 8]) + QLatin1Char(' ')
                             + QString::fromUtf8(given[(i / 8) % 8]) + QString::number(i);
        const QDate d = QDate(2005, 1, 1).addDays(i % 365);
        if (!db.exec(QStringLiteral("INSERT INTO 宛先 VALUES (?, ?, ?, ?, ?, ?, ?, NULL)"),
                     {QVariant(i), QVariant(i % 10 ? 1 : 0),
                      QVariant(i % 2 ? QStringLiteral("展示会2005") : QStringLiteral("名簿")), QVariant(name),
                      QVariant(QStringLiteral("営業部")),
                      QVariant(QStringLiteral("user%1@example.jp").arg(i)), QVariant(addressDateText(d))}))
            return false;
    }
    return db.exec(QStringLiteral("COMMIT"));
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
    // The grid drawn with the new rows.
    d.DataGrid1->viewport()->repaint();
    const double s = t.nsecsElapsed() / 1e9;
    *rows = d.ResultSet->count();
    return s;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    const int runs = 5;

    TestWorld w;
    const QString path = w.path(QStringLiteral("bench.cdb"));
    if (!generate(path, rows)) {
        std::fprintf(stderr, "cannot generate %s\n", qPrintable(path));
        return 1;
    }
    w.settings->setValue(QStringLiteral("MDBFileName"), path);
    QListView mainList; // the main window's view of the send list
    mainList.setModel(&w.sendList);

    std::vector<double> all, partial, insert;
    int allRows = 0, partialRows = 0;
    for (int r = 0; r < runs; ++r) {
        w.platform.setBusy(true);
        auto d = std::make_unique<DialogMail>(w.ctx);
        d->resize(1000, 600);
        d->show();
        all.push_back(timeSearch(*d, QStringLiteral("すべて選択"), QString(), &allRows));
        partial.push_back(timeSearch(*d, QStringLiteral("宛先1"), QStringLiteral("田中"), &partialRows));
        int n = 0;
        timeSearch(*d, QStringLiteral("すべて選択"), QString(), &n);
        QElapsedTimer t;
        t.start();
        d->Command1_Click();
        insert.push_back(t.nsecsElapsed() / 1e9);
        if (w.sendList.count() != rows - rows / 10) {
            std::fprintf(stderr, "send list has %lld entries\n", static_cast<long long>(w.sendList.count()));
            return 1;
        }
    }
    if (allRows != rows || partialRows == 0) {
        std::fprintf(stderr, "unexpected row counts: all=%d partial=%d\n", allRows, partialRows);
        return 1;
    }
    std::printf("rows listed: all=%d partial=%d; send list=%lld\n", allRows, partialRows,
                static_cast<long long>(w.sendList.count()));
    std::printf("search: rows=%d all_s=%.4f partial_s=%.4f insert_s=%.4f\n", rows, median(all),
                median(partial), median(insert));
    return 0;
}
