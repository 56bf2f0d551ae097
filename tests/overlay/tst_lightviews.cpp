#include "FakeClock.h"
#include "StateFiles.h"
#include "TestMain.h"
#include "overlay/CombinedLightView.h"
#include "overlay/DotStripView.h"
#include "overlay/Lamps.h"
#include "overlay/LightHousing.h"
#include "overlay/LightStyle.h"
#include "overlay/StatusDot.h"
#include "overlay/TrafficLightOverlay.h"
#include "overlay/WindowLightView.h"
#include "status/AgentStateColor.h"
#include "status/StatusStore.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <memory>

using namespace korvane;

namespace {

constexpr auto V = OverlayOrientation::Vertical;
constexpr auto H = OverlayOrientation::Horizontal;

// The widget's pixels, straight (not premultiplied) alpha.
QImage grabbed(QWidget& w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

QColor at(const QImage& image, QPointF p)
{
    return image.pixelColor(p.toPoint());
}

bool near(const QColor& a, const QColor& b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

QString describe(const QColor& c)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

// A lamp filled at `opacity` over the plate, over nothing: straight-alpha result.
QColor overPlate(const QColor& c, double opacity)
{
    const double as = qRound(opacity * 255) / 255.0;
    const double ap = qRound(LightStyle::kPlateOpacity * 255) / 255.0;
    const double a = as + ap * (1 - as);
    const auto ch = [&](int v) { return qRound(v * as / a); }; // the plate is black
    return QColor(ch(c.red()), ch(c.green()), ch(c.blue()), qRound(a * 255));
}

// A point in the housing's padding beside lamp i, 6 px beyond its edge at s = 2.
QPointF besideLamp(const Lamps& lamps, int i)
{
    const QPointF c = lamps.lampCenter(i);
    const double reach = 13 * lamps.scale() + 6;
    return lamps.orientation() == V ? c + QPointF(reach, 0) : c + QPointF(0, reach);
}

int brightPixels(const QImage& image, const QRectF& area)
{
    int n = 0;
    const QRect r = area.toAlignedRect().intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x)
            n += image.pixelColor(x, y).lightness() > 120 ? 1 : 0;
    }
    return n;
}

class PaintCounter : public QObject {
public:
    int paints = 0;
    void watch(QWidget* w)
    {
        w->installEventFilter(this);
        for (QWidget* child : w->findChildren<QWidget*>())
            child->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

class TestLightViews : public QObject {
    Q_OBJECT

    test::FakeClock m_clock;
    test::StateFiles m_files;
    std::unique_ptr<StatusStore> m_store;

    double now() const { return m_clock.now(); }

private Q_SLOTS:
    void init()
    {
        m_files.clear();
        m_store = std::make_unique<StatusStore>(m_clock);
    }
    void cleanup() { m_store.reset(); }

    void lamps_data()
    {
        QTest::addColumn<AgentState>("state");
        QTest::addColumn<OverlayOrientation>("orientation");
        QTest::addColumn<int>("lit"); // -1: none

        for (const auto o : {V, H}) {
            const char* name = o == V ? "vertical" : "horizontal";
            QTest::addRow("waiting %s", name) << AgentState::Waiting << o << 0;
            QTest::addRow("error %s", name) << AgentState::Error << o << 0;
            QTest::addRow("working %s", name) << AgentState::Working << o << 1;
            QTest::addRow("idle %s", name) << AgentState::Idle << o << 2;
            QTest::addRow("unknown %s", name) << AgentState::Unknown << o << -1;
        }
    }
    void lamps()
    {
        QFETCH(AgentState, state);
        QFETCH(OverlayOrientation, orientation);
        QFETCH(int, lit);

        LightHousing housing(state, 2.0, std::nullopt, orientation);
        LightHousing dark(AgentState::Unknown, 2.0, std::nullopt, orientation);
        const QImage image = grabbed(housing);
        const QImage reference = grabbed(dark);
        const Lamps& lamps = *housing.lamps();

        for (int i = 0; i < 3; ++i) {
            const QColor color = LightStyle::lampColor(i);
            const QColor center = at(image, lamps.lampCenter(i));
            const QColor beside = at(image, besideLamp(lamps, i));
            const QColor plainBeside = at(reference, besideLamp(lamps, i));
            if (i == lit) {
                QVERIFY2(near(center, color, 1), qPrintable(describe(center)));
                // Glow: the plate beside a lit lamp takes the lamp's colour.
                QVERIFY2(beside.lightness() > plainBeside.lightness() + 10, qPrintable(describe(beside)));
                QVERIFY2(std::abs(beside.hue() - color.hue()) <= 12, qPrintable(describe(beside)));
            } else {
                const QColor dim = overPlate(color, LightStyle::kDimOpacity);
                QVERIFY2(near(center, dim, 3), qPrintable(describe(center) + " vs " + describe(dim)));
                QCOMPARE(beside, plainBeside); // no glow
            }
        }
    }

    void litLampsAreTheStandardColors()
    {
        // The lamps use the palette's red, orange and green, not the state's colour.
        QCOMPARE(LightStyle::lampColor(0), QColor(0xFF3B30));
        QCOMPARE(LightStyle::lampColor(1), QColor(0xFF9500));
        QCOMPARE(LightStyle::lampColor(2), QColor(0x34C759));
    }

    void stateChangeFades()
    {
        LightHousing housing(AgentState::Idle, 1.0, std::nullopt, V);
        housing.show();
        QVERIFY(QTest::qWaitForWindowExposed(&housing));
        housing.setState(AgentState::Working);
        // Not there at once: the lamps cross-fade.
        QVERIFY(housing.lamps()->levels()[1] < 1.0);
        QVERIFY(housing.lamps()->levels()[2] > 0.0);
        QTRY_COMPARE(housing.lamps()->levels(), (std::array<double, 3>{0, 1, 0}));
    }

    void dot_data()
    {
        QTest::addColumn<AgentState>("state");
        for (AgentState s : kAllAgentStates)
            QTest::newRow(qPrintable(rawValue(s))) << s;
    }
    void dot()
    {
        QFETCH(AgentState, state);
        StatusDot dot(state, 2.0);
        const QImage image = grabbed(dot);
        const QColor color = stateColor(state);
        const QPointF c = dot.dotCenter();
        QVERIFY2(near(at(image, c), color, 1), qPrintable(describe(at(image, c))));
        // The dot always glows, also grey for unknown.
        const QColor glow = at(image, c + QPointF(26 + 6, 0));
        QVERIFY2(glow.alpha() > 25, qPrintable(describe(glow)));
        QVERIFY2(near(QColor(glow.rgb()), color, 12), qPrintable(describe(glow)));
        // Far outside the glow there is nothing.
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
    }

    void paintingReusesItsPixmaps()
    {
        LightStyle::clearCaches();
        LightHousing housing(AgentState::Working, 1.5, std::nullopt, V);
        const QImage first = housing.grab().toImage();
        QCOMPARE(LightStyle::glowCacheSize(), 1); // only the lit lamp glows
        const int sprites = LightStyle::spriteCacheSize();
        QVERIFY(sprites > 0);
        // Painting again makes nothing new and gives the same pixels.
        QCOMPARE(housing.grab().toImage(), first);
        QCOMPARE(LightStyle::glowCacheSize(), 1);
        QCOMPARE(LightStyle::spriteCacheSize(), sprites);
        LightHousing other(AgentState::Idle, 1.5, std::nullopt, V);
        other.grab();
        QCOMPARE(LightStyle::glowCacheSize(), 2);
    }

    void cachedPaintingMatchesDirectPainting_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QPointF>("offset");
        QTest::addColumn<qreal>("dpr");
        QTest::newRow("s1 on the grid") << 1.0 << QPointF(0, 0) << 1.0;
        QTest::newRow("s1.25 between pixels") << 1.25 << QPointF(0.5, 0.375) << 1.0;
        QTest::newRow("s3 between pixels") << 3.0 << QPointF(0.25, 0.75) << 1.0;
        QTest::newRow("s1 at device pixel ratio 2") << 1.0 << QPointF(0.5, 0.25) << 2.0;
    }
    void cachedPaintingMatchesDirectPainting()
    {
        // A plate and a lamp body painted from the caches against the same shapes
        // painted straight onto the image.
        QFETCH(double, scale);
        QFETCH(QPointF, offset);
        QFETCH(qreal, dpr);
        const QSize size(200, 300);
        QImage cached(size * dpr, QImage::Format_ARGB32_Premultiplied);
        cached.setDevicePixelRatio(dpr);
        cached.fill(Qt::transparent);
        QImage direct = cached;
        const QRectF plate(QPointF(10, 10) + offset, QSizeF(50 * scale, 118 * scale));
        const QPointF center = QPointF(80, 60) + offset;
        const QColor fill(0xFF, 0x95, 0x00, qRound(LightStyle::kDimOpacity * 255));
        {
            QPainter p(&cached);
            LightStyle::paintPlate(p, plate, scale);
            LightStyle::paintBody(p, center, scale, QColor(0xFF9500), LightStyle::kDimOpacity);
        }
        {
            QPainter p(&direct);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(QPen(QColor(255, 255, 255, qRound(LightStyle::kPlateStrokeOpacity * 255)), 1.0));
            p.setBrush(QColor(0, 0, 0, qRound(LightStyle::kPlateOpacity * 255)));
            p.drawRoundedRect(plate, 16 * scale, 16 * scale);
            p.setPen(QPen(QColor(0, 0, 0, qRound(LightStyle::kLampStrokeOpacity * 255)), 1.0));
            p.setBrush(fill);
            p.drawEllipse(center, 13 * scale, 13 * scale);
        }
        int worst = 0;
        for (int y = 0; y < cached.height(); ++y) {
            for (int x = 0; x < cached.width(); ++x) {
                const QRgb a = cached.pixel(x, y);
                const QRgb b = direct.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                  std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
            }
        }
        QVERIFY2(worst <= 8, qPrintable(QString::number(worst)));
    }

    void caption_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("cut");
        QTest::newRow("short at 1") << 1.0 << "korvane" << false;
        QTest::newRow("long at 1") << 1.0 << "a-rather-long-project-name-that-goes-on" << true;
        QTest::newRow("long at 0.5") << 0.5 << "a-rather-long-project-name-that-goes-on" << true;
        QTest::newRow("long at 3") << 3.0 << "a-rather-long-project-name-that-goes-on" << true;
    }
    void caption()
    {
        QFETCH(double, scale);
        QFETCH(QString, text);
        QFETCH(bool, cut);
        const QString shown = LightStyle::elidedCaption(text, scale);
        QVERIFY(QFontMetricsF(LightStyle::captionFont(scale)).horizontalAdvance(shown) <= 68 * scale);
        if (!cut) {
            QCOMPARE(shown, text);
            return;
        }
        // Cut in the middle: both ends stay.
        const qsizetype ellipsis = shown.indexOf(QChar(0x2026));
        QVERIFY2(ellipsis > 0 && ellipsis < shown.size() - 1, qPrintable(shown));
        QVERIFY(text.startsWith(shown.left(ellipsis)));
        QVERIFY(text.endsWith(shown.mid(ellipsis + 1)));
    }

    void paintedSizesMatchPanelSizes_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<OverlayOrientation>("orientation");
        for (double s : {0.5, 1.0, 1.25, 1.5, 3.0}) {
            QTest::addRow("vertical %g", s) << s << V;
            QTest::addRow("horizontal %g", s) << s << H;
        }
    }
    void paintedSizesMatchPanelSizes()
    {
        // The caption's line is measured once for painting and once for the panel;
        // the two must agree, or captions are cut or float.
        QFETCH(double, scale);
        QFETCH(OverlayOrientation, orientation);
        const int margin = 2;
        for (bool labelled : {false, true}) {
            LightHousing housing(AgentState::Idle, scale,
                                 labelled ? std::optional<QString>(u"x"_qs) : std::nullopt, orientation);
            QCOMPARE(housing.sizeHint() + QSize(margin, margin),
                     TrafficLightOverlay::housingSize(scale, labelled, orientation));
            if (labelled) {
                QCOMPARE(housing.captionRect().height(), double(LightStyle::captionLineHeight(scale)));
                QVERIFY(housing.plateRect().contains(housing.captionRect()));
            }
            DotStripView strip(*m_store, labelled, scale, orientation, false, {});
            QCOMPARE(strip.sizeHint() + QSize(margin, margin),
                     TrafficLightOverlay::rowSize(scale, 1, labelled, orientation));
        }
        const QFont font = LightStyle::captionFont(scale);
        QCOMPARE(font.pixelSize(), qRound(10 * scale));
        QCOMPARE(font.weight(), QFont::Medium);
    }

    void housingCaptionIsDrawn()
    {
        LightHousing housing(AgentState::Idle, 1.0, u"korvane"_qs, H);
        const QImage image = grabbed(housing);
        QVERIFY(brightPixels(image, housing.captionRect()) > 20);
        // Under the lamps, also in a horizontal light.
        QVERIFY(housing.captionRect().top() > housing.lamps()->lampCenter(0).y());
        QCOMPARE(housing.captionRect().center().x(), housing.lamps()->lampCenter(1).x());
    }

    void emptyStripShowsTheAgentCell_data()
    {
        QTest::addColumn<bool>("labels");
        QTest::newRow("captions") << true;
        QTest::newRow("no captions") << false;
    }
    void emptyStripShowsTheAgentCell()
    {
        QFETCH(bool, labels);
        DotStripView strip(*m_store, labels, 1.0, H, false, {});
        const auto cells = strip.cells();
        QCOMPARE(cells.size(), std::size_t(1));
        QVERIFY(!cells[0].id.has_value());
        QCOMPARE(cells[0].state, m_store->state());
        QCOMPARE(cells[0].label, labels ? std::optional<QString>(u"Agent"_qs) : std::nullopt);
        QCOMPARE(strip.dot(0)->state(), AgentState::Unknown);
        const QImage image = grabbed(strip);
        if (labels)
            QVERIFY(brightPixels(image, strip.captionRect(0)) > 20);
        else
            QVERIFY(strip.captionRect(0).isEmpty());
    }

    void stripFollowsTheStore()
    {
        m_files.write(u"a"_qs, u"idle"_qs, now() - 30, u"/w/alpha"_qs, u"c1"_qs);
        m_files.write(u"b"_qs, u"working"_qs, now() - 20, u"/w/beta"_qs, u"c2"_qs);
        m_files.write(u"c"_qs, u"waiting"_qs, now() - 10, u"/w/gamma"_qs, u"c3"_qs);
        m_store->refresh();

        // Ids in the order come first; the rest follow in the store's order
        // (working first, then newest); unknown ids are ignored.
        DotStripView strip(*m_store, true, 1.0, H, false, {u"/w/alpha"_qs, u"/w/none"_qs});
        auto ids = [&strip] {
            QStringList out;
            for (const auto& cell : strip.cells())
                out << cell.id.value_or(u"<agent>"_qs);
            return out;
        };
        QCOMPARE(ids(), (QStringList{u"/w/alpha"_qs, u"/w/beta"_qs, u"/w/gamma"_qs}));
        QCOMPARE(strip.cells()[0].label, std::optional<QString>(u"alpha"_qs));
        StatusDot* alphaDot = strip.dot(0);

        // A state change keeps the dot, which then shows the new colour.
        m_files.write(u"a"_qs, u"error"_qs, now() - 5, u"/w/alpha"_qs, u"c1"_qs);
        m_store->refresh();
        QCOMPARE(strip.dot(0), alphaDot);
        QCOMPARE(alphaDot->state(), AgentState::Error);

        m_files.clear();
        m_store->refresh();
        QCOMPARE(ids(), QStringList{u"<agent>"_qs});

        // Per tab: one dot per conversation.
        m_files.write(u"a"_qs, u"idle"_qs, now() - 30, u"/w/alpha"_qs, u"c1"_qs);
        m_files.write(u"b"_qs, u"idle"_qs, now() - 20, u"/w/alpha"_qs, u"c2"_qs);
        m_store->refresh();
        DotStripView tabs(*m_store, true, 1.0, V, true, {u"c2"_qs});
        QCOMPARE(tabs.cells().size(), std::size_t(2));
        QCOMPARE(tabs.cells()[0].id, std::optional<QString>(u"c2"_qs));
        QCOMPARE(tabs.cells()[0].label, std::optional<QString>(u"alpha #2"_qs));
    }

    void windowLight()
    {
        // "shared" is a tab (conversation id) and also a window (workspace path).
        m_files.write(u"t"_qs, u"working"_qs, now() - 10, u"/w/x"_qs, u"shared"_qs);
        m_files.write(u"w"_qs, u"idle"_qs, now() - 20, u"shared"_qs, u"other"_qs);
        m_store->refresh();

        WindowLightView both(*m_store, u"shared"_qs, true, 1.0, V);
        QCOMPARE(both.window()->state, AgentState::Working); // the tab wins
        QCOMPARE(both.state(), AgentState::Working);
        QCOMPARE(both.label(), std::optional<QString>(u"x"_qs));

        WindowLightView window(*m_store, u"/w/x"_qs, true, 1.0, V);
        QCOMPARE(window.state(), AgentState::Working);

        WindowLightView missing(*m_store, u"/w/nowhere"_qs, true, 1.0, V);
        QVERIFY(!missing.window());
        QCOMPARE(missing.state(), AgentState::Unknown);
        QCOMPARE(missing.label(), std::optional<QString>(u"\u2014"_qs));

        WindowLightView bare(*m_store, u"/w/x"_qs, false, 1.0, V);
        QVERIFY(!bare.label());

        // The row goes away: dim lamps and the dash, until the panel is removed.
        m_files.remove(u"t"_qs);
        m_store->refresh();
        QCOMPARE(window.state(), AgentState::Unknown);
        QCOMPARE(window.label(), std::optional<QString>(u"\u2014"_qs));
    }

    void combinedLightFollowsOverallState()
    {
        CombinedLightView view(*m_store, 1.0, V);
        QCOMPARE(view.state(), AgentState::Unknown);
        QVERIFY(!view.label());
        m_files.write(u"a"_qs, u"waiting"_qs, now() - 10, u"/w/a"_qs);
        m_store->refresh();
        QCOMPARE(view.state(), AgentState::Waiting);
    }

    void nothingRepaintsWhileNothingChanges()
    {
        m_files.write(u"a"_qs, u"working"_qs, now() - 10, u"/w/alpha"_qs, u"c1"_qs);
        m_files.write(u"b"_qs, u"idle"_qs, now() - 20, u"/w/beta"_qs, u"c2"_qs);
        m_store->start(); // polls every second and watches the directory

        CombinedLightView combined(*m_store, 1.0, V);
        WindowLightView window(*m_store, u"/w/alpha"_qs, true, 1.0, V);
        DotStripView strip(*m_store, true, 1.0, H, false, {});
        PaintCounter combinedPaints, windowPaints, stripPaints;
        combinedPaints.watch(&combined);
        windowPaints.watch(&window);
        stripPaints.watch(&strip);
        const auto total = [&] { return combinedPaints.paints + windowPaints.paints + stripPaints.paints; };
        for (QWidget* w : std::initializer_list<QWidget*>{&combined, &window, &strip}) {
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w));
        }
        QTRY_VERIFY(combinedPaints.paints > 0 && windowPaints.paints > 0 && stripPaints.paints > 0);
        combinedPaints.paints = windowPaints.paints = stripPaints.paints = 0;

        // The store polls at least twice in this time and sees a rewritten file
        // (same content, new inode) through its watcher; it publishes nothing.
        // 2.5 s rather than longer: nothing else in the views runs on a timer.
        m_files.write(u"a"_qs, u"working"_qs, now() - 10, u"/w/alpha"_qs, u"c1"_qs);
        QTest::qWait(2500);
        QCOMPARE(total(), 0);

        // The store publishes new rows, but only a time changed: nothing shown differs.
        QSignalSpy published(m_store.get(), &StatusStore::windowsChanged);
        m_files.write(u"b"_qs, u"idle"_qs, now() - 15, u"/w/beta"_qs, u"c2"_qs);
        QVERIFY(published.wait());
        QTest::qWait(100); // the fade of a wrongly changed light would paint now
        QCOMPARE(total(), 0);

        // Another window changes state: only the strip shows it.
        m_files.write(u"b"_qs, u"waiting"_qs, now() - 5, u"/w/beta"_qs, u"c2"_qs);
        QTRY_VERIFY(stripPaints.paints > 0);
        QCOMPARE(combinedPaints.paints, 0); // still working overall
        QCOMPARE(windowPaints.paints, 0);
    }
};

KORVANE_GUI_TEST_MAIN(TestLightViews)
#include "tst_lightviews.moc"
