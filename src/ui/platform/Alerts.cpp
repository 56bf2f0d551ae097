#include "platform/Alerts.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace korvane {

Alerts& Alerts::standard()
{
    static MessageBoxAlerts alerts;
    return alerts;
}

int MessageBoxAlerts::run(const Request& request)
{
    QMessageBox box;
    box.setWindowTitle(QApplication::applicationDisplayName());
    box.setText(request.message);
    box.setInformativeText(request.informativeText);
    switch (request.style) {
    case Style::Informational:
        box.setIcon(QMessageBox::Information);
        break;
    case Style::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Style::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    if (!request.icon.isNull())
        box.setIconPixmap(request.icon.pixmap(64));
    if (request.stayOnTop)
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);

    QList<QAbstractButton*> buttons;
    if (request.buttons.isEmpty()) {
        buttons.append(box.addButton(QMessageBox::Ok));
    } else {
        for (qsizetype i = 0; i < request.buttons.size(); ++i) {
            const auto role = i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole;
            buttons.append(box.addButton(request.buttons.at(i), role));
        }
    }
    box.setDefaultButton(qobject_cast<QPushButton*>(buttons.first()));
    // Escape and the close button mean the last button ("OK", "Later"), never the action.
    box.setEscapeButton(buttons.last());

    // A tray application has no window of its own in front; raise the alert once it is mapped.
    // Qt centres a dialog for the size it has before its text is wrapped, so centre it again
    // now that it is shown at its final size.
    QTimer::singleShot(0, &box, [&box] {
        if (const QScreen* screen = box.screen())
            box.move(screen->availableGeometry().center() - box.rect().center());
        box.raise();
        box.activateWindow();
    });
    box.exec();

    const qsizetype index = buttons.indexOf(box.clickedButton());
    return index >= 0 ? int(index) : int(buttons.size() - 1);
}

} // namespace korvane
