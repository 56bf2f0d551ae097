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
    void housingSize_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<bool>("hasLabel");
        QTest::addColumn<OverlayOrientation>("orientation");
        QTest::addColumn<int>("lineHeight");
        QTest::addColumn<QSize>("expected");

        QTest::newRow("s1 vertical") << 1.0 << false << V << 12 << QSize(52, 120);
        QTest::newRow("s1 horizontal") << 1.0 << false << H << 12 << QSize(120, 52);
        QTest::newRow("s0.5 vertical") << 0.5 << false << V << 6 << QSize(27, 61);
        QTest::newRow("s0.5 horizontal") << 0.5 << false << H << 6 << QSize(61, 27);
        QTest::newRow("s1.5 vertical") << 1.5 << false << V << 18 << QSize(77, 179);
        QTest::newRow("s3 vertical") << 3.0 << false << V << 35 << QSize(152, 356);
        QTest::newRow("s3 horizontal") << 3.0 << false << H << 35 << QSize(356, 152);
        QTest::newRow("fractions round up") << 1.25 << false << V << 15 << QSize(65, 150);
        // The caption is wider than a column of lamps: 24 + 68, rounded, plus the margin.
        QTest::newRow("s1 vertical caption") << 1.0 << true << V << 12 << QSize(94, 138);
        // A row of lamps is wider than the caption and keeps its width.
        QTest::newRow("s1 horizontal caption") << 1.0 << true << H << 12 << QSize(120, 70);
        QTest::newRow("s0.5 vertical caption") << 0.5 << true << V << 6 << QSize(48, 70);
        QTest::newRow("s1.5 vertical caption") << 1.5 << true << V << 18 << QSize(140, 206);
        QTest::newRow("s3 horizontal caption") << 3.0 << true << H << 35 << QSize(356, 205);
        QTest::newRow("line height counts") << 1.0 << true << V << 20 << QSize(94, 146);
        QTest::newRow("line height ignored without caption") << 1.0 << false << V << 40 << QSize(52, 120);
    }
    void housingSize()
    {
        QFETCH(double, scale);
        QFETCH(bool, hasLabel);
        QFETCH(OverlayOrientation, orientation);
        QFETCH(int, lineHeight);
        QFETCH(QSize, expected);
        QCOMPARE(OverlayGeometry::housingSize(scale, hasLabel, orientation, lineHeight), expected);
    }

    void rowSize_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("hasLabel");
        QTest::addColumn<OverlayOrientation>("orientation");
        QTest::addColumn<int>("lineHeight");
        QTest::addColumn<QSize>("expected");

        // No dot at all still shows the placeholder cell.
        QTest::newRow("s1 none") << 1.0 << 0 << false << V << 12 << QSize(60, 52);
        QTest::newRow("s1 one") << 1.0 << 1 << false << V << 12 << QSize(60, 52);
        QTest::newRow("s1 one horizontal") << 1.0 << 1 << false << H << 12 << QSize(60, 52);
        QTest::newRow("s1 two in a row") << 1.0 << 2 << false << H << 12 << QSize(102, 52);
        QTest::newRow("s1 three in a row") << 1.0 << 3 << false << H << 12 << QSize(144, 52);
        QTest::newRow("s1 three in a column") << 1.0 << 3 << false << V << 12 << QSize(60, 136);
        QTest::newRow("s0.5 three in a row") << 0.5 << 3 << false << H << 6 << QSize(73, 27);
        QTest::newRow("s1.5 two in a column") << 1.5 << 2 << false << V << 18 << QSize(89, 140);
        QTest::newRow("s3 three in a column") << 3.0 << 3 << false << V << 35 << QSize(176, 404);
        QTest::newRow("s1 none captioned") << 1.0 << 0 << true << H << 12 << QSize(102, 70);
        QTest::newRow("s1 three captioned column") << 1.0 << 3 << true << V << 12 << QSize(102, 190);
        QTest::newRow("s1 three captioned row") << 1.0 << 3 << true << H << 12 << QSize(270, 70);
        QTest::newRow("s0.5 two captioned row") << 0.5 << 2 << true << H << 6 << QSize(94, 36);
        QTest::newRow("s2 three captioned column") << 2.0 << 3 << true << V << 24 << QSize(202, 378);
        QTest::newRow("s3 one captioned") << 3.0 << 1 << true << V << 35 << QSize(302, 205);
    }
    void rowSize()
    {
        QFETCH(double, scale);
        QFETCH(int, count);
        QFETCH(bool, hasLabel);
        QFETCH(OverlayOrientation, orientation);
        QFETCH(int, lineHeight);
        QFETCH(QSize, expected);
        QCOMPARE(OverlayGeometry::rowSize(scale, count, hasLabel, orientation, lineHeight), expected);
    }

    void defaultOrigin_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("slot");
        QTest::addColumn<QPoint>("expected");

        const QRect laptop(0, 0, 1440, 875);
        QTest::newRow("slot 0") << laptop << 52 << 0 << QPoint(1366, 12);
        QTest::newRow("slot 1") << laptop << 52 << 1 << QPoint(1302, 12);
        QTest::newRow("slot 2") << laptop << 52 << 2 << QPoint(1238, 12);
        QTest::newRow("slot 4, wide") << laptop << 94 << 4 << QPoint(1440 - 94 - 22 - 106 * 4, 12);
        // A primary screen right of another, below a top panel.
        const QRect offset(1280, 30, 1920, 1050);
        QTest::newRow("offset slot 0") << offset << 94 << 0 << QPoint(3084, 42);
        QTest::newRow("offset slot 2") << offset << 94 << 2 << QPoint(2872, 42);
    }
    void defaultOrigin()
    {
        QFETCH(QRect, available);
        QFETCH(int, width);
        QFETCH(int, slot);
        QFETCH(QPoint, expected);
        QCOMPARE(OverlayGeometry::defaultOrigin(available, width, slot), expected);
    }

    void parsePoint_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QPoint>("expected");

        QTest::newRow("braces") << "{1366, 863}" << QPoint(1366, 863);
        QTest::newRow("negative") << "{-5, -17}" << QPoint(-5, -17);
        QTest::newRow("fractions round") << "{12.6, 3.4}" << QPoint(13, 3);
        QTest::newRow("no space") << "{7,8}" << QPoint(7, 8);
        QTest::newRow("exponent") << "{1e2, 5}" << QPoint(100, 5);
        QTest::newRow("garbage") << "garbage" << QPoint(0, 0);
        QTest::newRow("empty") << "" << QPoint(0, 0);
        QTest::newRow("only x") << "{42}" << QPoint(42, 0);
        QTest::newRow("huge stays in range") << "{1e300, -1e300}" << QPoint(1000000, -1000000);
    }
    void parsePoint()
    {
        QFETCH(QString, text);
        QFETCH(QPoint, expected);
        QCOMPARE(OverlayGeometry::parsePoint(text), expected);
    }

    void formatPoint_data()
    {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<QString>("text");
        QTest::newRow("positive") << QPoint(1366, 863) << "{1366, 863}";
        QTest::newRow("negative") << QPoint(-40, -3) << "{-40, -3}";
        QTest::newRow("zero") << QPoint(0, 0) << "{0, 0}";
    }
    void formatPoint()
    {
        QFETCH(QPoint, point);
        QFETCH(QString, text);
        QCOMPARE(OverlayGeometry::formatPoint(point), text);
        QCOMPARE(OverlayGeometry::parsePoint(text), point);
    }
};

KORVANE_TEST_MAIN(TestOverlayGeometry)
#include "tst_overlaygeometry.moc"
