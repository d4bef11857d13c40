#include "quietscrollbar.h"

#include <QStyle>
#include <QStyleOptionSlider>

QuietScrollBar::Look QuietScrollBar::look() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return {size(), style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
            value() == minimum(), value() == maximum()};
}

// A view sets the range and then the value: the look is compared once both
// are set, when the events of the moment are handled (before the paint they
// would cause), with the look last asked for. Any paint in between draws the
// bar as it is then, so the screen never keeps an older look.
void QuietScrollBar::sliderChange(SliderChange change)
{
    const bool moved = change == SliderRangeChange || change == SliderStepsChange || change == SliderValueChange;
    if (!moved) {
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
            const Look now = look();
            if (!(now == m_asked)) {
                m_asked = now;
                update();
            }
        },
        Qt::QueuedConnection);
}
