#pragma once
// Rows of three texts (name line 1, name line 2, address) kept in one UTF-8
// buffer with the end offset of each text: about a third of the memory of
// three string lists, and a copy shares the buffer until one side appends.
// Null and empty texts are not told apart.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>
#include <cstring>
#include <initializer_list>
#include <memory>

struct RecipientFields {
    QString name1;
    QString name2;
    QString address;
    bool operator==(const RecipientFields &) const = default;
};

class RecipientRows {
public:
    static constexpr int kFields = 3;

    RecipientRows() = default;
    // Rows from a list (small lists: tests, one-off callers).
    RecipientRows(const QList<RecipientFields> &rows); // NOLINT: a list reads as rows
    RecipientRows(std::initializer_list<RecipientFields> rows) : RecipientRows(QList<RecipientFields>(rows)) {}

    qsizetype size() const { return m_d ? m_d->rows() : 0; }
    bool isEmpty() const { return size() == 0; }

    QByteArrayView utf8(qsizetype row, int field) const;
    QString text(qsizetype row, int field) const { return QString::fromUtf8(utf8(row, field)); }
    RecipientFields at(qsizetype row) const;
    // at(row), or empty fields when row is out of range.
    RecipientFields value(qsizetype row) const;
    QList<RecipientFields> toList() const;

    // Appending to a copy that shares its buffer copies the buffer first.
    // False when the buffer would pass 4 GB; nothing is appended then.
    bool append(QStringView name1, QStringView name2, QStringView address);
    bool appendUtf8(QByteArrayView name1, QByteArrayView name2, QByteArrayView address);
    void clear() { m_d.reset(); }

    bool operator==(const RecipientRows &other) const;

private:
    // Bytes in memory of their own that grow in place: a large buffer is
    // mapped in 2 MB pages where the system allows it, since touching memory
    // a 4 KB page at a time costs more than filling it.
    class Buffer {
    public:
        Buffer() = default;
        Buffer(const Buffer &other);
        Buffer &operator=(const Buffer &) = delete;
        ~Buffer();
        char *data() const { return m_data; }
        qsizetype size() const { return m_size; }
        qsizetype capacity() const { return m_capacity; }
        // Room for extra more bytes; false when memory runs out.
        bool reserveMore(qsizetype extra);
        void append(const void *bytes, qsizetype n);
        void resize(qsizetype n) { m_size = n; }

    private:
        char *m_data = nullptr;
        qsizetype m_size = 0;
        qsizetype m_capacity = 0;
    };
    struct Data {
        Buffer text;
        Buffer ends; // quint32 end offsets, kFields per row
        qsizetype rows() const { return ends.size() / qsizetype(sizeof(quint32) * kFields); }
        quint32 end(qsizetype i) const
        {
            quint32 e;
            std::memcpy(&e, ends.data() + i * qsizetype(sizeof e), sizeof e);
            return e;
        }
    };
    Data &detach();
    std::shared_ptr<Data> m_d;
};
