#include "FakeClock.h"
#include "TestMain.h"
#include "platform/UserDefaults.h"
#include "settings/AppSettings.h"
#include "settings/DetectedRowDelegate.h"
#include "settings/SettingsWindowController.h"
#include "status/StatusStore.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <memory>

using namespace korvane;

namespace {
QStringList prefixed(QStringList ids)
{
    for (QString& id : ids)
        id.prepend(u"/w/");
    return ids;
}
} // namespace

class TestSettingsWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    test::FakeClock m_clock;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<StatusStore> m_store;
    std::unique_ptr<SettingsWindowController> m_controller;

    // One idle window per name, the first the most recent.
    void addWindows(int count)
    {
        QDir(m_store->stateDir()).removeRecursively();
        QDir().mkpath(m_store->stateDir());
        for (int i = 0; i < count; ++i) {
            QFile f(m_store->stateDir() + QStringLiteral("/s%1.json").arg(i));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QStringLiteral(R"({"state":"idle","ts":%1,"workspace":"/w/%2"})")
                        .arg(QString::number(m_clock.now() - 10 * (i + 1), 'f', 3))
                        .arg(QChar(u'a' + i))
                        .toUtf8());
        }
        m_store->refresh();
    }
    template <typename T> T* child(const char* name)
    {
        m_controller->show();
        return m_controller->window()->findChild<T*>(QString::fromLatin1(name));
    }

private Q_SLOTS:
    void init()
    {
        QFile::remove(m_dir.filePath(u"defaults.json"_qs));
        m_defaults = std::make_unique<UserDefaults>(m_dir.filePath(u"defaults.json"_qs));
        m_settings = std::make_unique<AppSettings>(*m_defaults);
        m_store = std::make_unique<StatusStore>(m_clock);
        m_controller = std::make_unique<SettingsWindowController>(*m_settings, *m_store);
    }
    void cleanup() { m_controller.reset(); }

    void dragReordersTheLights_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QList<int>>("from");
        QTest::addColumn<int>("to"); // the row that stood there before the move
        QTest::addColumn<QStringList>("after");
        QTest::newRow("third to the top")
            << QStringList() << QList<int>{2} << 0 << QStringList{"c", "a", "b"};
        QTest::newRow("first to the end")
            << QStringList() << QList<int>{0} << 3 << QStringList{"b", "c", "a"};
        QTest::newRow("two down") << QStringList() << QList<int>{0, 1} << 3 << QStringList{"c", "a", "b"};
        QTest::newRow("gone ids stay behind")
            << QStringList{"z", "b"} << QList<int>{0} << 2 << QStringList{"a", "b", "c", "z"};
    }
    void dragReordersTheLights()
    {
        QFETCH(QStringList, before);
        QFETCH(QList<int>, from);
        QFETCH(int, to);
        QFETCH(QStringList, after);
        addWindows(3);
        m_settings->setLightOrder(prefixed(before));
        auto* list = child<QListWidget>("detectedList");
        QVERIFY(list->model()->moveRows(QModelIndex(), from.first(), from.size(), QModelIndex(), to));
        QCOMPARE(m_settings->lightOrder(), prefixed(after));
        QTRY_COMPARE(list->item(0)->data(DetectedRowDelegate::IdRole).toString(), prefixed(after).first());
    }
};

KORVANE_GUI_TEST_MAIN(TestSettingsWindow)
#include "tst_settingswindow.moc"
