#pragma once
// The recipients of the next send: rows of first name line, second name line
// and address, kept compact (a million entries fit in some tens of MB). It is also the model of the main window's
// visible recipient list: the name lines in one column, the address in the
// next.

#include "recipientrows.h"

#include <QAbstractTableModel>
#include <QStringList>

class SendList : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Entry {
        QString name1;
        QString name2;
        QString address;
        // "name1 name2 <address>", for messages about one entry.
        QString label() const;
    };

    explicit SendList(QObject *parent = nullptr);

    void clear();
    void append(const QString &name1, const QString &name2, const QString &address);
    // Replaces the whole list; the rows' buffer is shared, not copied.
    void setRows(const RecipientRows &rows);
    // Replaces the list with the given entries of `from`, in order: what a
    // run left to send, for the window, the command line and the run alike.
    void setEntries(const QList<Entry> &from, const QList<qsizetype> &which);
    const RecipientRows &rows() const { return m_rows; }
    Entry entry(qsizetype i) const;
    QString address(qsizetype i) const { return m_rows.text(i, 2); }
    qsizetype count() const { return m_rows.size(); }

    // Writers that append many entries bracket them, so views are told once.
    void beginBatch();
    void endBatch();

    // One column as a list (a copy: for short lists).
    QStringList lstName1() const { return column(0); }
    QStringList lstName2() const { return column(1); }
    QStringList lstAddress() const { return column(2); }

    // As a model: the name lines and the address of each entry.
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    void countChanged(qsizetype count);

private:
    QStringList column(int field) const;
    RecipientRows m_rows;
    int m_batch = 0;
};
