#include "TestMain.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace korvane;
using nlohmann::json;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

ino_t inodeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

class TestUserDefaults : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        // A folder that does not exist yet: the first write creates it.
        m_path = m_dir->path() + QStringLiteral("/Korvane/defaults.json");
    }

    void keysAreExactStrings()
    {
        // Each key gets its own value; any two that the store merged would read back wrong.
        const QStringList keys = {
            QStringLiteral("OverlayOrigin::/home/u/p"),
            QStringLiteral("OverlayOrigin::/home/u/p/"),
            QStringLiteral("OverlayOrigin::/home/u//p"),
            QStringLiteral("OverlayOrigin::"),
            QStringLiteral("OverlayOrigin::/home/U/p"),
            QStringLiteral("OverlayOrigin::/home/u/my project"),
            QString::fromUtf8("OverlayOrigin::/home/u/caf\u00e9/\u6f22\u5b57"),
            QStringLiteral("OverlayOrigin::C:\\work\\p"),
            QStringLiteral("OverlayOrigin::a=b;c#d[e]"),
            QStringLiteral("OverlayOrigin"),
            QString(),
        };
        {
            UserDefaults d(m_path);
            for (int i = 0; i < keys.size(); ++i)
                QVERIFY(d.setString(keys.at(i), QStringLiteral("{%1, %2}").arg(i).arg(-i)));
        }
        UserDefaults reread(m_path);
        for (int i = 0; i < keys.size(); ++i) {
            const auto v = reread.stringValue(keys.at(i));
            QVERIFY2(v.has_value(), qPrintable(keys.at(i)));
            QCOMPARE(*v, QStringLiteral("{%1, %2}").arg(i).arg(-i));
        }
        QVERIFY(!reread.contains(QStringLiteral("OverlayOrigin::/home/u")));
        QVERIFY(!reread.contains(QStringLiteral("overlayorigin")));
    }

    void typesSurviveARestart_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QVariant>("value");

        QTest::newRow("true") << "bool" << QVariant(true);
        QTest::newRow("false") << "bool" << QVariant(false);
        QTest::newRow("whole double") << "double" << QVariant(1.0);
        QTest::newRow("fraction") << "double" << QVariant(0.1);
        QTest::newRow("negative") << "double" << QVariant(-1234.5);
        QTest::newRow("tiny") << "double" << QVariant(3e-7);
        QTest::newRow("string") << "string" << QVariant(QStringLiteral("{12, 34}"));
        QTest::newRow("string that looks like a bool") << "string" << QVariant(QStringLiteral("true"));
        QTest::newRow("string that looks like a number") << "string" << QVariant(QStringLiteral("0.1"));
        QTest::newRow("empty string") << "string" << QVariant(QString());
        QTest::newRow("unicode string")
            << "string" << QVariant(QString::fromUtf8("\u00e9\u2014\"quoted\"\n"));
        QTest::newRow("list of none") << "list" << QVariant(QStringList());
        QTest::newRow("list of one") << "list" << QVariant(QStringList{QStringLiteral("only")});
        QTest::newRow("list of one empty id") << "list" << QVariant(QStringList{QString()});
        QTest::newRow("list of three")
            << "list"
            << QVariant(QStringList{QStringLiteral("/a"), QStringLiteral("b c"), QStringLiteral("/a")});
    }
    void typesSurviveARestart()
    {
        QFETCH(QString, kind);
        QFETCH(QVariant, value);
        const QString key = QStringLiteral("Key");
        {
            UserDefaults d(m_path);
            bool ok = false;
            if (kind == u"bool")
                ok = d.setBool(key, value.toBool());
            else if (kind == u"double")
                ok = d.setDouble(key, value.toDouble());
            else if (kind == u"string")
                ok = d.setString(key, value.toString());
            else
                ok = d.setStringList(key, value.toStringList());
            QVERIFY(ok);
        }
        const UserDefaults r(m_path);
        // The value comes back under its own type, and under no other.
        QCOMPARE(r.boolValue(key).has_value(), kind == u"bool");
        QCOMPARE(r.doubleValue(key).has_value(), kind == u"double");
        QCOMPARE(r.stringValue(key).has_value(), kind == u"string");
        QCOMPARE(r.stringListValue(key).has_value(), kind == u"list");
        if (kind == u"bool")
            QCOMPARE(*r.boolValue(key), value.toBool());
        else if (kind == u"double")
            QCOMPARE(*r.doubleValue(key), value.toDouble());
        else if (kind == u"string")
            QCOMPARE(*r.stringValue(key), value.toString());
        else
            QCOMPARE(*r.stringListValue(key), value.toStringList());
    }

    void wholeDoublesAreWrittenAsDoubles()
    {
        UserDefaults d(m_path);
        QVERIFY(d.setDouble(QStringLiteral("OverlayScale"), 2.0));
        QVERIFY(readAll(m_path).contains("\"OverlayScale\": 2.0"));
    }

    void nonFiniteDoublesAreRefused()
    {
        UserDefaults d(m_path);
        QVERIFY(d.setDouble(QStringLiteral("S"), 1.5));
        QVERIFY(!d.setDouble(QStringLiteral("S"), std::numeric_limits<double>::quiet_NaN()));
        QVERIFY(!d.setDouble(QStringLiteral("S"), std::numeric_limits<double>::infinity()));
        QCOMPARE(UserDefaults(m_path).doubleValue(QStringLiteral("S")), std::optional<double>(1.5));
    }

    void mixedListsAreNotStringLists()
    {
        writeAll(m_path, R"({"L": ["a", 1], "N": [null], "S": "a", "E": []})");
        const UserDefaults d(m_path);
        QVERIFY(!d.stringListValue(QStringLiteral("L")));
        QVERIFY(!d.stringListValue(QStringLiteral("N")));
        QVERIFY(!d.stringListValue(QStringLiteral("S")));
        QCOMPARE(d.stringListValue(QStringLiteral("E")), std::optional<QStringList>(QStringList()));
    }

    void integersReadAsDoubles()
    {
        writeAll(m_path, R"({"I": 2, "Big": 18446744073709551615, "B": true})");
        const UserDefaults d(m_path);
        QCOMPARE(d.doubleValue(QStringLiteral("I")), std::optional<double>(2.0));
        QVERIFY(d.doubleValue(QStringLiteral("Big")).has_value());
        QVERIFY(!d.doubleValue(QStringLiteral("B")));
    }

    void otherValuesSurviveAWrite()
    {
        // Whatever is stored under keys this version does not know is written back as it was.
        writeAll(m_path, R"({"Future": {"n": 18446744073709551615, "f": 1.0, "s": "\u00e9"}, "Old": null})");
        UserDefaults d(m_path);
        QVERIFY(d.setBool(QStringLiteral("New"), true));
        const json back = json::parse(readAll(m_path).toStdString());
        QCOMPARE(back.at("Future").at("n").get<std::uint64_t>(), std::numeric_limits<std::uint64_t>::max());
        QVERIFY(back.at("Future").at("f").is_number_float());
        QCOMPARE(QString::fromStdString(back.at("Future").at("s").get<std::string>()),
                 QString::fromUtf8("\u00e9"));
        QVERIFY(back.at("Old").is_null());
        QVERIFY(back.at("New").get<bool>());
    }

    void removeWritesToo()
    {
        UserDefaults d(m_path);
        QVERIFY(d.setBool(QStringLiteral("A"), true));
        QVERIFY(d.remove(QStringLiteral("A")));
        QVERIFY(!UserDefaults(m_path).contains(QStringLiteral("A")));
    }

    void writesReplaceTheFileAtomically()
    {
        UserDefaults d(m_path);
        QVERIFY(d.setString(QStringLiteral("K"), QStringLiteral("old")));
        const QByteArray before = readAll(m_path);
        // A second name for the old file: an in-place rewrite would change what it shows.
        const QString oldName = m_path + QStringLiteral(".old");
        QCOMPARE(::link(QFile::encodeName(m_path).constData(), QFile::encodeName(oldName).constData()), 0);
        const ino_t inode = inodeOf(m_path);

        QVERIFY(d.setString(QStringLiteral("K"), QStringLiteral("new")));
        QVERIFY(inodeOf(m_path) != inode);
        QCOMPARE(readAll(oldName), before);
        QCOMPARE(UserDefaults(m_path).stringValue(QStringLiteral("K")),
                 std::optional<QString>(QStringLiteral("new")));
        // No temporary file is left beside it.
        const QStringList left = QFileInfo(m_path).dir().entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left, (QStringList{QStringLiteral("defaults.json"), QStringLiteral("defaults.json.old")}));
    }

    void aLinkedFileStaysALink()
    {
        // Users keep dotfiles as links into a repository.
        const QString real = m_dir->path() + QStringLiteral("/dotfiles/defaults.json");
        writeAll(real, R"({"A": 1})");
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        QVERIFY(QFile::link(real, m_path));
        UserDefaults d(m_path);
        QVERIFY(d.setBool(QStringLiteral("B"), true));
        QVERIFY(QFileInfo(m_path).isSymLink());
        QCOMPARE(UserDefaults(real).boolValue(QStringLiteral("B")), std::optional<bool>(true));
    }

    void unparseableFileIsKeptAside_data()
    {
        QTest::addColumn<QByteArray>("bad");
        QTest::newRow("garbage") << QByteArray("not json at all");
        QTest::newRow("cut short") << QByteArray("{\"OverlayMode\": \"row\", \"Overlay");
        QTest::newRow("trailing comma") << QByteArray("{\"a\": 1,}");
        QTest::newRow("array") << QByteArray("[\"OverlayMode\", \"row\"]");
        QTest::newRow("string") << QByteArray("\"row\"");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("invalid utf-8") << QByteArray("{\"a\": \"\xff\xfe\"}");
        QTest::newRow("binary") << QByteArray("\x00\x01\x02\x03", 4);
    }
    void unparseableFileIsKeptAside()
    {
        QFETCH(QByteArray, bad);
        writeAll(m_path, bad);
        UserDefaults d(m_path);
        QVERIFY(!d.contains(QStringLiteral("OverlayMode")));
        // Reading alone changes nothing on disk.
        QCOMPARE(readAll(m_path), bad);
        QVERIFY(!QFileInfo::exists(m_path + QStringLiteral(".bad")));

        QVERIFY(d.setBool(QStringLiteral("A"), true));
        QCOMPARE(readAll(m_path + QStringLiteral(".bad")), bad);
        const UserDefaults r(m_path);
        QCOMPARE(r.boolValue(QStringLiteral("A")), std::optional<bool>(true));

        // Later writes leave the copy alone.
        QVERIFY(d.setBool(QStringLiteral("A"), false));
        QCOMPARE(readAll(m_path + QStringLiteral(".bad")), bad);
        QVERIFY(!QFileInfo::exists(m_path + QStringLiteral(".bad.1")));
    }

    void aSecondBadFileDoesNotOverwriteTheFirstCopy()
    {
        writeAll(m_path, "first bad");
        QVERIFY(UserDefaults(m_path).setBool(QStringLiteral("A"), true));
        writeAll(m_path, "second bad");
        QVERIFY(UserDefaults(m_path).setBool(QStringLiteral("A"), true));
        writeAll(m_path, "third bad");
        QVERIFY(UserDefaults(m_path).setBool(QStringLiteral("A"), true));
        QCOMPARE(readAll(m_path + QStringLiteral(".bad")), QByteArray("first bad"));
        QCOMPARE(readAll(m_path + QStringLiteral(".bad.1")), QByteArray("second bad"));
        QCOMPARE(readAll(m_path + QStringLiteral(".bad.2")), QByteArray("third bad"));
    }

    void byteOrderMarkIsNotBad()
    {
        writeAll(m_path, "\xEF\xBB\xBF{\"OverlayMode\": \"row\"}");
        UserDefaults d(m_path);
        QCOMPARE(d.stringValue(QStringLiteral("OverlayMode")), std::optional<QString>(QStringLiteral("row")));
        QVERIFY(d.setBool(QStringLiteral("A"), true));
        QVERIFY(!QFileInfo::exists(m_path + QStringLiteral(".bad")));
        QCOMPARE(UserDefaults(m_path).stringValue(QStringLiteral("OverlayMode")),
                 std::optional<QString>(QStringLiteral("row")));
    }

    void badFileRemovedMeanwhileIsNoObstacle()
    {
        writeAll(m_path, "bad");
        UserDefaults d(m_path);
        QVERIFY(QFile::remove(m_path));
        QVERIFY(d.setBool(QStringLiteral("A"), true));
        QVERIFY(!QFileInfo::exists(m_path + QStringLiteral(".bad")));
        QCOMPARE(UserDefaults(m_path).boolValue(QStringLiteral("A")), std::optional<bool>(true));
    }

    void missingFileIsEmptyAndNotCreatedByReading()
    {
        const UserDefaults d(m_path);
        QVERIFY(!d.contains(QStringLiteral("OverlayMode")));
        QVERIFY(!QFileInfo::exists(m_path));
        QVERIFY(!QFileInfo::exists(QFileInfo(m_path).absolutePath()));
    }
};

KORVANE_TEST_MAIN(TestUserDefaults)
#include "tst_userdefaults.moc"
