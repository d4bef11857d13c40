#ifndef MESSAGE_H
#define MESSAGE_H

// The one writer of messages: "korvani-cli: what" as one line on standard
// error, in the locale's encoding, written at once and flushed. Everything
// the command line tells its user outside its output comes through here.

#include <QString>

void tell(const QString &what);

#endif // MESSAGE_H
