#include "recipientrows.h"

#include <QStringEncoder>
#include <limits>
#include <sys/mman.h>

namespace {
constexpr qsizetype kMaxText = std::numeric_limits<quint32>::max();
constexpr qsizetype kPage = 4096;
constexpr qsizetype kHugePage = qsizetype(2) << 20;
// Below this a buffer keeps to small pages: a short list costs little.
constexpr qsizetype kHugeFrom = qsizetype(8) << 20;
}

RecipientRows::Buffer::Buffer(const Buffer &other)
{
    if (other.m_size > 0 && reserveMore(other.m_size)) {
        std::memcpy(m_data, other.m_data, size_t(other.m_size));
        m_size = other.m_size;
    }
}

RecipientRows::Buffer::~Buffer()
{
    if (m_data)
        munmap(m_data, size_t(m_capacity));
}

bool RecipientRows::Buffer::reserveMore(qsizetype extra)
{
    const qsizetype need = m_size + extra;
    if (need <= m_capacity)
        return true;
    qsizetype capacity = qMax(need, qMax(m_capacity * 2, qsizetype(16) * kPage));
    const qsizetype unit = capacity >= kHugeFrom ? kHugePage : kPage;
    capacity = (capacity + unit - 1) / unit * unit;
    void *p = m_data ? mremap(m_data, size_t(m_capacity), size_t(capacity), MREMAP_MAYMOVE)
                     : mmap(nullptr, size_t(capacity), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return false;
    if (capacity >= kHugeFrom)
        madvise(p, size_t(capacity), MADV_HUGEPAGE);
    m_data = static_cast<char *>(p);
    m_capacity = capacity;
    return true;
}

void RecipientRows::Buffer::append(const void *bytes, qsizetype n)
{
    if (n > 0)
        std::memcpy(m_data + m_size, bytes, size_t(n));
    m_size += n;
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
    const quint32 begin = i == 0 ? 0 : m_d->end(i - 1);
    return QByteArrayView(m_d->text.data() + begin, m_d->end(i) - begin);
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
    // At most three bytes of UTF-8 for each UTF-16 unit.
    const qsizetype room = 3 * (name1.size() + name2.size() + address.size());
    if (d.text.size() + room > kMaxText || !d.text.reserveMore(room)
        || !d.ends.reserveMore(kFields * qsizetype(sizeof(quint32))))
        return false;
    char *const base = d.text.data();
    char *out = base + d.text.size();
    for (QStringView s : {name1, name2, address}) {
        QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
        out = encoder.appendToBuffer(out, s);
        const quint32 end = quint32(out - base);
        d.ends.append(&end, sizeof end);
    }
    d.text.resize(out - base);
    return true;
}

bool RecipientRows::appendUtf8(QByteArrayView name1, QByteArrayView name2, QByteArrayView address)
{
    Data &d = detach();
    const qsizetype room = name1.size() + name2.size() + address.size();
    if (d.text.size() + room > kMaxText || !d.text.reserveMore(room)
        || !d.ends.reserveMore(kFields * qsizetype(sizeof(quint32))))
        return false;
    for (QByteArrayView s : {name1, name2, address}) {
        d.text.append(s.data(), s.size());
        const quint32 end = quint32(d.text.size());
        d.ends.append(&end, sizeof end);
    }
    return true;
}

bool RecipientRows::operator==(const RecipientRows &other) const
{
    if (size() != other.size())
        return false;
    if (m_d == other.m_d || isEmpty())
        return true;
    return m_d->text.size() == other.m_d->text.size() && m_d->ends.size() == other.m_d->ends.size()
           && std::memcmp(m_d->text.data(), other.m_d->text.data(), size_t(m_d->text.size())) == 0
           && std::memcmp(m_d->ends.data(), other.m_d->ends.data(), size_t(m_d->ends.size())) == 0;
}
