#include "TestMain.h"
#include "overlay/OverlayGeometry.h"

using namespace korvane;

namespace {
const QRect kLaptop(0, 0, 1440, 875);
const QRect kRightOfIt(1440, 0, 1920, 1050);
} // namespace

class TestOverlayGeometry : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void defaultPlaces_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("slot");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("first") << kLaptop << QSize(94, 138) << 0 << QPoint(1324, 12);
        QTest::newRow("last of a line") << kLaptop << QSize(94, 138) << 12 << QPoint(52, 12);
        QTest::newRow("next line") << kLaptop << QSize(94, 138) << 13 << QPoint(1324, 162);
        QTest::newRow("large lights wrap sooner") << kLaptop << QSize(278, 410) << 4 << QPoint(1140, 434);
        QTest::newRow("past the last line") << kLaptop << QSize(94, 420) << 26 << QPoint(1324, 12);
        QTest::newRow("offset screen")
            << QRect(1280, 30, 1920, 1050) << QSize(94, 138) << 1 << QPoint(2978, 42);
    }
    void defaultPlaces()
    {
        QFETCH(QRect, available);
        QFETCH(QSize, size);
        QFETCH(int, slot);
        QFETCH(QPoint, expected);
        QCOMPARE(OverlayGeometry::defaultOrigin(available, size, slot), expected);
        for (int s = 0; s < 100; ++s)
            QVERIFY(available.contains(QRect(OverlayGeometry::defaultOrigin(available, size, s), size)));
    }

    void savedPlacesAreFitted_data()
    {
        QTest::addColumn<QList<QRect>>("screens");
        QTest::addColumn<QPoint>("origin");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("expected");
        const QList<QRect> two{kLaptop, kRightOfIt};
        QTest::newRow("inside") << two << QPoint(100, 100) << QSize(52, 120) << QPoint(100, 100);
        QTest::newRow("screen gone") << two << QPoint(4000, 500) << QSize(52, 120) << QPoint(3308, 500);
        QTest::newRow("across two") << two << QPoint(1420, 100) << QSize(52, 120) << QPoint(1440, 100);
        QTest::newRow("above the top") << two << QPoint(10, -50) << QSize(52, 120) << QPoint(10, 0);
        QTest::newRow("below, on the taller")
            << two << QPoint(1500, 1000) << QSize(52, 120) << QPoint(1500, 930);
        QTest::newRow("wider than the screen")
            << QList<QRect>{kLaptop} << QPoint(50, 5) << QSize(2000, 50) << QPoint(0, 5);
        QTest::newRow("no screen") << QList<QRect>() << QPoint(200, 800) << QSize(52, 120)
                                   << QPoint(200, 800);
    }
    void savedPlacesAreFitted()
    {
        QFETCH(QList<QRect>, screens);
        QFETCH(QPoint, origin);
        QFETCH(QSize, size);
        QFETCH(QPoint, expected);
        QCOMPARE(OverlayGeometry::fitted(origin, size, screens), expected);
    }

    void growingKeepsTheNearestEdges_data()
    {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("near the left") << QRect(20, 12, 102, 52) << QSize(144, 52) << QPoint(20, 12);
        QTest::newRow("near the right") << QRect(1316, 12, 102, 52) << QSize(144, 52) << QPoint(1274, 12);
        QTest::newRow("near the bottom") << QRect(600, 800, 60, 52) << QSize(60, 136) << QPoint(600, 716);
    }
    void growingKeepsTheNearestEdges()
    {
        QFETCH(QRect, frame);
        QFETCH(QSize, size);
        QFETCH(QPoint, expected);
        QCOMPARE(OverlayGeometry::resizedOrigin(frame, size, kLaptop), expected);
    }
};

KORVANE_TEST_MAIN(TestOverlayGeometry)
#include "tst_overlaygeometry.moc"
