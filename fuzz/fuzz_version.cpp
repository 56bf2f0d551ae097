// The version comparison: two (or three) version strings separated by newlines.
// isNewer is a strict order on the numbers of the dotted pieces.
#include "FuzzSupport.h"
#include "update/VersionCompare.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<QByteArray> parts = fuzz::split(data, size, QByteArrayLiteral("\n"), 3);
    const QString a = QString::fromUtf8(parts[0]);
    const QString b = QString::fromUtf8(parts.size() > 1 ? parts[1] : QByteArray());
    const QString c = QString::fromUtf8(parts.size() > 2 ? parts[2] : QByteArray());

    const bool ab = isNewer(a, b), ba = isNewer(b, a);
    FUZZ_CHECK(!isNewer(a, a));
    FUZZ_CHECK(!(ab && ba));
    if (ab && isNewer(b, c))
        FUZZ_CHECK(isNewer(a, c));
    // Trailing zero pieces and empty pieces change nothing.
    FUZZ_CHECK(isNewer(a + QStringLiteral(".0"), b) == ab);
    FUZZ_CHECK(isNewer(a, b + QStringLiteral("..0.")) == ab);
    // Equal numbers compare equal whatever the text looked like.
    const QList<qint64> pa = versionParts(a), pb = versionParts(b);
    if (!ab && !ba) {
        for (qsizetype i = 0; i < std::max(pa.size(), pb.size()); ++i)
            FUZZ_CHECK(pa.value(i, 0) == pb.value(i, 0));
    }
    // Bumping the last piece of a (when it cannot overflow) makes it newer.
    if (!pa.isEmpty() && pa.back() >= 0 && pa.back() < std::numeric_limits<qint64>::max() - 1) {
        QStringList pieces;
        for (qsizetype i = 0; i + 1 < pa.size(); ++i)
            pieces.append(QString::number(pa[i]));
        pieces.append(QString::number(pa.back() + 1));
        FUZZ_CHECK(isNewer(pieces.join(u'.'), a));
    }
    return 0;
}
