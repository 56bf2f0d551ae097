#include "io/AtomicFile.h"

#include <QSaveFile>

namespace korvane {

bool AtomicFile::write(const QString& path, const QByteArray& bytes, QString* error)
{
    // QSaveFile follows a link to its target and keeps the mode. Unbuffered: Qt
    // 6.4's QSaveFile commits even when flushing its buffer failed (a full
    // disk), which replaced the file with an empty one.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(bytes) == bytes.size() &&
        file.commit())
        return true;
    if (error)
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    file.cancelWriting();
    return false;
}

} // namespace korvane
