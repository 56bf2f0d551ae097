#include "FakeClock.h"
#include "TestMain.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"
#include "settings/DetectedRowDelegate.h"
#include "settings/SegmentedControl.h"
#include "settings/SettingsView.h"
#include "settings/SettingsWindowController.h"
#include "status/AgentStateColor.h"
#include "status/StatusStore.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <memory>

using namespace korvane;
using korvane::test::FakeClock;

namespace {

// The form's controls, looked up by name once the window exists.
struct Form {
    SegmentedControl* layout = nullptr;
    SegmentedControl* orientation = nullptr;
    QSlider* slider = nullptr;
    QLabel* percent = nullptr;
    QCheckBox* showLabels = nullptr;
    QCheckBox* perTab = nullptr;
    QLabel* rowNote = nullptr;
    QLabel* listTitle = nullptr;
    QPushButton* resetOrder = nullptr;
    QListWidget* list = nullptr;
    QLabel* emptyText = nullptr;

    bool complete() const
    {
        return layout && orientation && slider && percent && showLabels && perTab && rowNote && listTitle &&
               resetOrder && list && emptyText;
    }
};

template <typename T> T* named(QWidget* root, const char* name)
{
    return root->findChild<T*>(QString::fromLatin1(name));
}

QStringList shownIds(const QListWidget* list)
{
    QStringList ids;
    for (int i = 0; i < list->count(); ++i)
        ids.append(list->item(i)->data(DetectedRowDelegate::IdRole).toString());
    return ids;
}

QStringList shownNames(const QListWidget* list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names.append(list->item(i)->data(Qt::DisplayRole).toString());
    return names;
}

QStringList prefixed(const QStringList& names)
{
    QStringList out;
    for (const QString& n : names)
        out.append(QStringLiteral("/w/") + n);
    return out;
}

} // namespace

class TestSettingsWindow : public QObject {
    Q_OBJECT

    FakeClock m_clock;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<StatusStore> m_store;
    std::unique_ptr<SettingsWindowController> m_controller;

    void writeState(const QString& file, const QString& state, double age, const QString& workspace)
    {
        QFile f(m_store->stateDir() + QLatin1Char('/') + file + QStringLiteral(".json"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        const QString json =
            QStringLiteral(R"({"state":"%1","ts":%2,"workspace":"%3","conversation_id":"%4"})")
                .arg(state, QString::number(m_clock.now() - age, 'f', 3), workspace, file);
        QVERIFY(f.write(json.toUtf8()) > 0);
    }

    // One idle window per name, newest first, so the store lists them in the given order.
    void addWindows(const QStringList& names)
    {
        for (int i = 0; i < names.size(); ++i)
            writeState(names.at(i), QStringLiteral("idle"), 10.0 * (i + 1),
                       QStringLiteral("/w/") + names.at(i));
        m_store->refresh();
    }

    Form openForm()
    {
        m_controller->show();
        QWidget* w = m_controller->window();
        Form form;
        if (!w)
            return form;
        form.layout = named<SegmentedControl>(w, "layoutPicker");
        form.orientation = named<SegmentedControl>(w, "orientationPicker");
        form.slider = named<QSlider>(w, "scaleSlider");
        form.percent = named<QLabel>(w, "scalePercent");
        form.showLabels = named<QCheckBox>(w, "showLabelsToggle");
        form.perTab = named<QCheckBox>(w, "perTabToggle");
        form.rowNote = named<QLabel>(w, "rowNote");
        form.listTitle = named<QLabel>(w, "listTitle");
        form.resetOrder = named<QPushButton>(w, "resetOrderButton");
        form.list = named<QListWidget>(w, "detectedList");
        form.emptyText = named<QLabel>(w, "emptyText");
        return form;
    }

private Q_SLOTS:
    void init()
    {
        QDir(QDir::homePath() + QStringLiteral("/.cursor/signalwick/state")).removeRecursively();
        QFile::remove(UserDefaults::standardPath());
        m_defaults = std::make_unique<UserDefaults>(UserDefaults::standardPath());
        m_settings = std::make_unique<AppSettings>(*m_defaults);
        m_store = std::make_unique<StatusStore>(m_clock);
        m_controller = std::make_unique<SettingsWindowController>(*m_settings, *m_store);
    }

    void cleanup()
    {
        m_controller.reset();
        m_store.reset();
        m_settings.reset();
        m_defaults.reset();
    }

    void modeControls_data()
    {
        QTest::addColumn<OverlayMode>("mode");
        QTest::addColumn<bool>("togglesEnabled");
        QTest::addColumn<bool>("noteShown");
        QTest::newRow("combined disables both toggles") << OverlayMode::Combined << false << false;
        QTest::newRow("per window: toggles on, no note") << OverlayMode::PerWindow << true << false;
        QTest::newRow("row of dots shows the note") << OverlayMode::Row << true << true;
    }
    void modeControls()
    {
        QFETCH(OverlayMode, mode);
        QFETCH(bool, togglesEnabled);
        QFETCH(bool, noteShown);
        const Form form = openForm();
        QVERIFY(form.complete());
        // Start from another mode, so that the form has to follow a change made elsewhere.
        m_settings->setOverlayMode(mode == OverlayMode::Row ? OverlayMode::Combined : OverlayMode::Row);
        m_settings->setOverlayMode(mode);

        QCOMPARE(form.layout->currentIndex(), int(mode));
        QCOMPARE(form.showLabels->isEnabled(), togglesEnabled);
        QCOMPARE(form.perTab->isEnabled(), togglesEnabled);
        QCOMPARE(form.rowNote->isVisible(), noteShown);
        QCOMPARE(form.rowNote->text(),
                 QStringLiteral("One colored dot per Cursor/Claude window: green when idle, "
                                "orange while working, red when it needs you."));
    }

    void segmentsAssignSettings_data()
    {
        QTest::addColumn<QString>("picker");
        QTest::addColumn<int>("segment");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::newRow("Combined") << "layoutPicker" << 0 << "OverlayMode"
                                  << "combined";
        QTest::newRow("Per window") << "layoutPicker" << 1 << "OverlayMode"
                                    << "perWindow";
        QTest::newRow("Row of dots") << "layoutPicker" << 2 << "OverlayMode"
                                     << "row";
        QTest::newRow("Vertical") << "orientationPicker" << 0 << "OverlayOrientation"
                                  << "vertical";
        QTest::newRow("Horizontal") << "orientationPicker" << 1 << "OverlayOrientation"
                                    << "horizontal";
    }
    void segmentsAssignSettings()
    {
        QFETCH(QString, picker);
        QFETCH(int, segment);
        QFETCH(QString, key);
        QFETCH(QString, stored);
        // Start away from the segment under test so a click has something to change.
        m_settings->setOverlayMode(segment == 0 ? OverlayMode::Row : OverlayMode::Combined);
        m_settings->setOrientation(segment == 0 ? OverlayOrientation::Horizontal
                                                : OverlayOrientation::Vertical);
        openForm();
        auto* control = named<SegmentedControl>(m_controller->window(), picker.toLatin1().constData());
        QVERIFY(control);
        QCOMPARE(control->count(), picker == u"layoutPicker" ? 3 : 2);

        QSignalSpy changed(m_settings.get(), &AppSettings::changed);
        control->button(segment)->click();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(m_defaults->stringValue(key), stored);
        QCOMPARE(control->currentIndex(), segment);
    }

    void chosenSegmentClickedAgainAssignsNothing()
    {
        m_settings->setOverlayMode(OverlayMode::Row);
        const Form form = openForm();
        QVERIFY(form.complete());
        QSignalSpy changed(m_settings.get(), &AppSettings::changed);
        form.layout->button(int(OverlayMode::Row))->click();
        form.orientation->button(int(OverlayOrientation::Vertical))->click();
        QCOMPARE(changed.count(), 0);
        QCOMPARE(form.layout->currentIndex(), int(OverlayMode::Row));
    }

    void segmentLabels()
    {
        const Form form = openForm();
        QVERIFY(form.complete());
        QStringList labels;
        for (int i = 0; i < form.layout->count(); ++i)
            labels.append(form.layout->button(i)->text());
        for (int i = 0; i < form.orientation->count(); ++i)
            labels.append(form.orientation->button(i)->text());
        QCOMPARE(labels, (QStringList{"Combined", "Per window", "Row of dots", "Vertical", "Horizontal"}));
    }

    void togglesAssignSettings_data()
    {
        QTest::addColumn<QString>("toggle");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("initial");
        QTest::newRow("labels") << "showLabelsToggle"
                                << "OverlayShowLabels"
                                << "Show window labels" << true;
        QTest::newRow("per tab") << "perTabToggle"
                                 << "OverlayPerTab"
                                 << "One light per tab (conversation)" << false;
    }
    void togglesAssignSettings()
    {
        QFETCH(QString, toggle);
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(bool, initial);
        m_settings->setOverlayMode(OverlayMode::PerWindow);
        openForm();
        auto* box = named<QCheckBox>(m_controller->window(), toggle.toLatin1().constData());
        QVERIFY(box);
        QCOMPARE(box->text(), text);
        QCOMPARE(box->isChecked(), initial);

        box->click();
        QCOMPARE(m_defaults->boolValue(key), !initial);
        QCOMPARE(box->isChecked(), !initial);

        // A change from elsewhere (the menu) shows up in the box.
        if (toggle == u"showLabelsToggle")
            m_settings->setShowLabels(initial);
        else
            m_settings->setPerTab(initial);
        QCOMPARE(box->isChecked(), initial);
    }

    void percentage_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QString>("text");
        QTest::newRow("normal size") << 1.0 << "100%";
        QTest::newRow("smallest") << 0.5 << "50%";
        QTest::newRow("largest") << 3.0 << "300%";
        QTest::newRow("fraction dropped, not rounded") << 1.257 << "125%";
        QTest::newRow("a tenth that is inexact in binary") << 2.3 << "230%";
        QTest::newRow("another one") << 0.7 << "70%";
    }
    void percentage()
    {
        QFETCH(double, scale);
        QFETCH(QString, text);
        const Form form = openForm();
        QVERIFY(form.complete());
        m_settings->setScale(scale);
        QCOMPARE(form.percent->text(), text);
    }

    void percentageUsesEvenDigits()
    {
        const Form form = openForm();
        QVERIFY(form.complete());
        const QFontMetricsF metrics(form.percent->font());
        for (char16_t d = u'1'; d <= u'9'; ++d)
            QCOMPARE(metrics.horizontalAdvance(QChar(d)), metrics.horizontalAdvance(QLatin1Char('0')));
        // And it fits the widest value.
        QVERIFY(metrics.horizontalAdvance(QStringLiteral("300%")) <= form.percent->contentsRect().width());
    }

    void sliderEnds_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QString>("text");
        QTest::newRow("left end") << int(QAbstractSlider::SliderToMinimum) << 0.5 << "50%";
        QTest::newRow("right end") << int(QAbstractSlider::SliderToMaximum) << 3.0 << "300%";
    }
    void sliderEnds()
    {
        QFETCH(int, action);
        QFETCH(double, scale);
        QFETCH(QString, text);
        const Form form = openForm();
        QVERIFY(form.complete());
        QCOMPARE(form.slider->value(), 10);
        form.slider->triggerAction(QAbstractSlider::SliderAction(action));
        QCOMPARE(m_settings->scale(), scale);
        QCOMPARE(m_defaults->doubleValue(QStringLiteral("OverlayScale")), scale);
        QCOMPARE(form.percent->text(), text);
    }

    void sliderAssignsEveryStep()
    {
        const Form form = openForm();
        QVERIFY(form.complete());
        QSignalSpy spy(m_settings.get(), &AppSettings::scaleChanged);
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(form.slider, Qt::Key_Right);
        QCOMPARE(spy.count(), 3);
        QCOMPARE(spy.at(0).at(0).toDouble(), 1.1);
        QCOMPARE(spy.at(1).at(0).toDouble(), 1.2);
        QCOMPARE(spy.at(2).at(0).toDouble(), 1.3);
        QCOMPARE(m_defaults->doubleValue(QStringLiteral("OverlayScale")), 1.3);
        QCOMPARE(form.percent->text(), QStringLiteral("130%"));
    }

    void scaleFromElsewhereIsNotWrittenBack_data()
    {
        QTest::addColumn<double>("assigned");
        QTest::addColumn<int>("announcements"); // by AppSettings itself
        QTest::addColumn<double>("scale");
        QTest::addColumn<int>("sliderValue");
        QTest::newRow("on a step") << 2.0 << 1 << 2.0 << 20;
        QTest::newRow("between steps") << 1.25 << 1 << 1.25 << 13;
        QTest::newRow("above the range") << 7.0 << 2 << 3.0 << 30;
    }
    void scaleFromElsewhereIsNotWrittenBack()
    {
        QFETCH(double, assigned);
        QFETCH(int, announcements);
        QFETCH(double, scale);
        QFETCH(int, sliderValue);
        const Form form = openForm();
        QVERIFY(form.complete());
        QSignalSpy spy(m_settings.get(), &AppSettings::scaleChanged);
        m_settings->setScale(assigned);
        QCOMPARE(spy.count(), announcements);
        QCOMPARE(m_settings->scale(), scale);
        QCOMPARE(form.slider->value(), sliderValue);
    }

    void listTexts_data()
    {
        QTest::addColumn<bool>("perTab");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("empty");
        QTest::newRow("windows") << false << "Detected Windows"
                                 << "No active Cursor or Claude windows yet.";
        QTest::newRow("tabs") << true << "Detected Tabs"
                              << "No active Cursor or Claude tabs yet.";
    }
    void listTexts()
    {
        QFETCH(bool, perTab);
        QFETCH(QString, title);
        QFETCH(QString, empty);
        const Form form = openForm();
        QVERIFY(form.complete());
        m_settings->setOverlayMode(OverlayMode::PerWindow);
        m_settings->setPerTab(perTab);
        QCOMPARE(form.listTitle->text(), title);
        QCOMPARE(form.emptyText->text(), empty);
        QVERIFY(form.emptyText->isVisible());
        QVERIFY(!form.list->isVisible());
        auto* footer = named<QLabel>(m_controller->window(), "listFooter");
        QVERIFY(footer && footer->isVisible());
        QCOMPARE(footer->text(), QStringLiteral("Drag the rows to set the order your lights appear in."));

        addWindows({QStringLiteral("a")});
        QVERIFY(!form.emptyText->isVisible());
        QVERIFY(form.list->isVisible());
    }

    void listShowsTabsOrWindows_data()
    {
        QTest::addColumn<bool>("perTab");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("windows") << false << QStringList{"proj", "site"} << QStringList{"/w/proj", "/w/site"};
        QTest::newRow("tabs") << true << QStringList{"proj #1", "proj #2", "site"}
                              << QStringList{"t1", "t2", "t3"};
    }
    void listShowsTabsOrWindows()
    {
        QFETCH(bool, perTab);
        QFETCH(QStringList, names);
        QFETCH(QStringList, ids);
        writeState(QStringLiteral("t1"), QStringLiteral("idle"), 10, QStringLiteral("/w/proj"));
        writeState(QStringLiteral("t2"), QStringLiteral("idle"), 20, QStringLiteral("/w/proj"));
        writeState(QStringLiteral("t3"), QStringLiteral("idle"), 30, QStringLiteral("/w/site"));
        m_store->refresh();
        const Form form = openForm();
        QVERIFY(form.complete());
        m_settings->setPerTab(perTab);
        QCOMPARE(shownNames(form.list), names);
        QCOMPARE(shownIds(form.list), ids);
    }

    void resetOrder()
    {
        addWindows({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        const Form form = openForm();
        QVERIFY(form.complete());
        QVERIFY(!form.resetOrder->isVisible());

        m_settings->setLightOrder({QStringLiteral("/w/c")});
        QVERIFY(form.resetOrder->isVisible());
        QCOMPARE(form.resetOrder->text(), QStringLiteral("Reset order"));
        QCOMPARE(shownNames(form.list), (QStringList{"c", "a", "b"}));

        form.resetOrder->click();
        QVERIFY(m_settings->lightOrder().isEmpty());
        QCOMPARE(m_defaults->value(QStringLiteral("OverlayLightOrder")), nlohmann::json::array());
        QVERIFY(!form.resetOrder->isVisible());
        QCOMPARE(shownNames(form.list), (QStringList{"a", "b", "c"}));
    }

    void listHeight_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("height");
        QTest::newRow("one row") << 1 << 36;
        QTest::newRow("five rows") << 5 << 148;
        QTest::newRow("six rows reach the cap") << 6 << 168;
        QTest::newRow("ten rows scroll") << 10 << 168;
    }
    void listHeight()
    {
        QFETCH(int, rows);
        QFETCH(int, height);
        QStringList names;
        for (int i = 0; i < rows; ++i)
            names.append(QStringLiteral("p%1").arg(i));
        addWindows(names);
        const Form form = openForm();
        QVERIFY(form.complete());
        QCOMPARE(form.list->count(), rows);
        QTRY_COMPARE(form.list->height(), height);
        // Every row is 28 high, so exactly the rows that fit are visible.
        QCOMPARE(form.list->visualItemRect(form.list->item(0)).height(), DetectedRowDelegate::kRowHeight);
        QCOMPARE(form.list->verticalScrollBar()->maximum() > 0, rows > 5);
    }

    void dragReorders_data()
    {
        QTest::addColumn<QStringList>("initialOrder");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to"); // Qt's destination: the row that stood there before the move
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("third to the top")
            << QStringList() << 2 << 0 << QStringList{"c", "a", "b"} << prefixed({"c", "a", "b"});
        QTest::newRow("first to the end")
            << QStringList() << 0 << 3 << QStringList{"b", "c", "a"} << prefixed({"b", "c", "a"});
        QTest::newRow("first down one")
            << QStringList() << 0 << 2 << QStringList{"b", "a", "c"} << prefixed({"b", "a", "c"});
        QTest::newRow("in an order already set")
            << prefixed({"c"}) << 2 << 1 << QStringList{"c", "b", "a"} << prefixed({"c", "b", "a"});
        QTest::newRow("ids of closed windows stay behind")
            << prefixed({"gone", "b"}) << 2 << 0 << QStringList{"c", "b", "a"}
            << prefixed({"c", "b", "a", "gone"});
    }
    void dragReorders()
    {
        QFETCH(QStringList, initialOrder);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, stored);
        addWindows({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        m_settings->setLightOrder(initialOrder);
        const Form form = openForm();
        QVERIFY(form.complete());

        // The same call the list makes when a dragged row is dropped.
        QVERIFY(form.list->model()->moveRow(QModelIndex(), from, QModelIndex(), to));
        QCOMPARE(m_settings->lightOrder(), stored);
        QCOMPARE(m_defaults->stringListValue(QStringLiteral("OverlayLightOrder")), stored);
        QCOMPARE(shownNames(form.list), shown);
        QVERIFY(form.resetOrder->isVisible());
        QCOMPARE(form.list->count(), 3);
    }

    void storeChangesShowWhileOpen()
    {
        addWindows({QStringLiteral("a")});
        const Form form = openForm();
        QVERIFY(form.complete());
        QCOMPARE(form.list->count(), 1);
        const auto dotColor = [&] {
            const QImage image = form.list->viewport()->grab().toImage();
            const QRect row = form.list->visualItemRect(form.list->item(0));
            return image.pixelColor(DetectedRowDelegate::dotRect(row).center());
        };
        QCOMPARE(form.list->item(0)->data(DetectedRowDelegate::StatusTextRole).toString(),
                 statusText(AgentState::Idle));
        QCOMPARE(dotColor(), stateColor(AgentState::Idle));

        writeState(QStringLiteral("a"), QStringLiteral("working"), 1, QStringLiteral("/w/a"));
        m_store->refresh();
        QCOMPARE(form.list->item(0)->data(DetectedRowDelegate::StatusTextRole).toString(),
                 statusText(AgentState::Working));
        QCOMPARE(dotColor(), stateColor(AgentState::Working));

        // A new window joins the list and the list grows.
        writeState(QStringLiteral("b"), QStringLiteral("waiting"), 1, QStringLiteral("/w/b"));
        m_store->refresh();
        QCOMPARE(form.list->count(), 2);
        QTRY_COMPARE(form.list->height(), SettingsView::listHeight(2));
    }

    void formFitsTheWindowWidth_data()
    {
        QTest::addColumn<OverlayMode>("mode");
        QTest::addColumn<int>("rows");
        QTest::newRow("per window, three rows") << OverlayMode::PerWindow << 3;
        // The note and a full list overflow the height, so the form scrolls and loses width.
        QTest::newRow("row of dots, ten rows") << OverlayMode::Row << 10;
    }
    void formFitsTheWindowWidth()
    {
        QFETCH(OverlayMode, mode);
        QFETCH(int, rows);
        QStringList names;
        for (int i = 0; i < rows; ++i)
            names.append(QStringLiteral("project-%1").arg(i));
        addWindows(names);
        m_settings->setOverlayMode(mode);
        const Form form = openForm();
        QVERIFY(form.complete());
        auto* scroll = m_controller->window()->findChild<QScrollArea*>();
        QVERIFY(scroll);
        QWidget* viewport = scroll->viewport();
        QTRY_VERIFY(form.list->isVisible() && form.list->height() == SettingsView::listHeight(rows));

        const QList<QWidget*> controls{form.layout,     form.orientation,      form.slider,  form.percent,
                                       form.showLabels, form.perTab,           form.rowNote, form.listTitle,
                                       form.list,       form.layout->button(2)};
        for (QWidget* control : controls) {
            if (!control->isVisible())
                continue;
            const QRect r(control->mapTo(viewport, QPoint(0, 0)), control->size());
            QVERIFY2(r.left() >= 0 && r.right() < viewport->width(),
                     qPrintable(QStringLiteral("%1 spans %2..%3 of %4")
                                    .arg(control->objectName())
                                    .arg(r.left())
                                    .arg(r.right())
                                    .arg(viewport->width())));
            QVERIFY2(control->width() >= control->minimumSizeHint().width(),
                     qPrintable(control->objectName()));
        }
        // The sections keep equal margins left and right: nothing pushes them wider than the window.
        const QList<QWidget*> cards = viewport->findChildren<QWidget*>(QStringLiteral("settingsCard"));
        QCOMPARE(cards.size(), 2);
        for (QWidget* card : cards) {
            const QRect r(card->mapTo(viewport, QPoint(0, 0)), card->size());
            QCOMPARE(viewport->width() - 1 - r.right(), r.left());
        }
    }

    void windowIsMadeOnceAndCentred()
    {
        QVERIFY(!m_controller->window());
        m_controller->show();
        QWidget* window = m_controller->window();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Korvane Settings"));
        QCOMPARE(window->minimumSize(), QSize(380, 420));
        QCOMPARE(window->maximumSize(), QSize(380, 420));
        QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(window->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(window->windowFlags() & Qt::WindowCloseButtonHint);
        // The frame is centred (a title bar, when there is one, shifts the contents a little).
        const QPoint screenCentre = window->screen()->availableGeometry().center();
        const QPoint centre = window->frameGeometry().center();
        QVERIFY2((centre - screenCentre).manhattanLength() <= 4,
                 qPrintable(QStringLiteral("frame centred at %1,%2").arg(centre.x()).arg(centre.y())));
        QTRY_COMPARE(QApplication::activeWindow(), window);
    }

    void closeHidesAndShowReuses()
    {
        m_controller->show();
        QPointer<QWidget> first = m_controller->window();
        QVERIFY(first);
        first->move(30, 40);
        QVERIFY(first->close());
        QVERIFY(first); // still there, only hidden
        QVERIFY(!first->isVisible());

        m_controller->show();
        QCOMPARE(m_controller->window(), first.data());
        QVERIFY(first->isVisible());
        QCOMPARE(first->pos(), QPoint(30, 40)); // where it was left, not centred again

        first->showMinimized();
        m_controller->show();
        QVERIFY(!(first->windowState() & Qt::WindowMinimized));
        QTRY_COMPARE(QApplication::activeWindow(), first.data());
    }
};

KORVANE_GUI_TEST_MAIN(TestSettingsWindow)
#include "tst_settingswindow.moc"
