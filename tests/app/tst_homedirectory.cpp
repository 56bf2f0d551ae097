#include "TestMain.h"
#include "shell/HomeDirectory.h"

#include <pwd.h>
#include <unistd.h>

using namespace korvane;

class TestHomeDirectory : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Without HOME, Qt's home would be "/": the account's own stands in.
    void ensure_data()
    {
        QTest::addColumn<QByteArray>("value"); // "-": unset
        QTest::addColumn<QString>("home");
        const QString account = QFile::decodeName(::getpwuid(::getuid())->pw_dir);
        QTest::newRow("unset") << QByteArray("-") << account;
        QTest::newRow("empty") << QByteArray() << account;
        QTest::newRow("set") << QByteArray("/tmp") << "/tmp";
    }
    void ensure()
    {
        QFETCH(QByteArray, value);
        QFETCH(QString, home);
        const auto restore = qScopeGuard([saved = qgetenv("HOME")] { qputenv("HOME", saved); });
        value == "-" ? qunsetenv("HOME") : qputenv("HOME", value);
        QString error;
        QVERIFY(HomeDirectory::ensure(&error));
        QCOMPARE(QDir::homePath(), home);
    }
};

KORVANE_TEST_MAIN(TestHomeDirectory)
#include "tst_homedirectory.moc"
