#include "quietscrollbar.h"

#include <QStyle>
#include <QEvent>

// Where the handle lies depends on the bar's size, range, position and
// steps, which are set afresh each time; the rest of the option only when
// something else changed.
QuietScrollBar::Look QuietScrollBar::look() const
{
    if (!m_optionMade) {
        initStyleOption(&m_option);
        m_optionMade = true;
    }
    m_option.rect = rect();
    m_option.minimum = minimum();
    m_option.maximum = maximum();
    m_option.sliderPosition = sliderPosition();
    m_option.sliderValue = value();
    m_option.singleStep = singleStep();
    m_option.pageStep = pageStep();
    m_option.upsideDown = invertedAppearance();
    return {size(), style()->subControlRect(QStyle::CC_ScrollBar, &m_option, QStyle::SC_ScrollBarSlider, this),
            value() == minimum(), value() == maximum()};
}

void QuietScrollBar::changeEvent(QEvent *event)
{
    m_optionMade = false;
    QScrollBar::changeEvent(event);
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
