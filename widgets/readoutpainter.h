#ifndef READOUTPAINTER_H
#define READOUTPAINTER_H

// Paints labels whose value changes up to every display (the window's
// readouts) as QLabel paints them: the text in the label's font and
// foreground colour, aligned in its contents rectangle as QPainter::drawText
// aligns one line. QLabel lays its text out on every paint, which was most
// of the cost of showing a new value; this places the glyphs by their
// advances (AsciiGlyphs), and the pixels are the same.
//
// Whatever QLabel would draw differently is left to QLabel: a frame, margin,
// indent, word wrap, a disabled label, rich text or a shortcut, text that is
// not printable ASCII or does not fit. GUI thread only.

#include "asciiglyphs.h"

#include <QHash>
#include <QObject>

class QLabel;

class ReadoutPainter : public QObject
{
public:
    explicit ReadoutPainter(QObject *parent = nullptr) : QObject(parent) {}

    // From now on, paints the label; its font asks for no shaping
    // (AsciiGlyphs::unshaped), so that QLabel, where it still paints,
    // places the glyphs the same way.
    void take(QLabel *label);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Face {
        QFont font;
        AsciiGlyphs glyphs;
        qreal ascent = 0, descent = 0;
    };
    const Face &faceOf(const QLabel *label);
    bool paint(QLabel *label);

    QHash<const QLabel *, Face> m_faces;
};

#endif // READOUTPAINTER_H
