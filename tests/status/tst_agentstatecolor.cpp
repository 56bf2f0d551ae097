// The colour of a state follows the application's palette: the light variant
// on a light palette, the dark variant on a dark one.

#include "TestMain.h"
#include "status/AgentStateColor.h"

#include <QApplication>
#include <QPalette>

using namespace korvane;

namespace {

QPalette paletteWith(QColor window, QColor text)
{
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    return p;
}

} // namespace

class TestAgentStateColor : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void followsThePalette_data()
    {
        QTest::addColumn<QPalette>("palette");
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << paletteWith(QColor(0xF0F0F0), QColor(0x101010)) << false;
        QTest::newRow("dark") << paletteWith(QColor(0x1E1E1E), QColor(0xE0E0E0)) << true;
        QTest::newRow("mid grey on white text") << paletteWith(QColor(0x808080), QColor(0xFFFFFF)) << true;
    }
    void followsThePalette()
    {
        QFETCH(QPalette, palette);
        QFETCH(bool, dark);
        QApplication::setPalette(palette);
        QCOMPARE(paletteIsDark(), dark);
        for (AgentState s : kAllAgentStates)
            QCOMPARE(stateColor(s).rgb() & 0xFFFFFFu, QRgb(stateRgb(s, dark)));
    }
};

KORVANE_GUI_TEST_MAIN(TestAgentStateColor)
#include "tst_agentstatecolor.moc"
