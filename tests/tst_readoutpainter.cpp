// A label that ReadoutPainter paints looks exactly as QLabel paints it.

#include "widgets/readoutpainter.h"

#include <QLabel>
#include <QtTest>

class TstReadoutPainter : public QObject
{
    Q_OBJECT

private slots:
    void samePixelsAsQLabel_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("alignment");
        QTest::addColumn<QSize>("size");
        QTest::newRow("centred, half a pixel over") << "1234" << int(Qt::AlignCenter) << QSize(45, 22);
        QTest::newRow("centred, taller than the text") << "-32768" << int(Qt::AlignCenter) << QSize(60, 27);
        QTest::newRow("right and bottom") << "47" << int(Qt::AlignRight | Qt::AlignBottom) << QSize(41, 24);
        QTest::newRow("left and top, a blank") << "100.0 " << int(Qt::AlignLeft | Qt::AlignTop) << QSize(50, 20);
    }
    void samePixelsAsQLabel()
    {
        QFETCH(QString, text);
        QFETCH(int, alignment);
        QFETCH(QSize, size);
        QLabel label(text);
        QFont font = label.font();
        font.setStyleStrategy(QFont::PreferNoShaping);
        label.setFont(font);
        label.setAlignment(Qt::Alignment(alignment));
        label.setFixedSize(size);
        label.setAutoFillBackground(true);
        const QImage byQLabel = label.grab().toImage();
        ReadoutPainter painter;
        painter.take(&label);
        QCOMPARE(label.grab().toImage(), byQLabel);
    }
};

QTEST_MAIN(TstReadoutPainter)
#include "tst_readoutpainter.moc"
