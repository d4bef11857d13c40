#include "quietscrollbar.h"

#include <QStyle>
#include <QStyleOptionSlider>

QuietScrollBar::Look QuietScrollBar::look() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
            value() == minimum(), value() == maximum()};
}

void QuietScrollBar::sliderChange(SliderChange change)
{
    // Orientation changes and the like go through as QScrollBar has them.
    const bool moved = change == SliderRangeChange || change == SliderStepsChange || change == SliderValueChange;
    if (moved && m_drawn && look() == m_painted)
        return;
    QScrollBar::sliderChange(change);
}

void QuietScrollBar::paintEvent(QPaintEvent *event)
{
    QScrollBar::paintEvent(event);
    m_painted = look();
    m_drawn = true;
}
