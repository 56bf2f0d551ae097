#include "hooks/JsonFile.h"

#include <QFile>
#include <QFileInfo>

namespace korvane {

namespace {

bool isBlank(const QByteArray& bytes)
{
    for (const char c : bytes) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            return false;
    }
    return true;
}

// Settings files are small; anything this big is not one we should load.
constexpr qint64 kMaxConfigSize = 64 * 1024 * 1024;

} // namespace

JsonFile::Content JsonFile::readObject(const QString& path)
{
    Content content;
    // A dangling link is missing too (QFile::exists() would say it exists).
    if (!QFileInfo::exists(path))
        return content;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        content.status = Status::Unreadable;
        content.error = file.errorString();
        return content;
    }
    if (file.size() > kMaxConfigSize) {
        content.status = Status::Unreadable;
        content.error = QStringLiteral("file is larger than %1 bytes").arg(kMaxConfigSize);
        return content;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        content.status = Status::Unreadable;
        content.error = file.errorString();
        return content;
    }
    content.bytes = bytes;
    if (isBlank(bytes)) {
        content.status = Status::Blank;
        return content;
    }
    nlohmann::json parsed = nlohmann::json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
    if (parsed.is_discarded()) {
        content.status = Status::Damaged;
        content.error = QStringLiteral("not valid JSON");
        return content;
    }
    if (!parsed.is_object()) {
        content.status = Status::Damaged;
        content.error = QStringLiteral("not a JSON object");
        return content;
    }
    content.status = Status::Object;
    content.object = std::move(parsed);
    return content;
}

QByteArray JsonFile::serialize(const nlohmann::json& value)
{
    std::string text = value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    text.push_back('\n');
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

QString JsonFile::backupPath(const QString& path)
{
    const QString base = path + QStringLiteral(".korvane-backup");
    QString backup = base;
    for (int n = 1; QFileInfo::exists(backup) || QFileInfo(backup).isSymLink(); ++n)
        backup = base + QLatin1Char('.') + QString::number(n);
    return backup;
}

QString JsonFile::keepBackup(const QString& path, QString* error)
{
    const QString backup = backupPath(path);
    QFile source(path);
    if (!source.copy(backup)) {
        *error = QStringLiteral("cannot keep a copy of %1 as %2: %3").arg(path, backup, source.errorString());
        return QString();
    }
    return backup;
}

} // namespace korvane
