#include "fieldreader.h"

FieldReader::FieldReader(QString text) : m_text(std::move(text)) {}

FieldReader::FieldReader(Source source) : m_source(std::move(source)) {}

bool FieldReader::refill()
{
    if (!m_source)
        return false;
    QString more;
    while (more.isEmpty()) {
        if (!m_source(&more)) {
            m_source = nullptr;
            return false;
        }
    }
    // Keep the part still needed (the record being read), drop the rest.
    const qsizetype drop = m_keep;
    for (Field &f : m_fields)
        f.begin -= drop;
    m_pos -= drop;
    m_keep = 0;
    m_text.remove(0, drop);
    m_text += more;
    return true;
}

bool FieldReader::hasInput()
{
    while (m_pos >= m_text.size()) {
        if (!refill())
            return false;
    }
    return true;
}

bool FieldReader::atEnd()
{
    m_keep = m_pos;
    return !hasInput();
}

bool FieldReader::scanField(Field *field, bool final)
{
    const qsizetype size = m_text.size();
    const QChar *d = m_text.constData();
    auto isDelimiter = [&](qsizetype i) {
        const QChar c = d[i];
        return c == QLatin1Char(',') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
    };
    qsizetype p = m_pos;
    while (p < size && (d[p] == QLatin1Char(' ') || d[p] == QLatin1Char('\t')))
        ++p;
    if (p < size && d[p] == QLatin1Char('"')) {
        field->begin = p + 1;
        qsizetype close = m_text.indexOf(QLatin1Char('"'), p + 1);
        if (close < 0) {
            if (!final)
                return false;
            close = size;
        }
        field->length = close - field->begin;
        p = close < size ? close + 1 : size;
        while (p < size && !isDelimiter(p))
            ++p;
    } else {
        field->begin = p;
        while (p < size && !isDelimiter(p))
            ++p;
        field->length = p - field->begin;
    }
    if (p >= size && !final)
        return false;
    // The delimiter: a comma, LF, CR or CR LF.
    if (p < size) {
        if (d[p] == QLatin1Char('\r')) {
            if (p + 1 >= size && !final)
                return false;
            if (p + 1 < size && d[p + 1] == QLatin1Char('\n'))
                ++p;
        }
        ++p;
    }
    m_pos = p;
    return true;
}

bool FieldReader::readField(Field *field)
{
    while (!scanField(field, false)) {
        // Everything held from the record's start belongs to it now, but
        // for a CR that waits for its LF.
        if (m_maxRecord > 0 && m_text.size() - m_keep - 1 > m_maxRecord)
            return false;
        if (!refill()) {
            scanField(field, true);
            break;
        }
    }
    return true;
}

bool FieldReader::readRecordViews(int n, QStringView *out, QString *error)
{
    Q_ASSERT(n <= kMaxViews);
    m_keep = m_pos; // the record's text must survive a refill
    int got = 0;
    m_tooLong = false;
    while (got < n && hasInput() && !m_tooLong) {
        m_tooLong = !readField(&m_fields[got]);
        if (!m_tooLong)
            ++got;
    }
    // A record read whole is measured up to the end of its last field.
    if (!m_tooLong && got > 0 && m_maxRecord > 0)
        m_tooLong = m_fields[got - 1].begin + m_fields[got - 1].length - m_keep > m_maxRecord;
    if (m_tooLong) {
        m_got = 0;
        if (error)
            *error = QStringLiteral("longer than %1 characters").arg(m_maxRecord);
        return false;
    }
    for (int k = 0; k < got; ++k)
        out[k] = QStringView(m_text).sliced(m_fields[k].begin, m_fields[k].length);
    m_got = got;
    if (got < n) {
        if (error)
            *error = QStringLiteral("input ended inside a record (%1 of %2 fields)").arg(got).arg(n);
        return false;
    }
    return true;
}

bool FieldReader::readRecord(int n, QStringList &out, QString *error)
{
    out.clear();
    QStringView views[kMaxViews];
    const bool ok = readRecordViews(qMin(n, int(kMaxViews)), views, error);
    for (int i = 0; i < m_got; ++i)
        out.append(views[i].toString());
    return ok;
}
