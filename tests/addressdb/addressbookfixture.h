#pragma once
// The address book window over a real database file, as the main window
// opens it, for the tests of its parts.

#include "addressbookwindow.h"
#include "addressfixture.h"
#include "addressrowmodel.h"
#include "testutil.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <memory>

using Ids = QList<qint64>;

inline const QString kSearchFailed = QStringLiteral("データベースの接続に失敗しました。検索条件を確認してください。");
inline const QString kConnectFailed = QStringLiteral("データベースの接続に失敗しました。");

// The address book as the main window opens it: busy pointer first, then
// the window, which activates when it is shown.
inline std::unique_ptr<DialogMail> openBook(TestWorld &w)
{
    w.platform.setBusy(true);
    auto d = std::make_unique<DialogMail>(w.ctx);
    d->show();
    return d;
}

inline QString bookPath(TestWorld &w, const QList<AddrRow> &rows = sampleRows())
{
    const QString path = w.path(QStringLiteral("book.cdb"));
    makeAddressDb(path, rows);
    w.settings->setValue(QStringLiteral("MDBFileName"), path);
    return path;
}

inline Ids shownIds(DialogMail &d)
{
    Ids out;
    for (int i = 0; i < d.ResultSet->count(); ++i)
        out << d.ResultSet->id(i);
    return out;
}

inline void search(DialogMail &d, const QString &item, const QString &key, bool exact = false)
{
    d.Combo2->setCurrentText(item);
    d.Combo2_Click();
    d.txtKey->setText(key);
    d.Check1->setChecked(exact);
    d.Command2_Click();
}
