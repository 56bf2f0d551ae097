#include "TestMain.h"
#include "platform/Alerts.h"
#include "platform/UrlOpener.h"
#include "update/Updater.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

using namespace korvane;

namespace {

// A loopback HTTP server with one canned answer for every request. It records
// what it was asked; with `silent` it accepts and reads but never answers.
class ManifestServer : public QObject {
public:
    ManifestServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, &ManifestServer::accept);
        m_server.listen(QHostAddress::LocalHost);
    }

    QUrl baseUrl() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort())); }

    int status = 200;
    QByteArray body;
    bool silent = false;
    QList<QByteArray> requests; // each request's head (request line and headers)

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        }
    }

    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        requests.append(buffer.left(end));
        buffer.clear();
        if (silent)
            return;
        const QByteArray reason = status == 200 ? "OK" : "Not Found";
        socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n" +
                      "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
                      "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

enum class Outcome { UpdateAvailable, UpToDate, Error };

} // namespace

class TestUpdater : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { QCoreApplication::setApplicationVersion(QStringLiteral("1.2.0")); }

    void productEndpoints()
    {
        RecordingAlerts alerts;
        RecordingUrlOpener opener;
        Updater updater(alerts, opener);
        QCOMPARE(updater.manifestUrl(), QUrl(QStringLiteral("https://korvane.app/version.json")));
        QCOMPARE(updater.downloadUrl(), QUrl(QStringLiteral("https://korvane.app/download")));
        QCOMPARE(updater.transferTimeout(), 12000);
    }

    void outcome_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("informative"); // <host>: the server's host

        const QString upToDate = QStringLiteral("Korvane 1.2.0 is the latest version.");
        const QString error = QStringLiteral("Please check your connection and try again, or visit <host>.");
        QTest::newRow("newer with notes")
            << 200 << QByteArray(R"({"version":"1.3","notes":"Faster lights."})")
            << int(Outcome::UpdateAvailable)
            << QString::fromUtf8("Korvane 1.3 is available \u2014 you have 1.2.0.\n\nFaster lights.");
        QTest::newRow("newer, empty notes add no line breaks")
            << 200 << QByteArray(R"({"version":"1.10","notes":""})") << int(Outcome::UpdateAvailable)
            << QString::fromUtf8("Korvane 1.10 is available \u2014 you have 1.2.0.");
        QTest::newRow("newer, null notes")
            << 200 << QByteArray(R"({"version":"2","notes":null,"url":null})")
            << int(Outcome::UpdateAvailable)
            << QString::fromUtf8("Korvane 2 is available \u2014 you have 1.2.0.");
        QTest::newRow("equal") << 200 << QByteArray(R"({"version":"1.2.0"})") << int(Outcome::UpToDate)
                               << upToDate;
        QTest::newRow("equal, fewer pieces")
            << 200 << QByteArray(R"({"version":"1.2"})") << int(Outcome::UpToDate) << upToDate;
        QTest::newRow("older") << 200 << QByteArray(R"({"version":"1.1.9","notes":"old"})")
                               << int(Outcome::UpToDate) << upToDate;
        QTest::newRow("404 with a valid body")
            << 404 << QByteArray(R"({"version":"9.0"})") << int(Outcome::Error) << error;
        QTest::newRow("invalid JSON")
            << 200 << QByteArray("<html>hello</html>") << int(Outcome::Error) << error;
        QTest::newRow("version as a number")
            << 200 << QByteArray(R"({"version":9})") << int(Outcome::Error) << error;
        QTest::newRow("url of the wrong type")
            << 200 << QByteArray(R"({"version":"9","url":true})") << int(Outcome::Error) << error;
        QTest::newRow("empty body") << 200 << QByteArray() << int(Outcome::Error) << error;
    }
    void outcome()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, outcome);
        QFETCH(QString, informative);

        ManifestServer server;
        server.status = status;
        server.body = body;
        RecordingAlerts alerts;
        alerts.answer = 1; // "Later" / "OK": nothing is opened
        RecordingUrlOpener opener;
        Updater updater(alerts, opener, server.baseUrl());
        updater.checkForUpdates();
        QTRY_COMPARE(alerts.shown.size(), 1);

        const Alerts::Request& alert = alerts.shown.first();
        QCOMPARE(alert.informativeText,
                 informative.replace(QStringLiteral("<host>"), QStringLiteral("127.0.0.1")));
        switch (Outcome(outcome)) {
        case Outcome::UpdateAvailable:
            QCOMPARE(alert.message, QStringLiteral("A new version of Korvane is available"));
            QCOMPARE(alert.style, Alerts::Style::Informational);
            QCOMPARE(alert.buttons, (QStringList{QStringLiteral("Download"), QStringLiteral("Later")}));
            break;
        case Outcome::UpToDate:
            QCOMPARE(alert.message, QStringLiteral("You're up to date"));
            QCOMPARE(alert.style, Alerts::Style::Informational);
            QCOMPARE(alert.buttons, QStringList{QStringLiteral("OK")});
            break;
        case Outcome::Error:
            QCOMPARE(alert.message, QStringLiteral("Couldn't check for updates"));
            QCOMPARE(alert.style, Alerts::Style::Warning);
            QCOMPARE(alert.buttons, (QStringList{QStringLiteral("Visit Website"), QStringLiteral("OK")}));
            break;
        }
        QVERIFY(opener.opened.isEmpty());

        QCOMPARE(server.requests.size(), 1);
        const QByteArray head = server.requests.first();
        QVERIFY2(head.startsWith("GET /version.json HTTP/1.1\r\n"), head.constData());
        // Reloaded from the server, never from a cache.
        QVERIFY2(head.contains("\r\nCache-Control: no-cache"), head.constData());
    }

    void firstButtonOpens_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("opened"); // relative to the server, or absolute

        QTest::newRow("manifest url")
            << QByteArray("{\"version\":\"5\",\"url\":\"https://dl.example.org/k-5.deb\"}")
            << "https://dl.example.org/k-5.deb";
        QTest::newRow("no url") << QByteArray(R"({"version":"5"})") << "download";
        QTest::newRow("null url") << QByteArray(R"({"version":"5","url":null})") << "download";
        QTest::newRow("empty url") << QByteArray(R"({"version":"5","url":""})") << "download";
        QTest::newRow("url the parser rejects")
            << QByteArray("{\"version\":\"5\",\"url\":\"http://exa mple.org/\"}") << "download";
        QTest::newRow("relative url") << QByteArray(R"({"version":"5","url":"k-5.deb"})") << "download";
        QTest::newRow("local file") << QByteArray("{\"version\":\"5\",\"url\":\"file:///usr/bin/xterm\"}")
                                    << "download";
        QTest::newRow("error alert visits the download page") << QByteArray("nonsense") << "download";
    }
    void firstButtonOpens()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, opened);

        ManifestServer server;
        server.body = body;
        RecordingAlerts alerts;
        alerts.answer = 0;
        RecordingUrlOpener opener;
        Updater updater(alerts, opener, server.baseUrl());
        updater.checkForUpdates();
        QTRY_COMPARE(alerts.shown.size(), 1);
        QCOMPARE(opener.opened, QList<QUrl>{server.baseUrl().resolved(QUrl(opened))});
    }

    void noServer()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const QUrl base(QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort()));
        probe.close(); // nothing listens there any more: connection refused

        RecordingAlerts alerts;
        RecordingUrlOpener opener;
        Updater updater(alerts, opener, base);
        updater.checkForUpdates();
        QTRY_COMPARE(alerts.shown.size(), 1);
        QCOMPARE(alerts.shown.first().message, QStringLiteral("Couldn't check for updates"));
    }

    void serverThatNeverAnswersTimesOut()
    {
        ManifestServer server;
        server.silent = true;
        RecordingAlerts alerts;
        RecordingUrlOpener opener;
        Updater updater(alerts, opener, server.baseUrl());
        updater.setTransferTimeout(300);
        QSignalSpy finished(&updater, &Updater::checkFinished);
        updater.checkForUpdates();
        QVERIFY(finished.wait(5000));
        QCOMPARE(server.requests.size(), 1);
        QCOMPARE(alerts.shown.size(), 1);
        QCOMPARE(alerts.shown.first().message, QStringLiteral("Couldn't check for updates"));
    }

    void withoutAVersionTheAppIsVersionZero()
    {
        QCoreApplication::setApplicationVersion(QString());
        QCOMPARE(Updater::currentVersion(), QStringLiteral("0"));

        ManifestServer server;
        server.body = R"({"version":"0.0.1"})";
        RecordingAlerts alerts;
        alerts.answer = 1;
        RecordingUrlOpener opener;
        Updater updater(alerts, opener, server.baseUrl());
        updater.checkForUpdates();
        QTRY_COMPARE(alerts.shown.size(), 1);
        QCOMPARE(alerts.shown.first().informativeText,
                 QString::fromUtf8("Korvane 0.0.1 is available \u2014 you have 0."));
    }

    void eachCheckHasItsOwnAlert()
    {
        ManifestServer server;
        server.body = R"({"version":"1.2.0"})";
        RecordingAlerts alerts;
        RecordingUrlOpener opener;
        Updater updater(alerts, opener, server.baseUrl());
        updater.checkForUpdates();
        updater.checkForUpdates();
        QTRY_COMPARE(alerts.shown.size(), 2);
        QCOMPARE(server.requests.size(), 2);
    }
};

KORVANE_GUI_TEST_MAIN(TestUpdater)
#include "tst_updater.moc"
