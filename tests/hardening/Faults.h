#pragma once

#include <QByteArray>
#include <QString>

namespace korvane::test {
QByteArray readBytes(const QString& path);
bool writeBytes(const QString& path, const QByteArray& bytes);
} // namespace korvane::test
