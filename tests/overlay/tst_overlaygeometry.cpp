#include "TestMain.h"
#include "overlay/OverlayGeometry.h"

using namespace korvane;

namespace {
constexpr auto V = OverlayOrientation::Vertical;
constexpr auto H = OverlayOrientation::Horizontal;
} // namespace

class TestOverlayGeometry : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parsePoint_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("braces") << "{1366, -863}" << QPoint(1366, -863);
        QTest::newRow("fractions round") << "{12.6, 3.4}" << QPoint(13, 3);
        QTest::newRow("garbage") << "garbage" << QPoint(0, 0);
        QTest::newRow("huge stays in range") << "{1e300, -1e300}" << QPoint(1000000, -1000000);
    }
    void parsePoint()
    {
        QFETCH(QString, text);
        QFETCH(QPoint, expected);
        QCOMPARE(OverlayGeometry::parsePoint(text), expected);
        QCOMPARE(OverlayGeometry::parsePoint(OverlayGeometry::formatPoint(expected)), expected);
    }
};

KORVANE_TEST_MAIN(TestOverlayGeometry)
#include "tst_overlaygeometry.moc"
