#include "recipientrows.h"

#include <QStringEncoder>
#include <limits>

namespace {
constexpr qsizetype kMaxText = std::numeric_limits<quint32>::max();
}

RecipientRows::RecipientRows(const QList<RecipientFields> &rows)
{
    for (const RecipientFields &r : rows)
        append(r.name1, r.name2, r.address);
}

RecipientRows::Data &RecipientRows::detach()
{
    if (!m_d)
        m_d = std::make_shared<Data>();
    else if (m_d.use_count() > 1)
        m_d = std::make_shared<Data>(*m_d);
    return *m_d;
}

QByteArrayView RecipientRows::utf8(qsizetype row, int field) const
{
    const qsizetype i = row * kFields + field;
    const quint32 begin = i == 0 ? 0 : m_d->ends.at(i - 1);
    return QByteArrayView(m_d->text.constData() + begin, m_d->ends.at(i) - begin);
}

RecipientFields RecipientRows::at(qsizetype row) const
{
    return {text(row, 0), text(row, 1), text(row, 2)};
}

RecipientFields RecipientRows::value(qsizetype row) const
{
    return row >= 0 && row < size() ? at(row) : RecipientFields{};
}

QList<RecipientFields> RecipientRows::toList() const
{
    QList<RecipientFields> out;
    out.reserve(size());
    for (qsizetype r = 0; r < size(); ++r)
        out.append(at(r));
    return out;
}

bool RecipientRows::append(QStringView name1, QStringView name2, QStringView address)
{
    Data &d = detach();
    const qsizetype old = d.text.size();
    // At most three bytes of UTF-8 for each UTF-16 unit.
    const qsizetype room = 3 * (name1.size() + name2.size() + address.size());
    if (old + room > kMaxText)
        return false;
    d.text.resize(old + room);
    char *const base = d.text.data();
    char *out = base + old;
    for (QStringView s : {name1, name2, address}) {
        QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
        out = encoder.appendToBuffer(out, s);
        d.ends.append(quint32(out - base));
    }
    d.text.truncate(out - base);
    return true;
}

bool RecipientRows::appendUtf8(QByteArrayView name1, QByteArrayView name2, QByteArrayView address)
{
    Data &d = detach();
    if (d.text.size() + name1.size() + name2.size() + address.size() > kMaxText)
        return false;
    for (QByteArrayView s : {name1, name2, address}) {
        d.text.append(s);
        d.ends.append(quint32(d.text.size()));
    }
    return true;
}

void RecipientRows::reserveText(qsizetype bytes)
{
    detach().text.reserve(bytes);
}

qsizetype RecipientRows::memoryUse() const
{
    return m_d ? m_d->text.capacity() + m_d->ends.capacity() * qsizetype(sizeof(quint32)) : 0;
}

bool RecipientRows::operator==(const RecipientRows &other) const
{
    if (size() != other.size())
        return false;
    if (m_d == other.m_d || isEmpty())
        return true;
    return m_d->text == other.m_d->text && m_d->ends == other.m_d->ends;
}
