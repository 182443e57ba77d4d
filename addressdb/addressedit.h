#pragma once
// Changing one cell of a recipient in table 宛先, and adding a recipient by
// hand. Entered text is stored by the rules the import stores its rows with,
// so a row typed in looks like a row imported. No widgets: the window shows
// the Japanese messages these return.

#include "addresscolumns.h"

#include <QDate>
#include <QString>
#include <QStringView>

class AddressDb;

// What the address book stores for a field, the import's rules:
// an address narrowed, in lower case and without blanks (U+0020) at either
// end; a name or category cut to its first 50 UTF-16 units (a pair never
// halved), then without blanks at either end.
QString normalisedRecipientAddress(QStringView entered);
QString storedRecipientText(const QString &entered);
constexpr qsizetype kRecipientFieldLength = 50;

// What text entered into one column becomes.
struct RecipientEdit {
    bool ok = false;        // accepted (and, from the store functions, written)
    bool shortened = false; // a name or category was cut to 50 characters
    bool held = false;      // the address is suppressed: the row was stored held, with a note
    QString value;          // the text to store; a null QString stores NULL
    qint64 id = 0;          // the row written (store functions)
    // The refusal or the database failure when !ok; the note that a text was
    // cut when ok and shortened, or of the hold when held; empty otherwise.
    QString message;
};

// The rules, per column:
//  - メールアドレス: normalised, then refused when empty ("メールアドレスを
//    入力してください。"), without "@" ("メールアドレスに「@」がありません。"),
//    longer than 50 characters (refused rather than cut, since a cut
//    address reaches somebody else), or refused by the address rule of the
//    send (parseMailAddress: a blank, a second "@", a control character, an
//    angle bracket, an invalid domain name...), the message naming why;
//  - 宛先1, 宛先2: storedRecipientText; a longer name is accepted with
//    shortened set and a note;
//  - インポート区分名: the same, and refused when nothing is left
//    ("インポート区分名を入力してください。");
//  - メモ: free text as entered, no limit; an empty memo stores NULL, as a
//    row that never had one;
//  - the other columns are not edited here.
RecipientEdit checkRecipientField(AddressColumns::Column column, const QString &entered);

// Checks the text and stores it in one cell of row id with one UPDATE.
// Nothing changes on a refusal, when the row has left the file ("この宛先は
// データベースにありません。"), or on a database failure (a lock held by
// another program, a file deleted underneath): the message then ends with
// what the database said.
RecipientEdit storeRecipientField(AddressDb &db, qint64 id, AddressColumns::Column column, const QString &entered);

struct NewRecipient {
    QString category;
    QString name1;
    QString name2;
    QString address;
    QString memo;
};

// Adds one row by the same rules: 宛先ID one more than the largest (1 in an
// empty table), 送信区分 true, 登録日 the given date as "YYYY/MM/DD". The
// first refused field refuses the whole row; notes of cut texts are joined
// by line ends. id is the new row's.
RecipientEdit addRecipient(AddressDb &db, const NewRecipient &fields, const QDate &registered);

// Whether a row other than exceptId already holds the address, compared
// exactly after normalisation, so the window can ask before a duplicate.
// A failed query counts as "not stored" and sets error.
bool addressStored(AddressDb &db, const QString &entered, qint64 exceptId = 0, QString *error = nullptr);
