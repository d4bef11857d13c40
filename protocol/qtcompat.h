#ifndef QTCOMPAT_H
#define QTCOMPAT_H

// The one place where Qt 5.15 and Qt 6 differ for this program; everything
// else is written once for both. Header-only; needs Qt Core alone (the chart
// names below are declarations, not uses).
//
// - toLocaleEncoding(text): the bytes of `text` in the platform's locale
//   encoding, as the saved log files carry them. Qt 5's QTextStream wrote
//   this encoding by default, Qt 6's writes UTF-8; Qt 6's "System" encoding
//   is UTF-8 on every Unix whatever the locale, so there the locale's own
//   character set is asked for by name. Characters the encoding lacks come
//   out as its substitution character, as with Qt 5.
// - QtCharts::Name: Qt 5 keeps the chart classes in namespace QtCharts, Qt 6
//   in Qt's own namespace; both spellings work under both.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
#include <QStringEncoder>
#ifdef Q_OS_UNIX
#include <langinfo.h>
#endif

inline QByteArray toLocaleEncoding(const QString &text)
{
#ifdef Q_OS_UNIX
    QStringEncoder encoder(nl_langinfo(CODESET));
    if (!encoder.isValid())
        encoder = QStringEncoder(QStringConverter::System);
#else
    QStringEncoder encoder(QStringConverter::System);
#endif
    return encoder.encode(text);
}

QT_BEGIN_NAMESPACE
class QChart;
class QChartView;
class QLegend;
class QLegendMarker;
class QLineSeries;
class QValueAxis;
QT_END_NAMESPACE

namespace QtCharts {
using QT_PREPEND_NAMESPACE(QChart);
using QT_PREPEND_NAMESPACE(QChartView);
using QT_PREPEND_NAMESPACE(QLegend);
using QT_PREPEND_NAMESPACE(QLegendMarker);
using QT_PREPEND_NAMESPACE(QLineSeries);
using QT_PREPEND_NAMESPACE(QValueAxis);
}

#else
#include <QTextCodec>

inline QByteArray toLocaleEncoding(const QString &text)
{
    return QTextCodec::codecForLocale()->fromUnicode(text);
}

namespace QtCharts {
class QChart;
class QChartView;
class QLegend;
class QLegendMarker;
class QLineSeries;
class QValueAxis;
}
#endif

#endif // QTCOMPAT_H
