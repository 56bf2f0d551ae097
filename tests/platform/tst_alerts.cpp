#include "TestMain.h"
#include "platform/Alerts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

using namespace korvane;

namespace {

struct Seen {
    bool shown = false;
    QString text;
    QString informative;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons; // in the order they are laid out
    QString defaultButton;
    bool stayOnTop = false;
};

// Waits for the alert to be up, notes what it shows and then presses a button
// (by its text) or, with an empty text, presses Escape.
void answerWhenShown(Seen& seen, const QString& press)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, &seen, press] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        seen.shown = true;
        seen.text = box->text();
        seen.informative = box->informativeText();
        seen.icon = box->icon();
        seen.stayOnTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        for (QAbstractButton* b : box->buttons())
            seen.buttons.append(b->text().remove(u'&'));
        seen.buttons.sort();
        if (box->defaultButton())
            seen.defaultButton = box->defaultButton()->text().remove(u'&');
        if (press.isEmpty()) {
            QTest::keyClick(box, Qt::Key_Escape);
            return;
        }
        for (QAbstractButton* b : box->buttons()) {
            if (b->text().remove(u'&') == press)
                b->click();
        }
    });
    timer->start();
}

} // namespace

class TestAlerts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void buttonIndex_data()
    {
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QString>("press"); // empty: Escape
        QTest::addColumn<int>("index");

        const QStringList two{QStringLiteral("Download"), QStringLiteral("Later")};
        QTest::newRow("default button") << two << "Download" << 0;
        QTest::newRow("second button") << two << "Later" << 1;
        QTest::newRow("escape means the last button") << two << "" << 1;
        QTest::newRow("single default OK") << QStringList{} << "OK" << 0;
        QTest::newRow("escape on a single OK") << QStringList{} << "" << 0;
    }
    void buttonIndex()
    {
        QFETCH(QStringList, buttons);
        QFETCH(QString, press);
        QFETCH(int, index);

        Alerts::Request request;
        request.message = QStringLiteral("Message");
        request.buttons = buttons;
        Seen seen;
        answerWhenShown(seen, press);
        MessageBoxAlerts alerts;
        QCOMPARE(alerts.run(request), index);
        QVERIFY(seen.shown);
        QCOMPARE(seen.defaultButton, buttons.isEmpty() ? QStringLiteral("OK") : buttons.first());
    }

    void showsWhatItWasAsked_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("icon");
        QTest::addColumn<bool>("stayOnTop");
        QTest::newRow("informational")
            << int(Alerts::Style::Informational) << int(QMessageBox::Information) << false;
        QTest::newRow("warning") << int(Alerts::Style::Warning) << int(QMessageBox::Warning) << false;
        QTest::newRow("critical, on top")
            << int(Alerts::Style::Critical) << int(QMessageBox::Critical) << true;
    }
    void showsWhatItWasAsked()
    {
        QFETCH(int, style);
        QFETCH(int, icon);
        QFETCH(bool, stayOnTop);

        Alerts::Request request;
        request.message = QStringLiteral("Couldn't check for updates");
        request.informativeText = QStringLiteral("Line one\n\nLine two");
        request.style = Alerts::Style(style);
        request.buttons = {QStringLiteral("Visit Website"), QStringLiteral("OK")};
        request.stayOnTop = stayOnTop;
        Seen seen;
        answerWhenShown(seen, QStringLiteral("OK"));
        MessageBoxAlerts alerts;
        QCOMPARE(alerts.run(request), 1);
        QCOMPARE(seen.text, request.message);
        QCOMPARE(seen.informative, request.informativeText);
        QCOMPARE(int(seen.icon), icon);
        QCOMPARE(seen.buttons, (QStringList{QStringLiteral("OK"), QStringLiteral("Visit Website")}));
        QCOMPARE(seen.stayOnTop, stayOnTop);
    }
};

KORVANE_GUI_TEST_MAIN(TestAlerts)
#include "tst_alerts.moc"
