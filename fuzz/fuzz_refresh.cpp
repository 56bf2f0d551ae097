// Refresh passes over a directory made from the input: entries separated by
// "\n@@", each a name line and the file's bytes ("fifo:" before a name makes a
// named pipe). Entries after a "\n@@@\n" line replace files, by rename as the
// hook does, after a first pass. No pass may block, and a store that read the
// directory before must show what a store reading it for the first time shows.
#include "FakeClock.h"
#include "FuzzSupport.h"
#include "status/StatusStore.h"

#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

using namespace korvane;

namespace {

QString snapshot(const StatusStore& s)
{
    QString out = rawValue(s.state());
    for (const WindowStatus& r : s.tabs() + s.windows())
        out += u'\n' + r.id + u'|' + r.name + rawValue(r.state) + QString::number(r.lastActivity, 'g', 17);
    return out;
}

void writeEntries(const QByteArray& input, const QByteArray& dir)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(input.constData());
    for (const QByteArray& part : fuzz::split(bytes, std::size_t(input.size()), "\n@@", 8)) {
        const bool fifo = part.startsWith("fifo:");
        const qsizetype nl = part.indexOf('\n') < 0 ? part.size() : part.indexOf('\n');
        // Plain ASCII, so that every name is valid text; the "x" keeps it from being "." or "..".
        const QByteArray path = dir + "/x" + part.left(nl).mid(fifo ? 5 : 0).left(60).toPercentEncoding();
        ::unlink((path + ".tmp").constData()); // a pipe there would block the write
        if (fifo)
            FUZZ_CHECK((::unlink(path.constData()), ::mkfifo(path.constData(), 0600)) == 0);
        else
            FUZZ_CHECK(fuzz::writeFile(QFile::decodeName(path + ".tmp"), part.mid(nl + 1)) &&
                       ::rename((path + ".tmp").constData(), path.constData()) == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString dir = fuzz::isolatedHome() + QStringLiteral("/.cursor/signalwick/state");
    fuzz::emptyDirectory(dir);
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype cut = input.indexOf("\n@@@\n");
    writeEntries(input.left(cut < 0 ? input.size() : cut), QFile::encodeName(dir));
    test::FakeClock clock(1'800'000'000.0);
    StatusStore cached(clock);
    cached.refresh();
    writeEntries(cut < 0 ? QByteArray() : input.mid(cut + 5), QFile::encodeName(dir));
    cached.refresh();
    StatusStore fresh(clock);
    fresh.refresh();
    FUZZ_CHECK(snapshot(cached) == snapshot(fresh));
    return 0;
}
