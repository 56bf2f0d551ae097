#include "cli/StatusPrinter.h"

#include "cli/StatusLine.h"

namespace korvane {

StatusPrinter::StatusPrinter(const StatusStore& store, Format format, std::FILE* out, QObject* parent)
    : QObject(parent), m_store(store), m_format(format), m_out(out)
{}

QByteArray StatusPrinter::currentLine() const
{
    QByteArray line = m_format == Format::Json
                          ? StatusLine::json(m_store.state(), m_store.windows())
                          : StatusLine::text(m_store.state(), m_store.windows()).toUtf8();
    line.append('\n');
    return line;
}

bool StatusPrinter::printIfChanged()
{
    QByteArray line = currentLine();
    if (line == m_last)
        return true;
    m_last = std::move(line);
    // Flushed at once: a bar reading a pipe would otherwise wait for a full buffer.
    return std::fwrite(m_last.constData(), 1, std::size_t(m_last.size()), m_out) ==
               std::size_t(m_last.size()) &&
           std::fflush(m_out) == 0;
}

void StatusPrinter::follow()
{
    connect(
        &m_store, &StatusStore::changed, this,
        [this] {
            if (!printIfChanged())
                Q_EMIT outputFailed();
        },
        Qt::QueuedConnection);
}

} // namespace korvane
