#pragma once

#include "ask/PermissionRequest.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <sys/types.h>

class QLocalServer;
class QLocalSocket;

namespace korvane {

// Where the hook's helper asks Korvane to answer a permission prompt. One
// connection holds one request until it is answered, withdrawn, or the helper
// goes (the prompt was answered in the terminal, cancelled or timed out); its
// choices go with it.
class AskServer : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype kMaxPayload = 1 << 20;

    // The socket at `path` (its folder made the user's own); only peers of user
    // `uid` are heard.
    AskServer(QString path, uid_t uid, QObject* parent = nullptr);
    ~AskServer() override;

    static QString defaultPath(); // $XDG_RUNTIME_DIR/korvane/ask.sock, or empty

    bool listen();
    QString path() const { return m_path; }

    struct Pending {
        quint64 id;
        PermissionRequest request;
    };
    QList<Pending> pending() const;

    // False when the request is gone or `choice` is not one of its choices.
    bool answer(quint64 id, const QString& choice);
    // Closes the request unanswered: the prompt stays in the terminal.
    void withdraw(quint64 id);

Q_SIGNALS:
    // A request came or went.
    void pendingChanged();

private:
    void accept();
    void read(QLocalSocket* socket);
    void drop(QLocalSocket* socket);

    QString m_path;
    uid_t m_uid;
    QLocalServer* m_server;
    quint64 m_next = 1;
    QHash<QLocalSocket*, Pending> m_pending;
};

} // namespace korvane
