#ifndef INFORECORD_H
#define INFORECORD_H

// The answers of version, info and threshold for scripts, gathered into one
// record: one JSON object on one line, or CSV "field,value" rows under a
// header row, nested fields as "group.name" and list members as "name.1",
// "name.2"... Text output keeps the window's log lines and does not come here.
//
// Fields: hardware, firmware (version strings), range, integration,
// threshold (numbers), configuration (its fields by their names, numbers;
// TEMP_COF a list), coefficients (name; temperature_high and temperature_low
// as [x^2, x, 1]; ambient and linear as [x, 1]). A query left unanswered is
// null in JSON and empty in CSV.

#include "decode/answers.h"
#include "options.h"

#include <QByteArray>
#include <QJsonObject>

class InfoRecord
{
public:
    // The fields `answer` carries.
    void add(const Answer &answer);
    // `field` was asked for and not answered.
    void addMissing(const QString &field);

    // Csv or Json.
    QByteArray render(OutputFormat format) const;

private:
    QJsonObject object;
};

// The field an information answer fills ("range", "configuration", ...).
QString infoField(AnswerKind kind);

#endif // INFORECORD_H
