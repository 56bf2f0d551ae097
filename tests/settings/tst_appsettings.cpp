#include "TestMain.h"
#include "settings/AppSettings.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cmath>
#include <limits>
#include <memory>

using namespace korvane;
using nlohmann::json;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Rows are written "id" or "id:name"; the name tells apart rows with equal ids.
WindowStatusList rowsFrom(const QStringList& texts)
{
    WindowStatusList rows;
    for (const QString& text : texts) {
        const qsizetype colon = text.indexOf(u':');
        WindowStatus row;
        row.id = colon < 0 ? text : text.left(colon);
        row.name = colon < 0 ? text : text.mid(colon + 1);
        row.state = AgentState::Idle;
        rows.append(row);
    }
    return rows;
}

QStringList namesOf(const WindowStatusList& rows)
{
    QStringList names;
    for (const WindowStatus& row : rows)
        names.append(row.name);
    return names;
}

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

} // namespace

class TestAppSettings : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;

    void store(const QByteArray& text)
    {
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    json stored(const char* key) const
    {
        return UserDefaults(m_path).value(QString::fromLatin1(key)).value_or(json());
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_path = m_dir->path() + QStringLiteral("/defaults.json");
    }

    void loading_data()
    {
        QTest::addColumn<QByteArray>("file"); // empty: no file at all
        QTest::addColumn<OverlayMode>("mode");
        QTest::addColumn<OverlayOrientation>("orientation");
        QTest::addColumn<bool>("showLabels");
        QTest::addColumn<bool>("perTab");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QStringList>("lightOrder");

        const auto C = OverlayMode::Combined;
        const auto V = OverlayOrientation::Vertical;
        const auto H = OverlayOrientation::Horizontal;
        const QStringList none;

        QTest::newRow("no file") << QByteArray() << C << V << true << false << 1.0 << none;
        QTest::newRow("empty object") << QByteArray("{}") << C << V << true << false << 1.0 << none;
        QTest::newRow("unparseable file")
            << QByteArray("{\"OverlayMode\": \"row\"") << C << V << true << false << 1.0 << none;
        QTest::newRow("everything set")
            << QByteArray(
                   R"({"OverlayMode": "row", "OverlayOrientation": "horizontal", "OverlayShowLabels": false,
                             "OverlayPerTab": true, "OverlayScale": 2.25, "OverlayLightOrder": ["/b", "", "/a"]})")
            << OverlayMode::Row << H << false << true << 2.25 << QStringList{"/b", "", "/a"};

        QTest::newRow("mode perWindow") << QByteArray(R"({"OverlayMode": "perWindow"})")
                                        << OverlayMode::PerWindow << V << true << false << 1.0 << none;
        QTest::newRow("mode row") << QByteArray(R"({"OverlayMode": "row"})") << OverlayMode::Row << V << true
                                  << false << 1.0 << none;
        QTest::newRow("mode Row, other case")
            << QByteArray(R"({"OverlayMode": "Row"})") << C << V << true << false << 1.0 << none;
        QTest::newRow("mode perwindow, other case")
            << QByteArray(R"({"OverlayMode": "perwindow"})") << C << V << true << false << 1.0 << none;
        QTest::newRow("mode with a space")
            << QByteArray(R"({"OverlayMode": "row "})") << C << V << true << false << 1.0 << none;
        QTest::newRow("mode unknown")
            << QByteArray(R"({"OverlayMode": "grid"})") << C << V << true << false << 1.0 << none;
        QTest::newRow("mode a number")
            << QByteArray(R"({"OverlayMode": 2})") << C << V << true << false << 1.0 << none;

        QTest::newRow("orientation Horizontal, other case")
            << QByteArray(R"({"OverlayOrientation": "Horizontal"})") << C << V << true << false << 1.0
            << none;
        QTest::newRow("orientation unknown")
            << QByteArray(R"({"OverlayOrientation": "diagonal"})") << C << V << true << false << 1.0 << none;
        QTest::newRow("orientation a bool")
            << QByteArray(R"({"OverlayOrientation": true})") << C << V << true << false << 1.0 << none;

        QTest::newRow("labels a string")
            << QByteArray(R"({"OverlayShowLabels": "false"})") << C << V << true << false << 1.0 << none;
        QTest::newRow("labels zero") << QByteArray(R"({"OverlayShowLabels": 0})") << C << V << true << false
                                     << 1.0 << none;
        QTest::newRow("per tab a string")
            << QByteArray(R"({"OverlayPerTab": "true"})") << C << V << true << false << 1.0 << none;
        QTest::newRow("per tab one") << QByteArray(R"({"OverlayPerTab": 1})") << C << V << true << false
                                     << 1.0 << none;

        QTest::newRow("scale 0.2 is raised")
            << QByteArray(R"({"OverlayScale": 0.2})") << C << V << true << false << 0.5 << none;
        QTest::newRow("scale 7 is lowered")
            << QByteArray(R"({"OverlayScale": 7})") << C << V << true << false << 3.0 << none;
        QTest::newRow("scale 0.5") << QByteArray(R"({"OverlayScale": 0.5})") << C << V << true << false << 0.5
                                   << none;
        QTest::newRow("scale 3") << QByteArray(R"({"OverlayScale": 3.0})") << C << V << true << false << 3.0
                                 << none;
        QTest::newRow("scale just above 3")
            << QByteArray(R"({"OverlayScale": 3.0000001})") << C << V << true << false << 3.0 << none;
        QTest::newRow("scale negative")
            << QByteArray(R"({"OverlayScale": -2})") << C << V << true << false << 0.5 << none;
        QTest::newRow("scale whole number")
            << QByteArray(R"({"OverlayScale": 2})") << C << V << true << false << 2.0 << none;
        QTest::newRow("scale a string")
            << QByteArray(R"({"OverlayScale": "2.0"})") << C << V << true << false << 1.0 << none;
        QTest::newRow("scale a bool")
            << QByteArray(R"({"OverlayScale": true})") << C << V << true << false << 1.0 << none;
        QTest::newRow("scale null") << QByteArray(R"({"OverlayScale": null})") << C << V << true << false
                                    << 1.0 << none;

        QTest::newRow("order empty") << QByteArray(R"({"OverlayLightOrder": []})") << C << V << true << false
                                     << 1.0 << none;
        QTest::newRow("order with one id") << QByteArray(R"({"OverlayLightOrder": ["/a"]})") << C << V << true
                                           << false << 1.0 << QStringList{"/a"};
        QTest::newRow("order with a number")
            << QByteArray(R"({"OverlayLightOrder": ["/a", 1]})") << C << V << true << false << 1.0 << none;
        QTest::newRow("order a string")
            << QByteArray(R"({"OverlayLightOrder": "/a"})") << C << V << true << false << 1.0 << none;
        QTest::newRow("order an object")
            << QByteArray(R"({"OverlayLightOrder": {"0": "/a"}})") << C << V << true << false << 1.0 << none;
    }
    void loading()
    {
        QFETCH(QByteArray, file);
        QFETCH(OverlayMode, mode);
        QFETCH(OverlayOrientation, orientation);
        QFETCH(bool, showLabels);
        QFETCH(bool, perTab);
        QFETCH(double, scale);
        QFETCH(QStringList, lightOrder);

        if (!file.isEmpty())
            store(file);
        UserDefaults defaults(m_path);
        const AppSettings settings(defaults);
        QCOMPARE(settings.overlayMode(), mode);
        QCOMPARE(settings.orientation(), orientation);
        QCOMPARE(settings.showLabels(), showLabels);
        QCOMPARE(settings.perTab(), perTab);
        QCOMPARE(settings.scale(), scale);
        QCOMPARE(settings.lightOrder(), lightOrder);

        // Loading writes nothing back: out-of-range and malformed values stay as stored.
        QCoreApplication::processEvents();
        QCOMPARE(QFileInfo::exists(m_path), !file.isEmpty());
        QCOMPARE(readAll(m_path), file);
        QVERIFY(!QFileInfo::exists(m_path + QStringLiteral(".bad")));
    }

    void everyAssignmentIsStoredAndAnnounced_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("storedJson");

        QTest::newRow("mode perWindow") << "overlayMode" << QVariant::fromValue(OverlayMode::PerWindow)
                                        << QByteArray("OverlayMode") << QByteArray("\"perWindow\"");
        QTest::newRow("mode row") << "overlayMode" << QVariant::fromValue(OverlayMode::Row)
                                  << QByteArray("OverlayMode") << QByteArray("\"row\"");
        QTest::newRow("mode combined, the default")
            << "overlayMode" << QVariant::fromValue(OverlayMode::Combined) << QByteArray("OverlayMode")
            << QByteArray("\"combined\"");
        QTest::newRow("orientation horizontal")
            << "orientation" << QVariant::fromValue(OverlayOrientation::Horizontal)
            << QByteArray("OverlayOrientation") << QByteArray("\"horizontal\"");
        QTest::newRow("orientation vertical, the default")
            << "orientation" << QVariant::fromValue(OverlayOrientation::Vertical)
            << QByteArray("OverlayOrientation") << QByteArray("\"vertical\"");
        QTest::newRow("labels off") << "showLabels" << QVariant(false) << QByteArray("OverlayShowLabels")
                                    << QByteArray("false");
        QTest::newRow("labels on, the default")
            << "showLabels" << QVariant(true) << QByteArray("OverlayShowLabels") << QByteArray("true");
        QTest::newRow("per tab on") << "perTab" << QVariant(true) << QByteArray("OverlayPerTab")
                                    << QByteArray("true");
        QTest::newRow("per tab off, the default")
            << "perTab" << QVariant(false) << QByteArray("OverlayPerTab") << QByteArray("false");
        QTest::newRow("scale 1.5") << "scale" << QVariant(1.5) << QByteArray("OverlayScale")
                                   << QByteArray("1.5");
        QTest::newRow("scale 1, the default")
            << "scale" << QVariant(1.0) << QByteArray("OverlayScale") << QByteArray("1.0");
        QTest::newRow("scale 0.5 exactly")
            << "scale" << QVariant(0.5) << QByteArray("OverlayScale") << QByteArray("0.5");
        QTest::newRow("order of two") << "lightOrder" << QVariant(QStringList{"/b", "/a"})
                                      << QByteArray("OverlayLightOrder") << QByteArray(R"(["/b", "/a"])");
        QTest::newRow("order of one") << "lightOrder" << QVariant(QStringList{"/a"})
                                      << QByteArray("OverlayLightOrder") << QByteArray(R"(["/a"])");
        QTest::newRow("order emptied")
            << "lightOrder" << QVariant(QStringList()) << QByteArray("OverlayLightOrder") << QByteArray("[]");
    }
    void everyAssignmentIsStoredAndAnnounced()
    {
        QFETCH(QString, property);
        QFETCH(QVariant, value);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, storedJson);

        UserDefaults defaults(m_path);
        AppSettings settings(defaults);
        QSignalSpy changed(&settings, &AppSettings::changed);
        QSignalSpy modeSpy(&settings, &AppSettings::overlayModeChanged);
        QSignalSpy orientationSpy(&settings, &AppSettings::orientationChanged);
        QSignalSpy labelsSpy(&settings, &AppSettings::showLabelsChanged);
        QSignalSpy perTabSpy(&settings, &AppSettings::perTabChanged);
        QSignalSpy scaleSpy(&settings, &AppSettings::scaleChanged);
        QSignalSpy orderSpy(&settings, &AppSettings::lightOrderChanged);
        const QHash<QString, QSignalSpy*> spies = {
            {"overlayMode", &modeSpy},  {"orientation", &orientationSpy},
            {"showLabels", &labelsSpy}, {"perTab", &perTabSpy},
            {"scale", &scaleSpy},       {"lightOrder", &orderSpy}};

        // Twice: an equal value is stored and announced again.
        for (int round = 1; round <= 2; ++round) {
            if (property == u"overlayMode")
                settings.setOverlayMode(value.value<OverlayMode>());
            else if (property == u"orientation")
                settings.setOrientation(value.value<OverlayOrientation>());
            else if (property == u"showLabels")
                settings.setShowLabels(value.toBool());
            else if (property == u"perTab")
                settings.setPerTab(value.toBool());
            else if (property == u"scale")
                settings.setScale(value.toDouble());
            else
                settings.setLightOrder(value.toStringList());

            // Stored at once, in its own JSON type, under its key only.
            const json expected = json::parse(storedJson.toStdString());
            const json onDisk = json::parse(readAll(m_path).toStdString(), nullptr, false);
            QVERIFY(onDisk.is_object());
            QCOMPARE(onDisk.size(), std::size_t(1));
            QVERIFY2(onDisk.contains(key.toStdString()), onDisk.dump().c_str());
            const json& v = onDisk.at(key.toStdString());
            QVERIFY2(v == expected && v.type() == expected.type(), v.dump().c_str());

            QCOMPARE(changed.count(), round);
            for (auto it = spies.cbegin(); it != spies.cend(); ++it)
                QCOMPARE(it.value()->count(), it.key() == property ? round : 0);
            QCOMPARE(spies.value(property)->last().at(0), value);
        }
        // The next start reads what was stored.
        UserDefaults again(m_path);
        const AppSettings reloaded(again);
        if (property == u"overlayMode")
            QCOMPARE(reloaded.overlayMode(), value.value<OverlayMode>());
        else if (property == u"orientation")
            QCOMPARE(reloaded.orientation(), value.value<OverlayOrientation>());
        else if (property == u"showLabels")
            QCOMPARE(reloaded.showLabels(), value.toBool());
        else if (property == u"perTab")
            QCOMPARE(reloaded.perTab(), value.toBool());
        else if (property == u"scale")
            QCOMPARE(reloaded.scale(), value.toDouble());
        else
            QCOMPARE(reloaded.lightOrder(), value.toStringList());
    }

    void scaleIsClamped_data()
    {
        QTest::addColumn<double>("assigned");
        QTest::addColumn<QList<double>>("published");
        QTest::addColumn<double>("stored");

        QTest::newRow("3.25 becomes 3") << 3.25 << QList<double>{3.25, 3.0} << 3.0;
        QTest::newRow("0.4 becomes 0.5") << 0.4 << QList<double>{0.4, 0.5} << 0.5;
        QTest::newRow("0 becomes 0.5") << 0.0 << QList<double>{0.0, 0.5} << 0.5;
        QTest::newRow("negative becomes 0.5") << -1.0 << QList<double>{-1.0, 0.5} << 0.5;
        QTest::newRow("infinity becomes 3") << kInf << QList<double>{kInf, 3.0} << 3.0;
        QTest::newRow("0.5 stays") << 0.5 << QList<double>{0.5} << 0.5;
        QTest::newRow("3 stays") << 3.0 << QList<double>{3.0} << 3.0;
        QTest::newRow("2.75 stays") << 2.75 << QList<double>{2.75} << 2.75;
        QTest::newRow("NaN is never published") << kNaN << QList<double>{1.0} << 1.0;
    }
    void scaleIsClamped()
    {
        QFETCH(double, assigned);
        QFETCH(QList<double>, published);
        QFETCH(double, stored);

        UserDefaults defaults(m_path);
        AppSettings settings(defaults);
        settings.setScale(1.25);

        // What a subscriber sees at each announcement: the value, the property, the store.
        QList<double> seen;
        QList<double> seenProperty;
        QList<double> seenStored;
        QList<int> changedAt;
        connect(&settings, &AppSettings::scaleChanged, this, [&](double value) {
            seen.append(value);
            seenProperty.append(settings.scale());
            seenStored.append(this->stored(AppSettings::kScaleKey).get<double>());
        });
        connect(&settings, &AppSettings::changed, this, [&] { changedAt.append(int(seen.size())); });

        settings.setScale(assigned);
        QCOMPARE(seen, published);
        QCOMPARE(seenProperty, published);
        // One announcement per assignment, each followed by changed().
        QList<int> expectedChanged;
        for (int i = 1; i <= published.size(); ++i)
            expectedChanged.append(i);
        QCOMPARE(changedAt, expectedChanged);
        // The out-of-range value never reaches the store; the correction does before it is announced.
        QList<double> expectedStored(published.size() - 1, 1.25);
        expectedStored.append(stored);
        QCOMPARE(seenStored, expectedStored);

        QCOMPARE(settings.scale(), stored);
        const json onDisk = this->stored(AppSettings::kScaleKey);
        QVERIFY(onDisk.is_number_float());
        QCOMPARE(onDisk.get<double>(), stored);
    }

    void order_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("lightOrder");
        QTest::addColumn<QStringList>("expected"); // row names

        QTest::newRow("empty order keeps the rows")
            << QStringList{"c", "a", "b"} << QStringList() << QStringList{"c", "a", "b"};
        QTest::newRow("(b) on a, b, c")
            << QStringList{"a", "b", "c"} << QStringList{"b"} << QStringList{"b", "a", "c"};
        QTest::newRow("(c, a) on a, b, c")
            << QStringList{"a", "b", "c"} << QStringList{"c", "a"} << QStringList{"c", "a", "b"};
        QTest::newRow("(x, a, x): the last x counts")
            << QStringList{"x", "a"} << QStringList{"x", "a", "x"} << QStringList{"a", "x"};
        QTest::newRow("ids of closed windows are skipped")
            << QStringList{"a", "b"} << QStringList{"gone", "b", "old"} << QStringList{"b", "a"};
        QTest::newRow("unlisted rows keep their order")
            << QStringList{"d", "a", "c", "b"} << QStringList{"c"} << QStringList{"c", "d", "a", "b"};
        QTest::newRow("full order reverses")
            << QStringList{"a", "b", "c"} << QStringList{"c", "b", "a"} << QStringList{"c", "b", "a"};
        QTest::newRow("equal ids keep their input order")
            << QStringList{"a:first a", "b", "a:second a"} << QStringList{"b", "a"}
            << QStringList{"b", "first a", "second a"};
        QTest::newRow("unlisted equal ids keep their input order")
            << QStringList{"z:z1", "a", "z:z2"} << QStringList{"a"} << QStringList{"a", "z1", "z2"};
        QTest::newRow("empty id is an id")
            << QStringList{"a", ":Unknown"} << QStringList{""} << QStringList{"Unknown", "a"};
        QTest::newRow("ids are exact")
            << QStringList{"/p", "/p/", "/P"} << QStringList{"/P", "/p/"} << QStringList{"/P", "/p/", "/p"};
        QTest::newRow("no rows") << QStringList() << QStringList{"a"} << QStringList();

        // Enough rows that an unstable sort would shuffle the unranked ones.
        QStringList many;
        for (int i = 0; i < 40; ++i)
            many.append(QStringLiteral("r%1").arg(39 - i, 2, 10, QLatin1Char('0')));
        QStringList manyExpected = {QStringLiteral("r07"), QStringLiteral("r30")};
        for (const QString& id : many) {
            if (!manyExpected.contains(id))
                manyExpected.append(id);
        }
        QTest::newRow("forty rows, two listed") << many << QStringList{"r07", "r30"} << manyExpected;
    }
    void order()
    {
        QFETCH(QStringList, rows);
        QFETCH(QStringList, lightOrder);
        QFETCH(QStringList, expected);
        const WindowStatusList input = rowsFrom(rows);
        const WindowStatusList out = AppSettings::order(input, lightOrder);
        QCOMPARE(namesOf(out), expected);
        // The rows themselves come through untouched.
        for (const WindowStatus& row : out)
            QVERIFY(input.contains(row));
    }

    void move_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("lightOrder");
        QTest::addColumn<QList<int>>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("last to the top") << QStringList{"a", "b", "c"} << QStringList() << QList<int>{2} << 0
                                         << QStringList{"c", "a", "b"};
        QTest::newRow("shown first, dropped at the end")
            << QStringList{"a", "b"} << QStringList{"z", "b", "a"} << QList<int>{0} << 2
            << QStringList{"a", "b", "z"};
        QTest::newRow("first down by one") << QStringList{"a", "b", "c"} << QStringList() << QList<int>{0}
                                           << 2 << QStringList{"b", "a", "c"};
        QTest::newRow("first to the end") << QStringList{"a", "b", "c"} << QStringList() << QList<int>{0} << 3
                                          << QStringList{"b", "c", "a"};
        QTest::newRow("onto itself") << QStringList{"a", "b", "c"} << QStringList() << QList<int>{1} << 1
                                     << QStringList{"a", "b", "c"};
        QTest::newRow("just below itself") << QStringList{"a", "b", "c"} << QStringList() << QList<int>{1}
                                           << 2 << QStringList{"a", "b", "c"};
        QTest::newRow("two apart, to the top") << QStringList{"a", "b", "c", "d"} << QStringList()
                                               << QList<int>{1, 3} << 0 << QStringList{"b", "d", "a", "c"};
        QTest::newRow("two apart, to the end") << QStringList{"a", "b", "c", "d"} << QStringList()
                                               << QList<int>{0, 2} << 4 << QStringList{"b", "d", "a", "c"};
        QTest::newRow("two apart, between them") << QStringList{"a", "b", "c", "d"} << QStringList()
                                                 << QList<int>{0, 3} << 2 << QStringList{"b", "a", "d", "c"};
        QTest::newRow("positions count in the shown order")
            << QStringList{"a", "b", "c"} << QStringList{"c"} << QList<int>{0} << 3
            << QStringList{"a", "b", "c"};
        QTest::newRow("other ids stay behind, in order")
            << QStringList{"a", "b"} << QStringList{"t1", "b", "t2", "a", "t3"} << QList<int>{1} << 0
            << QStringList{"a", "b", "t1", "t2", "t3"};
        QTest::newRow("single row") << QStringList{"a"} << QStringList() << QList<int>{0} << 1
                                    << QStringList{"a"};
    }
    void move()
    {
        QFETCH(QStringList, rows);
        QFETCH(QStringList, lightOrder);
        QFETCH(QList<int>, from);
        QFETCH(int, to);
        QFETCH(QStringList, expected);

        UserDefaults defaults(m_path);
        AppSettings settings(defaults);
        settings.setLightOrder(lightOrder);
        QSignalSpy spy(&settings, &AppSettings::lightOrderChanged);

        settings.move(rowsFrom(rows), QSet<int>(from.cbegin(), from.cend()), to);
        QCOMPARE(settings.lightOrder(), expected);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toStringList(), expected);
        QCOMPARE(UserDefaults(m_path).stringListValue(QString::fromLatin1(AppSettings::kLightOrderKey)),
                 std::optional<QStringList>(expected));
        // What the settings list shows afterwards is the moved list.
        const WindowStatusList shown = AppSettings::order(rowsFrom(rows), settings.lightOrder());
        QStringList shownIds;
        for (const WindowStatus& row : shown)
            shownIds.append(row.id);
        QCOMPARE(shownIds, expected.mid(0, rows.size()));
    }

    void aSubscriberThatAssignsAgainDoesNotChangeWhatOthersReceive()
    {
        UserDefaults defaults(m_path);
        AppSettings settings(defaults);
        QStringList secondSaw;
        bool reassigned = false;
        connect(&settings, &AppSettings::lightOrderChanged, this, [&](const QStringList&) {
            if (!reassigned) {
                reassigned = true;
                settings.setLightOrder({QStringLiteral("other")});
            }
        });
        connect(&settings, &AppSettings::lightOrderChanged, this,
                [&](const QStringList& order) { secondSaw.append(order.join(u',')); });
        settings.setLightOrder({QStringLiteral("a"), QStringLiteral("b")});
        // The nested assignment is delivered first, then the outer one, each with its own value.
        QCOMPARE(secondSaw, (QStringList{QStringLiteral("other"), QStringLiteral("a,b")}));
        QCOMPARE(settings.lightOrder(), QStringList{QStringLiteral("other")});
    }

    void sharedIsOneInstanceOverTheStandardDefaults()
    {
        AppSettings& a = AppSettings::shared();
        QCOMPARE(&AppSettings::shared(), &a);
        QCOMPARE(&a.defaults(), &UserDefaults::standard());
        QVERIFY(UserDefaults::standard().filePath().startsWith(QDir::homePath()));
    }
};

KORVANE_TEST_MAIN(TestAppSettings)
#include "tst_appsettings.moc"
