#ifndef QTCOMPAT_H
#define QTCOMPAT_H

// The one place where Qt 5.15 and Qt 6 differ for this program; everything
// else is written once for both. Header-only; needs Qt Core alone (the chart
// names below are declarations, not uses).
//
// - toLocaleEncoding(text): the bytes of `text` in the platform's locale
//   encoding, as the saved log files carry them: what Qt 5's QTextStream
//   wrote by default (Qt 6's writes UTF-8 everywhere). On Windows that is the
//   ANSI code page; on Linux both Qt versions take the locale's text as
//   UTF-8 whatever the locale is called (Qt 5 through ICU, Qt 6 by rule), so
//   a file is the same byte for byte under both.
// - localeEncodingIsUtf8(): true when toLocaleEncoding is plain UTF-8, so
//   text already held as UTF-8 can be written as it is.
// - qtTranslationsPath(): the folder of Qt's own translations.
// - QtCharts::Name: Qt 5 keeps the chart classes in namespace QtCharts, Qt 6
//   in Qt's own namespace; both spellings work under both.

#include <QByteArray>
#include <QLibraryInfo>
#include <QString>
#include <QtGlobal>

inline QString qtTranslationsPath()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    return QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
}

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
#include <QStringEncoder>

inline QByteArray toLocaleEncoding(const QString &text)
{
    return QStringEncoder(QStringConverter::System).encode(text);
}

inline bool localeEncodingIsUtf8()
{
#ifdef Q_OS_WIN
    return false;
#else
    return true;
#endif
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

inline bool localeEncodingIsUtf8()
{
    return QTextCodec::codecForLocale()->mibEnum() == 106;  // UTF-8
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
