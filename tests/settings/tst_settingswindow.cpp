#include "FakeClock.h"
#include "TestMain.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"
#include "settings/DetectedRowDelegate.h"
#include "settings/LightRows.h"
#include "settings/SettingsWindowController.h"
#include "status/StatusStore.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <optional>

using namespace korvane;

class TestSettingsWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    test::FakeClock m_clock;
    std::optional<UserDefaults> m_defaults;
    std::optional<AppSettings> m_settings;
    std::optional<StatusStore> m_store;
    std::optional<LightRows> m_rows;
    std::optional<SettingsWindowController> m_controller;

    // The window over one idle window per letter from "a", the first the most recent.
    QWidget* open(int windows)
    {
        QDir().mkpath(m_store->stateDir());
        for (int i = 0; i < windows; ++i) {
            QFile f(m_store->stateDir() + QStringLiteral("/s%1.json").arg(i));
            if (f.open(QIODevice::WriteOnly))
                f.write(QStringLiteral(R"({"state":"idle","ts":%1,"workspace":"/w/%2"})")
                            .arg(QString::number(m_clock.now() - 10 * (i + 1), 'f', 3), QChar(u'a' + i))
                            .toUtf8());
        }
        m_store->refresh();
        m_controller.emplace(*m_settings, *m_rows);
        m_controller->show();
        return m_controller->window();
    }

private Q_SLOTS:
    void init()
    {
        m_controller.reset();
        m_rows.reset();
        m_defaults.emplace(m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + u".json"_qs));
        m_settings.emplace(*m_defaults);
        m_store.emplace(m_clock);
        m_rows.emplace(*m_store, *m_settings);
    }

    void dragReordersTheLights_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QList<int>>("from");
        QTest::addColumn<int>("to"); // the row that stood there before the move
        QTest::addColumn<QStringList>("after");
        QTest::newRow("third to the top")
            << QStringList() << QList<int>{2} << 0 << QStringList{"c", "a", "b"};
        QTest::newRow("gone ids stay behind")
            << QStringList{"z", "b"} << QList<int>{0} << 2 << QStringList{"a", "b", "c", "z"};
    }
    void dragReordersTheLights()
    {
        QFETCH(QStringList, before);
        QFETCH(QList<int>, from);
        QFETCH(int, to);
        QFETCH(QStringList, after);
        after.replaceInStrings(QRegularExpression(u"^"_qs), u"/w/"_qs);
        m_settings->setLightOrder(before.replaceInStrings(QRegularExpression(u"^"_qs), u"/w/"_qs));
        auto* list = open(3)->findChild<QListWidget*>();
        QVERIFY(list->model()->moveRows(QModelIndex(), from.first(), int(from.size()), QModelIndex(), to));
        QCOMPARE(m_settings->lightOrder(), after);
        QCOMPARE(UserDefaults(m_defaults->filePath())
                     .stringListValue(u"OverlayLightOrder"_qs)
                     .value_or(QStringList()),
                 after);
        QTRY_COMPARE(list->item(0)->data(DetectedRowDelegate::IdRole).toString(), after.first());
    }

    void onlyTheFormScrolls()
    {
        QWidget* window = open(8);
        auto* form = window->findChild<QScrollArea*>();
        auto* footer = window->findChild<QLabel*>(u"listFooter"_qs);
        QTRY_VERIFY(form->verticalScrollBar()->maximum() > 0);
        QCOMPARE(window->findChild<QListWidget*>()->verticalScrollBar()->maximum(), 0);
        form->verticalScrollBar()->setValue(form->verticalScrollBar()->maximum());
        QVERIFY(footer->mapTo(form->viewport(), footer->rect().bottomLeft()).y() <
                form->viewport()->height());
    }
};

KORVANE_GUI_TEST_MAIN(TestSettingsWindow)
#include "tst_settingswindow.moc"
