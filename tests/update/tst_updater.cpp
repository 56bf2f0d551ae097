#include "Recorders.h"
#include "TestMain.h"
#include "update/Updater.h"

#include <QTcpServer>
#include <QTcpSocket>

using namespace korvane;

class TestUpdater : public QObject {
    Q_OBJECT

    QTcpServer m_server;
    int m_status = 200;
    QByteArray m_body;
    QByteArray m_request;

    QUrl base() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort())); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* s = m_server.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [this, s] {
                m_request += s->readAll();
                if (m_request.contains("\r\n\r\n"))
                    s->write("HTTP/1.1 " + QByteArray::number(m_status) + " X\r\nContent-Length: " +
                             QByteArray::number(m_body.size()) + "\r\nConnection: close\r\n\r\n" + m_body);
            });
        });
    }

    // The first button of the alert is pressed: "Download" or "Visit Website" open a page.
    void check_data()
    {
        QTest::addColumn<QString>("running");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("opened"); // empty: up to date, nothing to open
        QTest::newRow("numbers, not text")
            << "1.9" << 200 << QByteArray(R"({"version":"1.10"})") << "download";
        QTest::newRow("1.2.0 is 1.2") << "1.2" << 200 << QByteArray(R"({"version":"1.2.0"})") << "";
        QTest::newRow("suffix piece is 0")
            << "1.9" << 200 << QByteArray(R"({"version":"2.0-beta"})") << "download";
        QTest::newRow("first piece decides")
            << "1.99.99" << 200 << QByteArray(R"({"version":"2.0.0"})") << "download";
        QTest::newRow("web address") << "1" << 200
                                     << QByteArray(
                                            "{\"version\":\"5\",\"url\":\"https://dl.example.org/k.deb\"}")
                                     << "https://dl.example.org/k.deb";
        QTest::newRow("local file") << "1" << 200
                                    << QByteArray("{\"version\":\"5\",\"url\":\"file:///bin/sh\"}")
                                    << "download";
        QTest::newRow("other scheme")
            << "1" << 200 << QByteArray("{\"version\":\"5\",\"url\":\"ftp://a.org/k\"}") << "download";
        QTest::newRow("404") << "1" << 404 << QByteArray(R"({"version":"9"})") << "download";
        QTest::newRow("version a number") << "1" << 200 << QByteArray(R"({"version":9})") << "download";
    }
    void check()
    {
        QFETCH(QString, running);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, opened);
        QCoreApplication::setApplicationVersion(running);
        m_status = status;
        m_body = body;
        m_request.clear();
        RecordingAlerts alerts;
        RecordingUrlOpener opener;
        Updater updater(alerts, opener, base());
        updater.checkForUpdates();
        QTRY_COMPARE(alerts.shown.size(), 1);
        QCOMPARE(opener.opened,
                 opened.isEmpty() ? QList<QUrl>() : QList<QUrl>{base().resolved(QUrl(opened))});
        QVERIFY2(m_request.startsWith("GET /version.json ") && m_request.contains("Cache-Control: no-cache"),
                 m_request.constData());
    }
};

KORVANE_GUI_TEST_MAIN(TestUpdater)
#include "tst_updater.moc"
