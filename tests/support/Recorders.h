#pragma once

#include "platform/Alerts.h"
#include "platform/SystemLog.h"
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

namespace test {
// Takes the system log's lines for its lifetime.
class RecordingLog final : public SystemLog {
public:
    RecordingLog() { SystemLog::setInstance(this); }
    ~RecordingLog() override { SystemLog::setInstance(nullptr); }
    void write(const QString& line) override { lines.append(line); }
    QStringList lines;
};
} // namespace test

} // namespace korvane
