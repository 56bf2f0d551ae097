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
    // Versions that neither is newer than the other stand for each other.
    if (!ab && !ba)
        FUZZ_CHECK(isNewer(a, c) == isNewer(b, c) && isNewer(c, a) == isNewer(c, b));
    // One more piece makes any version newer.
    FUZZ_CHECK(isNewer(a + QStringLiteral(".1"), a) && !isNewer(a, a + QStringLiteral(".1")));
    return 0;
}
