#include "linkfixture.h"

#include "chart/chartform.h"
#include "protocol/frame.h"
#include "sim/responseframes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>

LinkFixture::LinkFixture()
{
    const QWidgetList before = QApplication::topLevelWidgets();
    window = std::make_unique<MainWindow>();
    // The module in the same process answers within microseconds, but a loaded
    // machine (or a sanitizer build) may not run it within the module's 100 ms:
    // the tests wait for an answer, they do not time the module.
    window->moduleLink().setAnswerTimeout(5000);
    // Shown (offscreen) so that clicks land as a user's would.
    window->show();
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (!before.contains(w) && qobject_cast<ChartForm *>(w))
            chart = static_cast<ChartForm *>(w);
    }
}

bool LinkFixture::openPort()
{
    if (!sim.isOpen() && !sim.open())
        return false;
    auto *ports = widget<QComboBox>("serialBox");
    ports->insertItem(0, sim.portName());
    ports->setCurrentIndex(0);
    click("pButtonOpen");
    return text("serialMsg") == QStringLiteral("成功");
}

// As a user's click: nothing happens on a disabled button, and it works
// whichever tab is in front.
void LinkFixture::click(const char *name) const
{
    widget<QAbstractButton>(name)->click();
}

QString LinkFixture::text(const char *name) const
{
    if (auto *view = widget<LogView>(name))
        return view->toPlainText();
    auto *label = widget<QLabel>(name);
    return label ? label->text() : QString();
}

static QStringList lines(const QString &text)
{
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

QStringList LinkFixture::hexLog() const
{
    return lines(text("HEXBrowser"));
}
QStringList LinkFixture::textLog() const
{
    return lines(text("outputBrowser"));
}
QStringList LinkFixture::testLog() const
{
    return lines(text("Func_log"));
}

QByteArray measurementFrame(quint16 distance)
{
    return measurementFrame(SensorReading{distance, 3243, 47, 103, 1});
}
