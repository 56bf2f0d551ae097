// A child process for the fault tests: it loops over the real writers until it
// is killed, or runs one operation in an environment the parent set up (other
// user, no HOME, read-only folders) and reports what it saw on stdout.
#include "platform/Clock.h"
#include "platform/UserDefaults.h"
#include "status/StatusStore.h"

#if __has_include("hooks/HookInstaller.h")
#include "hooks/HookInstaller.h"
#define KORVANE_HAVE_HOOKS 1
#endif

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

#ifdef KORVANE_HAVE_HOOKS
int hooksLoop()
{
    for (long n = 0;; ++n) {
        if (!HookInstaller::install())
            return 2;
        say(QString::number(n));
    }
}
#endif

// One pass over ~/.cursor/signalwick/state: the overall state, then one line per tab.
int refreshOnce()
{
    StatusStore store;
    store.refresh();
    say(QStringLiteral("state ") + rawValue(store.state()));
    for (const WindowStatus& tab : store.tabs())
        say(QStringLiteral("tab ") + tab.id + u' ' + rawValue(tab.state));
    return 0;
}

int setDefault(const QString& path)
{
    UserDefaults defaults(path);
    say(defaults.setBool(QStringLiteral("KorvaneHasLaunched"), true) ? QStringLiteral("stored")
                                                                     : QStringLiteral("not stored"));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    if (mode == u"defaults-loop")
        return defaultsLoop(args.value(1), args.value(2, QStringLiteral("262144")).toInt());
#ifdef KORVANE_HAVE_HOOKS
    if (mode == u"hooks-loop")
        return hooksLoop();
    if (mode == u"install") {
        say(HookInstaller::install() ? QStringLiteral("installed") : QStringLiteral("failed"));
        return 0;
    }
#endif
    if (mode == u"refresh")
        return refreshOnce();
    if (mode == u"set-default")
        return setDefault(args.value(1, UserDefaults::standardPath()));
    std::fprintf(stderr, "hardening_child: unknown mode %s\n", qPrintable(mode));
    return 64;
}
