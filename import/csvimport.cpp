#include "csvimport.h"

#include "addressdb.h"
#include "addressedit.h"
#include "dbstatement.h"
#include "mailaddress.h"
#include "suppression.h"
#include "textcodec.h"
#include "textfile.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace {

constexpr qsizetype kStoredLength = 50;

// storedName on UTF-8 bytes: the first kStoredLength UTF-16 units (a
// character outside the basic plane counts two and is never halved), then
// the blanks at both ends dropped.
QByteArrayView storedNameUtf8(QByteArrayView s)
{
    qsizetype units = 0, i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        const int need = len == 4 ? 2 : 1;
        if (units + need > kStoredLength)
            break;
        units += need;
        i += len;
    }
    qsizetype b = 0, e = qMin(i, s.size());
    while (b < e && s[b] == ' ')
        ++b;
    while (e > b && s[e - 1] == ' ')
        --e;
    return s.sliced(b, e - b);
}

bool hasUpperOrNonAscii(QByteArrayView s)
{
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80 || (c >= 'A' && c <= 'Z'))
            return true;
    }
    return false;
}

} // namespace

QString normaliseAddress(QStringView field)
{
    qsizetype b = 0, e = field.size();
    bool ascii = true;
    for (QChar c : field)
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    if (!ascii)
        return normalisedRecipientAddress(field);
    while (b < e && field[b] == QLatin1Char(' '))
        ++b;
    while (e > b && field[e - 1] == QLatin1Char(' '))
        --e;
    QString out(e - b, Qt::Uninitialized);
    QChar *o = out.data();
    for (qsizetype i = b; i < e; ++i) {
        const char16_t c = field[i].unicode();
        *o++ = QChar(c >= 'A' && c <= 'Z' ? char16_t(c + 32) : c);
    }
    return out;
}

QString importRefusal(const QString &normalisedAddress)
{
    const MailAddress checked = parseMailAddress(normalisedAddress);
    if (!checked.isValid())
        return addressProblemTextJa(checked.problem);
    if (normalisedAddress.size() > kRecipientFieldLength)
        return QStringLiteral("%1 文字を超えていて、宛先帳に入りきりません").arg(kRecipientFieldLength);
    return {};
}

bool isImportableAddress(const QString &normalisedAddress)
{
    // Nearly every address is short and plain: the full rule only then.
    return normalisedAddress.size() <= kRecipientFieldLength && parseMailAddress(normalisedAddress).isValid();
}

ImportRecordReader::ImportRecordReader() = default;
ImportRecordReader::~ImportRecordReader() = default;

bool ImportRecordReader::open(const QString &path, QString *error)
{
    m_reader.reset();
    m_records = 0;
    m_stream = std::make_unique<TextFileStream>();
    if (!m_stream->open(path, error, {kMaxListFileBytes, kMaxLineBytes}))
        return false;
    TextFileStream *stream = m_stream.get();
    m_reader.emplace([stream](QString *more) { return stream->next(more); });
    m_reader->setMaxRecordLength(kMaxLineBytes);
    return true;
}

void ImportRecordReader::setText(const QString &text)
{
    m_stream.reset();
    m_records = 0;
    m_reader.emplace(text);
    m_reader->setMaxRecordLength(kMaxLineBytes);
}

bool ImportRecordReader::atEnd()
{
    // A file that failed between two records is not at its end: the next
    // record reports the failure.
    return !m_reader || (m_reader->atEnd() && !fileFailed());
}

bool ImportRecordReader::encodingUnknown() const
{
    return m_stream && m_stream->encodingUnknown();
}

bool ImportRecordReader::fileFailed() const
{
    return m_stream && m_stream->failed();
}

ListLimit ImportRecordReader::overLimit(qint64 *at) const
{
    qint64 where = 0;
    ListLimit limit = ListLimit::None;
    if (m_stream && m_stream->failure() == TextFileStream::Failure::FileTooLarge) {
        limit = ListLimit::File;
    } else if (m_stream && m_stream->failure() == TextFileStream::Failure::LineTooLong) {
        limit = ListLimit::Line;
        where = m_stream->failedLine();
    } else if (m_reader && m_reader->recordTooLong()) {
        limit = ListLimit::Record;
        where = m_records + 1;
    }
    if (at)
        *at = where;
    return limit;
}

bool ImportRecordReader::nextViews(QStringView *name1, QStringView *name2, QString *address, QString *error)
{
    if (!m_reader) {
        if (error)
            *error = QStringLiteral("no file open");
        return false;
    }
    QStringView fields[3];
    const bool ok = m_reader->readRecordViews(3, fields, error);
    // Bytes the file's encoding can't hold end the reading as well.
    if (m_stream && m_stream->failed()) {
        if (error)
            *error = m_stream->error();
        return false;
    }
    if (!ok)
        return false;
    ++m_records;
    *name1 = fields[0];
    *name2 = fields[1];
    *address = normaliseAddress(fields[2]);
    return true;
}

bool ImportRecordReader::next(ImportRow *row, QString *error)
{
    QStringView name1, name2;
    if (!nextViews(&name1, &name2, &row->address, error))
        return false;
    row->name1 = name1.toString();
    row->name2 = name2.toString();
    return true;
}

QStringList findDuplicates(const QStringList &sortedAddresses)
{
    QStringList out;
    for (qsizetype k = 0; k + 1 < sortedAddresses.size(); ++k)
        if (sortedAddresses.at(k) == sortedAddresses.at(k + 1))
            out.append(sortedAddresses.at(k));
    return out;
}

QStringList ImportPreview::sortedAddresses() const
{
    QStringList out;
    out.reserve(qsizetype(byAddress.size()));
    for (size_t k = 0; k < byAddress.size(); ++k)
        out.append(sortedAddress(qsizetype(k)));
    return out;
}

namespace {

ImportPreview preview(ImportRecordReader &reader)
{
    ImportPreview p;
    QStringView name1, name2;
    QString address;
    while (!reader.atEnd()) {
        if (!reader.nextViews(&name1, &name2, &address, &p.error)) {
            p.failed = true;
            p.overLimit = reader.overLimit(&p.overLimitAt);
            break;
        }
        ImportRows &to = isImportableAddress(address) ? p.usable : p.rejected;
        if (!to.append(name1, name2, address)) {
            p.failed = true;
            p.error = QStringLiteral("the file is too large");
            break;
        }
    }
    if (reader.encodingUnknown()) {
        // Nothing of a file in an unknown encoding is shown or used.
        ImportPreview none;
        none.failed = true;
        none.encodingUnknown = true;
        none.error = p.error;
        return none;
    }
    // Equal addresses side by side are all the duplicate scan needs; the
    // order is that of the UTF-8 bytes (code points).
    const ImportRows &rows = p.usable;
    p.byAddress.resize(size_t(rows.size()));
    for (size_t i = 0; i < p.byAddress.size(); ++i)
        p.byAddress[i] = quint32(i);
    // The first eight bytes as one number settle most comparisons.
    auto prefix = [](QByteArrayView v) {
        quint64 x = 0;
        std::memcpy(&x, v.data(), size_t(qMin<qsizetype>(v.size(), 8)));
        return qFromBigEndian(x);
    };
    std::stable_sort(p.byAddress.begin(), p.byAddress.end(), [&](quint32 a, quint32 b) {
        const QByteArrayView x = rows.utf8(a, 2), y = rows.utf8(b, 2);
        const quint64 px = prefix(x), py = prefix(y);
        if (px != py)
            return px < py;
        return x.size() > 8 && y.size() > 8 ? x.sliced(8) < y.sliced(8) : x.size() < y.size();
    });
    if (!p.failed) {
        for (size_t k = 0; k + 1 < p.byAddress.size(); ++k)
            if (rows.utf8(p.byAddress[k], 2) == rows.utf8(p.byAddress[k + 1], 2))
                p.duplicates.append(p.sortedAddress(qsizetype(k)));
    }
    return p;
}

} // namespace

ImportPreview previewImportText(const QString &text)
{
    ImportRecordReader reader;
    reader.setText(text);
    return preview(reader);
}

ImportPreview previewImportFile(const QString &path)
{
    ImportRecordReader reader;
    QString error;
    if (!reader.open(path, &error)) {
        ImportPreview p;
        p.failed = true;
        p.encodingUnknown = reader.encodingUnknown();
        p.overLimit = reader.overLimit(&p.overLimitAt);
        p.error = error;
        return p;
    }
    return preview(reader);
}

QString storedName(const QString &cell)
{
    return storedRecipientText(cell);
}

QString storedAddress(const QString &cell)
{
    return storedRecipientText(cell.toLower());
}

bool ImportCommitter::categoryInUse(const QString &category, QString *error) const
{
    if (!m_db || !m_db->isOpen())
        return false;
    DbStatement q(*m_db,
                  QByteArrayView("SELECT 1 FROM \"宛先\" WHERE \"インポート区分名\" = ?1 COLLATE NOCASE LIMIT 1"));
    if (!q.isValid() || !q.bindText(1, category)) {
        if (error)
            *error = q.error();
        return false;
    }
    const DbStatement::Step step = q.step();
    if (step == DbStatement::Error && error)
        *error = q.error();
    return step == DbStatement::Row;
}

ImportCommitResult ImportCommitter::commit(const QString &category, const ImportRows &rows, const QDate &today) const
{
    ImportCommitResult r;
    if (category.isEmpty()) {
        r.outcome = ImportCommitResult::EmptyCategory;
        return r;
    }
    if (categoryInUse(category)) {
        r.outcome = ImportCommitResult::CategoryInUse;
        return r;
    }
    if (rows.isEmpty())
        return r;

    auto giveUp = [&](const QString &why) {
        if (r.error.isEmpty())
            r.error = why;
        r.stored = 0;
        r.notStored = rows.size();
        r.firstId = 0;
        return r;
    };
    if (!m_db || !m_db->isOpen())
        return giveUp(QStringLiteral("no database open"));
    AddressDb &db = *m_db;

    DbTransaction transaction(db);
    if (!transaction.isActive())
        return giveUp(transaction.error());

    // The largest ID, read once; every stored row takes the next one, as
    // reading it again before each row would give.
    qint64 maxId = 0;
    {
        DbStatement q(db, QByteArrayView("SELECT max(\"宛先ID\") FROM \"宛先\""));
        if (q.step() != DbStatement::Row)
            return giveUp(q.error());
        maxId = q.int64(0); // NULL on an empty table reads as 0
    }

    DbStatement ins(db,
                    QByteArrayView("INSERT INTO \"宛先\" (\"宛先ID\", \"インポート区分名\", \"登録日\", \"送信区分\", "
                                   "\"宛先1\", \"宛先2\", \"メールアドレス\") VALUES (?1, ?2, ?3, 1, ?4, ?5, ?6)"));
    if (!ins.isValid())
        return giveUp(ins.error());
    ins.bindText(2, category);
    ins.bindText(3, today.toString(QStringLiteral("yyyy/MM/dd")));

    QByteArray lowered; // alive until the row is stepped
    for (qsizetype i = 0; i < rows.size(); ++i) {
        ins.reset();
        QByteArrayView address = rows.utf8(i, 2);
        if (hasUpperOrNonAscii(address)) {
            lowered = storedAddress(rows.text(i, 2)).toUtf8();
            address = lowered;
        } else {
            address = storedNameUtf8(address);
        }
        const bool bound = ins.bindInt64(1, maxId + 1) && ins.bindUtf8(4, storedNameUtf8(rows.utf8(i, 0)))
                           && ins.bindUtf8(5, storedNameUtf8(rows.utf8(i, 1))) && ins.bindUtf8(6, address);
        if (bound && ins.step() == DbStatement::Done) {
            ++maxId;
            if (r.stored++ == 0)
                r.firstId = maxId;
            continue;
        }
        if (r.error.isEmpty())
            r.error = ins.error();
        ++r.notStored;
        // A failed statement undoes only itself, unless the database had to
        // abandon the whole transaction; then nothing of this import is kept.
        if (!transaction.stillOpen())
            return giveUp(r.error);
    }
    ins.reset();
    // A suppressed address comes back held, whatever the file says.
    if (r.stored > 0 && (r.suppressed = holdSuppressedRows(db, r.firstId, &r.error)) < 0)
        return giveUp(r.error);
    if (!transaction.commit())
        return giveUp(transaction.error());
    return r;
}
