#pragma once
// The columns of table 宛先 in their stored order: the grid's row model shows
// them and the recipient rules name the one being changed.

#include <QString>
#include <QStringList>

struct AddressColumns {
    enum Column { ColId, ColFlag, ColCategory, ColName1, ColName2, ColAddress, ColDate, ColMemo, ColumnCount };

    static QStringList columnNames()
    {
        return {QStringLiteral("宛先ID"), QStringLiteral("送信区分"), QStringLiteral("インポート区分名"),
                QStringLiteral("宛先1"),  QStringLiteral("宛先2"),    QStringLiteral("メールアドレス"),
                QStringLiteral("登録日"), QStringLiteral("メモ")};
    }
};
