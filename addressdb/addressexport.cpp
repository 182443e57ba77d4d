#include "addressexport.h"

#include "addressrowmodel.h"
#include "filewrite.h"
#include "textcodec.h"

#include <QSaveFile>

namespace {

constexpr qsizetype kBatch = 1 << 18; // characters encoded and written at once

void appendField(QString &line, const QString &field)
{
    QString text = field;
    text.replace(QLatin1Char('"'), QChar(0xFF02));
    bool quote = !text.isEmpty() && (text.front() == QLatin1Char(' ') || text.front() == QLatin1Char('\t'));
    for (qsizetype i = 0; !quote && i < text.size(); ++i) {
        const QChar c = text.at(i);
        quote = c == QLatin1Char(',') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
    }
    if (quote)
        line += QLatin1Char('"') + text + QLatin1Char('"');
    else
        line += text;
}

} // namespace

QString exportLine(const RecipientFields &row)
{
    QString line;
    appendField(line, row.name1);
    line += QLatin1Char(',');
    appendField(line, row.name2);
    line += QLatin1Char(',');
    appendField(line, row.address);
    line += QStringLiteral("\r\n");
    return line;
}

RecipientSource recipientsOf(const AddressRowModel &model)
{
    return [&model](const RecipientVisitor &visit, QString *error) {
        constexpr unsigned fields = (1u << AddressRowModel::ColName1) | (1u << AddressRowModel::ColName2)
                                    | (1u << AddressRowModel::ColAddress);
        return model.readAll(
            [&](const AddressRowModel::Row &r) {
                visit({r.field(AddressRowModel::ColName1), r.field(AddressRowModel::ColName2),
                       r.field(AddressRowModel::ColAddress)});
            },
            error, fields);
    };
}

RecipientSource recipientsOf(const RecipientRows &rows)
{
    return [rows](const RecipientVisitor &visit, QString *) {
        for (qsizetype i = 0; i < rows.size(); ++i)
            visit(rows.at(i));
        return true;
    };
}

std::optional<bool> exportFitsCp932(const RecipientSource &rows, QString *unwritable, QString *error)
{
    bool fits = true;
    QString chars;
    const bool read = rows(
        [&](const RecipientFields &row) {
            const QString line = exportLine(row);
            bool lossless = true;
            encodeCp932(line, &lossless);
            if (lossless)
                return;
            fits = false;
            if (unwritable) // each character once, in the order first met
                chars = cp932Unwritable(chars + cp932Unwritable(line));
        },
        error);
    if (!read)
        return std::nullopt;
    if (unwritable)
        *unwritable = chars;
    return fits;
}

bool exportRecipients(const QString &path, const RecipientSource &rows, ExportEncoding encoding, QString *error)
{
    // why names the file: "path: reason", or the full disk.
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("ファイルを保存できませんでした。\n") + why;
        return false;
    };
    // Customer addresses: readable by the user only.
    QSaveFile file(path);
    QString why;
    if (!openPrivate(file, QIODevice::WriteOnly, &why))
        return fail(why);
    bool written = encoding != ExportEncoding::Utf8WithBom || writeFully(file, "\xEF\xBB\xBF", &why);

    QString batch;
    auto flush = [&] {
        if (written)
            written = writeFully(file, encoding == ExportEncoding::Cp932 ? encodeCp932(batch) : batch.toUtf8(), &why);
        batch.clear();
    };
    QString readError;
    const bool read = rows(
        [&](const RecipientFields &row) {
            batch += exportLine(row);
            if (batch.size() >= kBatch)
                flush();
        },
        &readError);
    // The temporary file is dropped with `file` unless committed.
    if (!read)
        return fail(path + QStringLiteral(": ") + readError);
    flush();
    if (!written || !syncToDisk(file, &why))
        return fail(why);
    if (!file.commit())
        return fail(path + QStringLiteral(": ") + file.errorString());
    return true;
}
