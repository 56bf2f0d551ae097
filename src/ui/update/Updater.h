#pragma once

#include "update/ReleaseInfo.h"

#include <QObject>
#include <QUrl>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace korvane {

class Alerts;
class UrlOpener;

// The user's "Check for Updates…": fetches the version manifest, compares it
// with the running version and says what it found in an alert. Nothing checks
// on its own, nothing is retried and no failure is logged.
class Updater : public QObject {
    Q_OBJECT

public:
    static constexpr int kDefaultTimeoutMs = 12'000;

    // The product site; tests pass a loopback server instead.
    static QUrl productSite();

    explicit Updater(Alerts& alerts, UrlOpener& urlOpener, QUrl baseUrl = productSite(),
                     QObject* parent = nullptr);
    ~Updater() override;

    QUrl manifestUrl() const;
    QUrl downloadUrl() const;

    // The running version; "0" when the application has none.
    static QString currentVersion();

    // Starts one check and returns at once; its alert comes later. A second call
    // while one runs starts a second check with an alert of its own.
    void checkForUpdates();

    // Where "Download" goes: the manifest's url when it is an absolute http(s)
    // URL, otherwise the download page.
    QUrl downloadTarget(const ReleaseInfo& info) const;

private:
    void finished(QNetworkReply* reply);
    void presentUpdateAvailable(const ReleaseInfo& info);
    void presentUpToDate();
    void presentError();

    Alerts& m_alerts;
    UrlOpener& m_urlOpener;
    QUrl m_baseUrl;
    QNetworkAccessManager* m_network = nullptr;
};

} // namespace korvane
