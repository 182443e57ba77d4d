#include "fieldreader.h"

FieldReader::FieldReader(QString text) : m_text(std::move(text)) {}

bool FieldReader::atEnd() const
{
    return m_pos >= m_text.size();
}

bool FieldReader::readRecord(int n, QStringList &out, QString *error)
{
    out.clear();
    out.reserve(n);
    for (int i = 0; i < n; ++i) {
        if (atEnd()) {
            if (error)
                *error = QStringLiteral("input ended inside a record (%1 of %2 fields)").arg(i).arg(n);
            return false;
        }
        out.append(readField());
    }
    return true;
}

QString FieldReader::readField()
{
    const qsizetype size = m_text.size();
    const QChar *d = m_text.constData();
    while (m_pos < size && (d[m_pos] == QLatin1Char(' ') || d[m_pos] == QLatin1Char('\t')))
        ++m_pos;

    auto consumeDelimiter = [&] {
        if (m_pos >= size)
            return;
        if (d[m_pos] == QLatin1Char(',')) {
            ++m_pos;
        } else if (d[m_pos] == QLatin1Char('\r')) {
            ++m_pos;
            if (m_pos < size && d[m_pos] == QLatin1Char('\n'))
                ++m_pos;
        } else if (d[m_pos] == QLatin1Char('\n')) {
            ++m_pos;
        }
    };
    auto isDelimiter = [&](qsizetype p) {
        const QChar c = d[p];
        return c == QLatin1Char(',') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
    };

    if (m_pos < size && d[m_pos] == QLatin1Char('"')) {
        const qsizetype start = m_pos + 1;
        qsizetype close = m_text.indexOf(QLatin1Char('"'), start);
        if (close < 0)
            close = size;
        QString value = m_text.mid(start, close - start);
        m_pos = close < size ? close + 1 : size;
        while (m_pos < size && !isDelimiter(m_pos))
            ++m_pos;
        consumeDelimiter();
        return value;
    }

    const qsizetype start = m_pos;
    while (m_pos < size && !isDelimiter(m_pos))
        ++m_pos;
    QString value = m_text.mid(start, m_pos - start);
    consumeDelimiter();
    return value;
}
