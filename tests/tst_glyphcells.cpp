// Rows copied from glyph cells look exactly as the glyphs drawn one by one.

#include "widgets/glyphcells.h"

#include <QPainter>
#include <QtTest>

class TstGlyphCells : public QObject
{
    Q_OBJECT

private slots:
    void samePixelsAsGlyphRuns_data()
    {
        QTest::addColumn<int>("pixelSize");
        QTest::addColumn<bool>("italic");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QPoint>("shift");  // the painter's whole-pixel move
        QTest::addColumn<int>("format");
        QTest::addColumn<QColor>("pen");
        QTest::addColumn<QColor>("background");
        QTest::addColumn<int>("trim");     // pixels the band leaves out above and below the line
        QTest::addColumn<bool>("copies");  // the row must be copied, not declined
        const QString hex = QStringLiteral("Received:  89 81 04 D2 0C AB 2F 00 67 01 5A");
        const QString values = QStringLiteral("12:34:56.789 01234,03243,47,0103,1,");
        QTest::newRow("hex, 12 px, grey on white") << 12 << false << hex << QPoint(0, 0) << int(QImage::Format_RGB32)
                                                   << QColor(Qt::darkGray) << QColor(Qt::white) << 0 << true;
        QTest::newRow("values, 13 px, moved, premultiplied")
            << 13 << false << values << QPoint(7, 3) << int(QImage::Format_ARGB32_Premultiplied) << QColor(20, 40, 60)
            << QColor(250, 250, 240) << 0 << true;
        QTest::newRow("values, 11 px, light on dark")
            << 11 << false << values << QPoint(1, 0) << int(QImage::Format_RGB32) << QColor(230, 230, 200)
            << QColor(10, 10, 40) << 0 << true;
        QTest::newRow("every printable, 15 px, band narrower than the line")
            << 15 << false
            << QString::fromLatin1("!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                   "[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~")
            << QPoint(0, 0) << int(QImage::Format_RGB32) << QColor(Qt::black) << QColor(Qt::white) << 3 << false;
        QTest::newRow("italic, glyphs lean over each other")
            << 14 << true << QStringLiteral("ffff//WWjj") << QPoint(0, 0) << int(QImage::Format_RGB32)
            << QColor(Qt::black) << QColor(Qt::white) << 0 << false;
    }
    // Both ways draw rows 0 and 2 of a band of three, so that a copy that
    // reaches past its band or misplaces a glyph by a pixel shows.
    void samePixelsAsGlyphRuns()
    {
        QFETCH(int, pixelSize);
        QFETCH(bool, italic);
        QFETCH(QString, text);
        QFETCH(QPoint, shift);
        QFETCH(int, format);
        QFETCH(QColor, pen);
        QFETCH(QColor, background);
        QFETCH(int, trim);
        QFETCH(bool, copies);
        QFont font;
        font.setPixelSize(pixelSize);
        font.setItalic(italic);
        const AsciiGlyphs glyphs(AsciiGlyphs::unshaped(font));
        const QFontMetricsF metrics(AsciiGlyphs::unshaped(font));
        const int ascent = qCeil(metrics.ascent());
        const int height = qCeil(metrics.lineSpacing());
        const GlyphCells cells(glyphs, ascent - trim, height - 2 * trim);

        const QSize size(int(glyphs.advance(text, 0, text.size())) + 40, 3 * height + 10);
        QImage byRuns(size, QImage::Format(format));
        byRuns.fill(background);
        QImage byCells = byRuns;
        bool copied = true;
        for (int row : {0, 2}) {
            const QPoint origin(4, 2 + row * height + ascent);
            QPainter runs(&byRuns);
            runs.translate(shift);
            runs.setPen(pen);
            QVERIFY(glyphs.draw(runs, origin, text, 0, text.size()));
            QPainter copy(&byCells);
            copy.translate(shift);
            copy.setPen(pen);
            if (!cells.draw(copy, origin, text, 0, text.size(), background.rgba())) {
                copied = false;
                QVERIFY(glyphs.draw(copy, origin, text, 0, text.size()));
            }
        }
        if (copies)
            QVERIFY(copied && cells.fits(text, 0, text.size()));
        if (trim > 0)  // some glyph reaches out of the band
            QVERIFY(!cells.fits(text, 0, text.size()));
        QCOMPARE(byCells, byRuns);
    }

    // What a copy cannot take for the same pixels, it declines and leaves alone.
    void declinesWhatItCannotCopy_data()
    {
        QTest::addColumn<int>("what");
        QTest::newRow("scaled painter") << 0;
        QTest::newRow("half-transparent painter") << 1;
        QTest::newRow("see-through background") << 2;
        QTest::newRow("a character without an ASCII glyph") << 3;
    }
    void declinesWhatItCannotCopy()
    {
        QFETCH(int, what);
        QFont font;
        font.setPixelSize(12);
        const AsciiGlyphs glyphs(font);
        const GlyphCells cells(glyphs, 12, 15);
        QImage image(200, 40, QImage::Format_RGB32);
        image.fill(Qt::white);
        const QImage before = image;
        QPainter painter(&image);
        painter.setPen(Qt::black);
        QRgb background = qRgb(255, 255, 255);
        QString text = QStringLiteral("0123,4567");
        if (what == 0)
            painter.scale(1.5, 1.5);
        if (what == 1)
            painter.setOpacity(0.5);
        if (what == 2)
            background = qRgba(255, 255, 255, 128);
        if (what == 3)
            text += QChar(0x6d4b);
        QVERIFY(!cells.draw(painter, QPoint(4, 20), text, 0, text.size(), background));
        painter.end();
        QCOMPARE(image, before);
    }
};

QTEST_MAIN(TstGlyphCells)
#include "tst_glyphcells.moc"
