#include "platform/SystemLog.h"

#include <QByteArray>
#include <cstdio>
#include <syslog.h>

namespace korvane {

namespace {
SystemLog* g_override = nullptr;
}

void SyslogSystemLog::write(const QString& line)
{
    const QByteArray utf8 = line.toUtf8();
    ::syslog(LOG_USER | LOG_WARNING, "%s", utf8.constData());
    std::fprintf(stderr, "%s\n", utf8.constData());
    std::fflush(stderr);
}

SystemLog& SystemLog::instance()
{
    static SyslogSystemLog real;
    return g_override ? *g_override : real;
}

void SystemLog::setInstance(SystemLog* log)
{
    g_override = log;
}

} // namespace korvane
