#pragma once
// The recipients of the next send: three lists kept in step (first name line,
// second name line, address). It is also the model of the main window's
// visible recipient list: the name lines in one column, the address in the
// next.

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
    Entry entry(qsizetype i) const;
    qsizetype count() const { return m_name1.size(); }

    // Writers that append many entries bracket them, so views are told once.
    void beginBatch();
    void endBatch();

    const QStringList &lstName1() const { return m_name1; }
    const QStringList &lstName2() const { return m_name2; }
    const QStringList &lstAddress() const { return m_address; }

    // As a model: the name lines and the address of each entry.
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    void countChanged(qsizetype count);

private:
    QStringList m_name1;
    QStringList m_name2;
    QStringList m_address;
    int m_batch = 0;
};
