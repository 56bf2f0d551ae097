#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;

namespace korvane {

// Keeps Korvane to one running copy per user: a lock file in the user's runtime
// folder, held for the life of the process; a lock left by a copy that is no
// longer running (a crash) is taken over. The running copy listens on a local
// socket beside it, so that a later launch can ask it to show itself.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Result { Acquired, AlreadyRunning, Unavailable };

    explicit SingleInstance(const QString& folder, QObject* parent = nullptr);

    // AlreadyRunning: the running copy has been asked to show itself.
    Result tryAcquire();

    // XDG_RUNTIME_DIR, or else korvane-<uid> under the temporary folder, made
    // when missing. Empty, with the reason in `error`, when that folder is not a
    // directory of this user's that only this user may enter.
    static QString runtimeFolder(QString* error);

Q_SIGNALS:
    // A later launch asked.
    void showRequested();

private:
    QString m_folder;
    QLockFile m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace korvane
