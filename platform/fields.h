#ifndef FIELDS_H
#define FIELDS_H

// Named values and the one way they are written out as JSON and CSV. Every
// record, summary, answer and report goes through here: one JSON escaping,
// one CSV quoting (RFC 4180: a cell holding a comma, a quote, a carriage
// return or a line feed is quoted, its quotes doubled).

#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

struct Field {
    QString key;    // the JSON key and CSV column
    QString label;  // the text (and HTML) name
    std::optional<QString> value;  // as JSON writes it; nullopt: null
    bool isText = false;           // a string (quoted in JSON), not a number
    bool isYield = false;          // a fraction shown as a percentage
    QString unit;                  // shown after the value in text ("mm")
};

// A number field, its value as printed; nullopt: no value.
Field numberField(const char *key, const char *label, std::optional<QString> value, const char *unit = "");
// A text field.
Field textField(const char *key, const char *label, const QString &value);

// "a\"b" with JSON's escapes.
QString jsonString(const QString &text);
// A JSON array of strings.
QString jsonStrings(const QStringList &texts);
// {"key":value,...}; `extra`: members already written ("\"k\":v"), appended.
QString jsonObject(const QVector<Field> &fields, const QStringList &extra = {});
// The value as JSON writes it: null, a quoted text or the number's digits.
QString jsonValue(const Field &field);
// A CSV cell.
QString csvCell(const QString &text);
// One CSV row of the cells, ending in a newline.
QString csvRow(const QStringList &cells);

#endif // FIELDS_H
