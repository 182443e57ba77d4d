#include "databasefiles.h"

#include "addressdb.h"
#include "searchclause.h"

#include <QFile>
#include <QFileInfo>

namespace {

bool openOn(AddressDb &db, const QString &path, const QString &defaultPath, QString *error)
{
    // Only the default database is created when missing; a path the user
    // chose must exist.
    return db.open(path, DatabaseFiles::sameFile(path, defaultPath), error);
}

} // namespace

DatabaseFiles::DatabaseFiles(AddressDb &db, const QString &defaultPath) : m_db(db), m_defaultPath(defaultPath) {}

bool DatabaseFiles::sameFile(const QString &a, const QString &b)
{
    const QFileInfo fa(a), fb(b);
    if (fa.exists() && fb.exists())
        return fa.canonicalFilePath() == fb.canonicalFilePath();
    return fa.absoluteFilePath() == fb.absoluteFilePath();
}

bool DatabaseFiles::open(const QString &path, QString *error)
{
    m_db.close();
    return openOn(m_db, path, m_defaultPath, error);
}

DatabaseFileResult DatabaseFiles::switchTo(const QString &current, const QString &path)
{
    DatabaseFileResult r;
    {
        // Tried on its own first, so a file that is no address database
        // never takes the place of the one in use.
        AddressDb candidate;
        if (!openOn(candidate, path, m_defaultPath, &r.error)) {
            r.missing = !QFileInfo::exists(path);
            return r;
        }
    }
    m_db.close();
    r.ok = openOn(m_db, path, m_defaultPath, &r.error);
    if (!r.ok)
        open(current);
    return r;
}

DatabaseFileResult DatabaseFiles::saveAs(const QString &current, const QString &target)
{
    DatabaseFileResult r;
    if (QFileInfo::exists(target) && !QFile::remove(target)) {
        r.error = QStringLiteral("cannot remove %1").arg(target);
        return r;
    }
    // The copy is taken of a closed file, so it holds every committed row.
    m_db.close();
    if (!QFile::copy(current, target))
        r.error = QStringLiteral("cannot copy %1 to %2").arg(current, target);
    else
        r = switchTo(current, target);
    if (!m_db.isOpen())
        open(current);
    return r;
}

DatabaseFileResult DatabaseFiles::compact(const QString &current)
{
    DatabaseFileResult r;
    const QString temp = compactTempPathFor(current);
    m_db.close();
    const bool compacted = AddressDb::compactFile(current, temp, &r.error);
    // Either way the connection goes on with the file in place.
    const bool reopened = open(current, compacted ? &r.error : nullptr);
    r.ok = compacted && reopened;
    // compactFile removes a copy of its own, so a file there now is left
    // from an interrupted run.
    if (!compacted && QFileInfo::exists(temp))
        r.leftover = temp;
    return r;
}

DatabaseFileResult DatabaseFiles::initialise()
{
    DatabaseFileResult r;
    r.ok = m_db.exec(SearchClauseBuilder::deleteAllRowsSql(), {}, &r.error);
    return r;
}
