#pragma once

#include "platform/Alerts.h"
#include "platform/UrlOpener.h"

namespace korvane {

// Answers every alert at once with its default button.
class RecordingAlerts final : public Alerts {
public:
    int run(const Request& request) override { return shown.append(request), 0; }
    QList<Request> shown;
};

class RecordingUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl& url) override { return opened.append(url), true; }
    QList<QUrl> opened;
};

} // namespace korvane
