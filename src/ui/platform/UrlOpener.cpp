#include "platform/UrlOpener.h"

#include <QDesktopServices>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcUrlOpener, "korvane.platform.url")

namespace korvane {

UrlOpener& UrlOpener::standard()
{
    static DesktopUrlOpener opener;
    return opener;
}

bool DesktopUrlOpener::open(const QUrl& url)
{
    const bool ok = QDesktopServices::openUrl(url);
    if (!ok)
        qCWarning(lcUrlOpener) << "no handler opened" << url.toString();
    return ok;
}

} // namespace korvane
