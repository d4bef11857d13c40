#ifndef QUIETSCROLLBAR_H
#define QUIETSCROLLBAR_H

// A vertical scroll bar that is drawn again only when what it shows changes:
// the handle's place and length in pixels, and whether it rests at either
// end (the arrows there look disabled). A log view that grows by a few
// lines each display moves its handle by a pixel only every few displays;
// QScrollBar would repaint on every change of value or range. Other changes
// (orientation, appearance) repaint as QScrollBar does.
// GUI thread only.

#include <QRect>
#include <QScrollBar>
#include <QStyleOptionSlider>

class QuietScrollBar : public QScrollBar
{
public:
    explicit QuietScrollBar(QWidget *parent = nullptr) : QScrollBar(Qt::Vertical, parent) {}

protected:
    void sliderChange(SliderChange change) override;
    void changeEvent(QEvent *event) override;

private:
    struct Look {
        QSize size;
        QRect handle;
        bool atMinimum = false;
        bool atMaximum = false;
        bool operator==(const Look &o) const
        {
            return size == o.size && handle == o.handle && atMinimum == o.atMinimum && atMaximum == o.atMaximum;
        }
    };
    Look look() const;

    Look m_asked;  // the look of the last repaint asked for
    // The style's view of the bar, made afresh only when the bar's style,
    // palette, font or state change: making it was most of a look().
    mutable QStyleOptionSlider m_option;
    mutable bool m_optionMade = false;
    bool m_checkPending = false;
};

#endif // QUIETSCROLLBAR_H
