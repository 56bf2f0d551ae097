#include "TestMain.h"
#include "update/ReleaseInfo.h"
#include "update/VersionCompare.h"

using namespace korvane;

class TestVersionCompare : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void isNewerTable_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("newer");

        QTest::newRow("numeric, not lexical") << "1.10"
                                              << "1.9" << true;
        QTest::newRow("lexical order would say so") << "1.9"
                                                    << "1.10" << false;
        QTest::newRow("missing piece is zero") << "1.2"
                                               << "1.2.0" << false;
        QTest::newRow("missing piece is zero, reversed") << "1.2.0"
                                                         << "1.2" << false;
        QTest::newRow("extra patch") << "1.2.1"
                                     << "1.2" << true;
        QTest::newRow("shorter is older") << "1.2"
                                          << "1.2.1" << false;
        QTest::newRow("suffix makes the piece zero") << "2.0-beta"
                                                     << "2.0" << false;
        QTest::newRow("suffix piece equals zero") << "2.0"
                                                  << "2.0-beta" << false;
        QTest::newRow("word piece is zero") << "beta.3"
                                            << "0.2" << true;
        QTest::newRow("against no version") << "1.0"
                                            << "0" << true;
        QTest::newRow("no version is never newer") << "0"
                                                   << "1.0" << false;
        QTest::newRow("equal") << "3.4.5"
                               << "3.4.5" << false;
        QTest::newRow("double dot adds no piece") << "1..2"
                                                  << "1.1" << true;
        QTest::newRow("leading dot adds no piece") << ".1"
                                                   << "0.9" << true;
        QTest::newRow("trailing dot adds no piece") << "1.2."
                                                    << "1.2" << false;
        QTest::newRow("plus sign") << "+2"
                                   << "1" << true;
        QTest::newRow("negative piece") << "-1"
                                        << "0" << false;
        QTest::newRow("zero beats negative") << "0"
                                             << "-1" << true;
        QTest::newRow("sign twice is zero") << "+-1"
                                            << "-1" << true;
        QTest::newRow("bare sign is zero") << "+"
                                           << "0" << false;
        QTest::newRow("beyond 64 bits is zero") << "99999999999999999999"
                                                << "1" << false;
        QTest::newRow("64-bit limit") << "9223372036854775807"
                                      << "9223372036854775806" << true;
        QTest::newRow("space in a piece") << "1.2 "
                                          << "1.1" << false;
        QTest::newRow("non-ASCII digits are no number") << QString::fromUtf8("1.\u0663") << "1.1" << false;
        QTest::newRow("empty against zero") << ""
                                            << "0" << false;
        QTest::newRow("first differing piece decides") << "2.0.0"
                                                       << "1.99.99" << true;
    }
    void isNewerTable()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, newer);
        QCOMPARE(isNewer(first, second), newer);
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("url");   // "<none>": absent or null
        QTest::addColumn<QString>("notes"); // "<none>": absent or null

        const QString none = QStringLiteral("<none>");
        QTest::newRow("version only")
            << QByteArray(R"({"version":"1.2.3"})") << true << "1.2.3" << none << none;
        QTest::newRow("all members")
            << QByteArray("{\"version\":\"2.0\",\"url\":\"https://x.test/k\",\"notes\":\"Fixes\"}") << true
            << "2.0"
            << "https://x.test/k"
            << "Fixes";
        QTest::newRow("nulls") << QByteArray(R"({"version":"2.0","url":null,"notes":null})") << true << "2.0"
                               << none << none;
        QTest::newRow("empty strings kept")
            << QByteArray(R"({"version":"","url":"","notes":""})") << true << ""
            << ""
            << "";
        QTest::newRow("other members ignored")
            << QByteArray(R"({"build":17,"version":"1.0","extra":{"a":[1]}})") << true << "1.0" << none
            << none;
        QTest::newRow("unicode notes")
            << QByteArray("{\"version\":\"1\",\"notes\":\"\xe2\x80\x94 caf\xc3\xa9\"}") << true << "1" << none
            << QString::fromUtf8("\u2014 caf\u00e9");
        QTest::newRow("version a number") << QByteArray(R"({"version":2.0})") << false << "" << none << none;
        QTest::newRow("version null") << QByteArray(R"({"version":null})") << false << "" << none << none;
        QTest::newRow("version missing")
            << QByteArray("{\"url\":\"https://x.test\"}") << false << "" << none << none;
        QTest::newRow("url a number")
            << QByteArray(R"({"version":"1","url":5})") << false << "" << none << none;
        QTest::newRow("notes a list")
            << QByteArray(R"({"version":"1","notes":["a"]})") << false << "" << none << none;
        QTest::newRow("notes a bool")
            << QByteArray(R"({"version":"1","notes":false})") << false << "" << none << none;
        QTest::newRow("top-level list") << QByteArray(R"([{"version":"1"}])") << false << "" << none << none;
        QTest::newRow("not JSON") << QByteArray("<html>404</html>") << false << "" << none << none;
        QTest::newRow("trailing garbage")
            << QByteArray(R"({"version":"1"} x)") << false << "" << none << none;
        QTest::newRow("cut short") << QByteArray(R"({"version":"1")") << false << "" << none << none;
        QTest::newRow("empty") << QByteArray() << false << "" << none << none;
    }
    void decode()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        const auto info = ReleaseInfo::decode(json);
        QCOMPARE(info.has_value(), valid);
        if (!valid)
            return;
        QFETCH(QString, version);
        QFETCH(QString, url);
        QFETCH(QString, notes);
        QCOMPARE(info->version, version);
        QCOMPARE(info->url.value_or(QStringLiteral("<none>")), url);
        QCOMPARE(info->notes.value_or(QStringLiteral("<none>")), notes);
    }
};

KORVANE_TEST_MAIN(TestVersionCompare)
#include "tst_versioncompare.moc"
