#pragma once

#include <QUrl>

namespace korvane {

// Opens a URL with the desktop's default handler (normally the web browser).
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual bool open(const QUrl& url) = 0;

    static UrlOpener& standard();
};

class DesktopUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl& url) override;
};

} // namespace korvane
