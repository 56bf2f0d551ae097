#pragma once

#include <QByteArray>
#include <QString>
#include <nlohmann/json.hpp>

namespace korvane {

// Reading and writing the JSON configuration files of other tools, which users
// edit by hand and often keep under version control.
class JsonFile {
public:
    enum class Status {
        Missing,    // no file (or a dangling link)
        Blank,      // empty or only whitespace
        Object,     // a JSON object: `object` holds it
        Damaged,    // not JSON, or not an object at the top level
        Unreadable, // exists but cannot be opened or read
    };

    struct Content {
        Status status = Status::Missing;
        nlohmann::json object = nlohmann::json::object(); // empty unless status is Object
        QString error;                                    // why it is Damaged or Unreadable
        QByteArray bytes;                                 // the file as read
    };

    static Content readObject(const QString& path);

    // Two-space indentation, keys sorted (by bytes), a final newline; invalid UTF-8
    // inside strings becomes U+FFFD instead of failing.
    static QByteArray serialize(const nlohmann::json& value);

    // Copies the file beside itself as backupPath(path). Returns the copy's path,
    // or an empty string and *error.
    static QString keepBackup(const QString& path, QString* error);
    // "<path>.korvane-backup", or with ".1", ".2", ... appended when that name is
    // taken: an earlier backup is never overwritten.
    static QString backupPath(const QString& path);
};

} // namespace korvane
