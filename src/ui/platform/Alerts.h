#pragma once

#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>

namespace korvane {

// Modal alerts. Everything that asks the user something goes through here, so
// that tests can answer instead of a person and never block on a dialog.
class Alerts {
public:
    enum class Style { Informational, Warning, Critical };

    struct Request {
        QString message;
        QString informativeText;
        Style style = Style::Informational;
        // The first is the default button. Empty: one "OK" button.
        QStringList buttons;
        // Null: the style's standard icon.
        QIcon icon;
        // Raised above normal windows (the first-run welcome).
        bool stayOnTop = false;
    };

    virtual ~Alerts() = default;

    // Brings the application to the front, runs the alert modally and returns
    // the index of the button pressed (0 for the default button).
    virtual int run(const Request& request) = 0;

    // The process's real alerts.
    static Alerts& standard();
};

class MessageBoxAlerts final : public Alerts {
public:
    int run(const Request& request) override;
};

} // namespace korvane
