#include "update/VersionCompare.h"

#include <QList>
#include <charconv>

namespace korvane {

namespace {

qint64 pieceValue(QStringView piece)
{
    const QByteArray latin = piece.toLatin1();
    const char* first = latin.constData();
    const char* last = first + latin.size();
    // from_chars takes a leading "-" but not "+"; after a "+" there must be a digit.
    if (first != last && *first == '+') {
        ++first;
        if (first == last || *first == '-')
            return 0;
    }
    // toLatin1 turns characters outside Latin-1 into '?', which is not a digit either.
    qint64 value = 0;
    const auto [end, ec] = std::from_chars(first, last, value, 10);
    if (ec != std::errc() || end != last)
        return 0;
    return value;
}

QList<qint64> versionParts(QStringView version)
{
    QList<qint64> parts;
    for (const QStringView piece : version.tokenize(u'.', Qt::SkipEmptyParts))
        parts.append(pieceValue(piece));
    return parts;
}

} // namespace

bool isNewer(QStringView version, QStringView than)
{
    const QList<qint64> a = versionParts(version);
    const QList<qint64> b = versionParts(than);
    const qsizetype n = std::max(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const qint64 x = i < a.size() ? a.at(i) : 0;
        const qint64 y = i < b.size() ? b.at(i) : 0;
        if (x != y)
            return x > y;
    }
    return false;
}

} // namespace korvane
