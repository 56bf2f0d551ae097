// Loops over the real writers, printing a line after each write, until it is killed.
#include "hooks/HookInstaller.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

using namespace korvane;

namespace {

void say(const QString& line)
{
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

// Two whole documents that differ in every byte of a large value, so that a
// torn write can never look like either of them.
int defaultsLoop(const QString& path, int payload)
{
    UserDefaults defaults(path);
    const QString a(payload, u'a');
    const QString b(payload, u'b');
    for (long n = 0;; ++n) {
        const bool even = n % 2 == 0;
        if (!defaults.setString(QStringLiteral("Payload"), even ? a : b))
            return 2;
        say(QString::number(n));
    }
}

int hooksLoop()
{
    for (long n = 0;; ++n) {
        if (!HookInstaller::install())
            return 2;
        say(QString::number(n));
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    if (mode == u"defaults-loop")
        return defaultsLoop(args.value(1), args.value(2, QStringLiteral("262144")).toInt());
    if (mode == u"hooks-loop")
        return hooksLoop();
    std::fprintf(stderr, "hardening_child: unknown mode %s\n", qPrintable(mode));
    return 64;
}
