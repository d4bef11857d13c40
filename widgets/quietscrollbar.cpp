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

// A view sets the range and then the value: the look is compared once both
// are set, when the events of the moment are handled (before the paint they
// would cause).
void QuietScrollBar::sliderChange(SliderChange change)
{
    const bool moved = change == SliderRangeChange || change == SliderStepsChange || change == SliderValueChange;
    if (!moved || !m_drawn) {
        QScrollBar::sliderChange(change);
        return;
    }
    if (m_checkPending)
        return;
    m_checkPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_checkPending = false;
            if (!(look() == m_painted))
                update();
        },
        Qt::QueuedConnection);
}

void QuietScrollBar::paintEvent(QPaintEvent *event)
{
    QScrollBar::paintEvent(event);
    m_painted = look();
    m_drawn = true;
}
