#include "update/Updater.h"

#include "platform/Alerts.h"
#include "platform/UrlOpener.h"
#include "update/VersionCompare.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

Q_LOGGING_CATEGORY(lcUpdate, "korvane.update", QtInfoMsg)

namespace korvane {

QUrl Updater::productSite()
{
    return QUrl(QStringLiteral("https://korvane.app/"));
}

Updater::Updater(Alerts& alerts, UrlOpener& urlOpener, QUrl baseUrl, QObject* parent)
    : QObject(parent), m_alerts(alerts), m_urlOpener(urlOpener), m_baseUrl(std::move(baseUrl)),
      m_network(new QNetworkAccessManager(this))
{}

Updater::~Updater() = default;

QUrl Updater::manifestUrl() const
{
    return m_baseUrl.resolved(QUrl(QStringLiteral("version.json")));
}

QUrl Updater::downloadUrl() const
{
    return m_baseUrl.resolved(QUrl(QStringLiteral("download")));
}

QString Updater::currentVersion()
{
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral("0") : version;
}

void Updater::checkForUpdates()
{
    QNetworkRequest request(manifestUrl());
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setTransferTimeout(kDefaultTimeoutMs);
    QNetworkReply* reply = m_network->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finished(reply); });
}

void Updater::finished(QNetworkReply* reply)
{
    reply->deleteLater();
    std::optional<ReleaseInfo> info;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (reply->error() == QNetworkReply::NoError && status.isValid() && status.toInt() == 200) {
        const QByteArray body = reply->readAll();
        if (!body.isEmpty())
            info = ReleaseInfo::decode(body);
    } else {
        qCDebug(lcUpdate) << "no manifest:" << reply->errorString() << status;
    }

    if (!info)
        presentError();
    else if (isNewer(info->version, currentVersion()))
        presentUpdateAvailable(*info);
    else
        presentUpToDate();
}

QUrl Updater::downloadTarget(const ReleaseInfo& info) const
{
    if (info.url && !info.url->isEmpty()) {
        const QUrl url(*info.url, QUrl::StrictMode);
        // Only web addresses: the manifest comes from the network and must not open local files or programs.
        const QString scheme = url.scheme().toLower();
        if (url.isValid() && !url.host().isEmpty() && (scheme == u"https" || scheme == u"http"))
            return url;
    }
    return downloadUrl();
}

void Updater::presentUpdateAvailable(const ReleaseInfo& info)
{
    const QUrl target = downloadTarget(info);
    QString text =
        QStringLiteral("Korvane %1 is available \u2014 you have %2.").arg(info.version, currentVersion());
    if (info.notes && !info.notes->isEmpty())
        text += QStringLiteral("\n\n") + *info.notes;
    Alerts::Request request;
    request.message = QStringLiteral("A new version of Korvane is available");
    request.informativeText = text;
    request.style = Alerts::Style::Informational;
    request.buttons = {QStringLiteral("Download"), QStringLiteral("Later")};
    if (m_alerts.run(request) == 0)
        m_urlOpener.open(target);
}

void Updater::presentUpToDate()
{
    Alerts::Request request;
    request.message = QStringLiteral("You're up to date");
    request.informativeText = QStringLiteral("Korvane %1 is the latest version.").arg(currentVersion());
    request.style = Alerts::Style::Informational;
    request.buttons = {QStringLiteral("OK")};
    m_alerts.run(request);
}

void Updater::presentError()
{
    Alerts::Request request;
    request.message = QStringLiteral("Couldn't check for updates");
    request.informativeText =
        QStringLiteral("Please check your connection and try again, or visit %1.").arg(m_baseUrl.host());
    request.style = Alerts::Style::Warning;
    request.buttons = {QStringLiteral("Visit Website"), QStringLiteral("OK")};
    if (m_alerts.run(request) == 0)
        m_urlOpener.open(downloadUrl());
}

} // namespace korvane
