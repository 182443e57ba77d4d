#pragma once
// Turns the address book's search panel into SQL: the first and second
// clause of the filter and the statements built on them. Keys never enter the
// SQL text: they travel as bound parameters in the order of their
// placeholders.

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <optional>

struct SqlClause {
    QString text;        // the fragment, with "?" for each key
    QVariantList params; // values for the placeholders, in order
    QString error;       // set when the key can't be used (no date)

    bool isEmpty() const { return text.isEmpty(); }
    bool operator==(const SqlClause &) const = default;
};

// How a field's key box takes input: Japanese text (category and names),
// with the input method off (address and date), or as it already does (the
// other items, and typed text that is no item).
enum class KeyInputMode { Unchanged, Japanese, Off };

struct SqlStatement {
    QString text;
    QVariantList params;
    QString error; // a clause's error: the statement must not run
};

class SearchClauseBuilder {
public:
    // Field chooser items: the first chooser's list, and the second's (the
    // same without "すべて選択").
    static QStringList firstItems();
    static QStringList secondItems();
    static QString selectAllItem(); // "すべて選択"
    static QString heldItem();      // "送信区分　保留"
    static KeyInputMode keyInputMode(const QString &item);

    // An item that is no column (typed text) gives an empty clause.
    static SqlClause firstClause(const QString &item, const QString &key, bool exact);
    static SqlClause secondClause(const QString &item, const QString &key, bool exact);

    static SqlStatement selectStatement(const SqlClause &first, const SqlClause &second);
    static SqlStatement deleteStatement(const SqlClause &first, const SqlClause &second);
    // The same selection as selectStatement, giving only the ids: the grid
    // reads the cells it draws by id.
    static SqlStatement selectIdsStatement(const SqlClause &first, const SqlClause &second);
    static QString selectAllIdsSql();  // after a change of file
    static QString deleteAllRowsSql(); // initialisation

    // An exact date as a Japanese user types it (2005/4/1, 2005/04/01,
    // 2005-04-01, full-width digits too), in the stored form "2005/04/01".
    static std::optional<QString> normaliseDate(const QString &key);
};
