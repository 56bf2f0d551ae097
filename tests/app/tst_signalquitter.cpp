#include "TestMain.h"
#include "app/SignalQuitter.h"

#include <QSignalSpy>
#include <csignal>

using namespace korvane;

namespace {

using Handler = void (*)(int);

Handler currentHandler(int signalNumber)
{
    struct sigaction now {};
    ::sigaction(signalNumber, nullptr, &now);
    return now.sa_handler;
}

} // namespace

class TestSignalQuitter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void signalBecomesAQuitRequest_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void signalBecomesAQuitRequest()
    {
        QFETCH(int, signalNumber);
        SignalQuitter quitter;
        QVERIFY(quitter.isInstalled());
        QSignalSpy spy(&quitter, &SignalQuitter::quitRequested);

        QCOMPARE(::raise(signalNumber), 0);
        // Not inside the handler: on the event loop.
        QCOMPARE(spy.count(), 0);
        QVERIFY(spy.wait(5000));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), signalNumber);
        // Armed once: a second signal of the kind would end the process the default way.
        QVERIFY(currentHandler(signalNumber) == SIG_DFL);
    }

    void bothSignalsAreHandled()
    {
        SignalQuitter quitter;
        QSignalSpy spy(&quitter, &SignalQuitter::quitRequested);
        QCOMPARE(::raise(SIGINT), 0);
        QCOMPARE(::raise(SIGTERM), 0);
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 5000);
        QCOMPARE(spy.at(0).at(0).toInt(), SIGINT);
        QCOMPARE(spy.at(1).at(0).toInt(), SIGTERM);
    }

    void previousHandlersComeBack()
    {
        const Handler ignore = SIG_IGN;
        ::signal(SIGTERM, ignore);
        const Handler interrupt = currentHandler(SIGINT); // the test library's own
        {
            SignalQuitter quitter;
            QVERIFY(currentHandler(SIGTERM) != ignore);
            QVERIFY(currentHandler(SIGINT) != interrupt);
        }
        QVERIFY(currentHandler(SIGTERM) == ignore);
        QVERIFY(currentHandler(SIGINT) == interrupt);
        ::signal(SIGTERM, SIG_DFL);
    }

    void onlyOneAtATime()
    {
        SignalQuitter first;
        QSignalSpy firstSpy(&first, &SignalQuitter::quitRequested);
        {
            QTest::ignoreMessage(QtWarningMsg, "signal handling is already installed");
            SignalQuitter second;
            QVERIFY(!second.isInstalled());
        }
        // The second one's end leaves the first one working.
        QCOMPARE(::raise(SIGTERM), 0);
        QVERIFY(firstSpy.wait(5000));
    }
};

KORVANE_TEST_MAIN(TestSignalQuitter)
#include "tst_signalquitter.moc"
