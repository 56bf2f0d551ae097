#include "ask/AskServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <algorithm>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

constexpr qsizetype kMaxHead = 96;
constexpr int kReadMs = 5000; // a request comes whole at once; a slower one is not ours

bool peerIs(const QLocalSocket* socket, uid_t uid)
{
#ifdef SO_PEERCRED
    ucred cred{};
    socklen_t size = sizeof cred;
    return getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0 &&
           cred.uid == uid;
#else
    uid_t euid = 0;
    gid_t egid = 0;
    return getpeereid(int(socket->socketDescriptor()), &euid, &egid) == 0 && euid == uid;
#endif
}

} // namespace

AskServer::AskServer(QString path, uid_t uid, QObject* parent)
    : QObject(parent), m_path(std::move(path)), m_uid(uid), m_server(new QLocalServer(this))
{
    connect(m_server, &QLocalServer::newConnection, this, &AskServer::accept);
}

AskServer::~AskServer()
{
    m_server->close();
}

QString AskServer::defaultPath()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    return runtime.startsWith('/') ? QFile::decodeName(runtime) + QStringLiteral("/korvane/ask.sock")
                                   : QString();
}

bool AskServer::listen()
{
    if (m_path.isEmpty())
        return false;
    const QString dir = QFileInfo(m_path).path();
    if (!QDir().mkpath(dir) || ::chmod(QFile::encodeName(dir).constData(), 0700) != 0)
        return false;
    // One Korvane runs at a time (the single-instance lock): a socket left here is stale.
    QLocalServer::removeServer(m_path);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    return m_server->listen(m_path);
}

QList<AskServer::Pending> AskServer::pending() const
{
    QList<Pending> list;
    for (const Pending& p : m_pending) {
        if (p.request.isValid())
            list << p;
    }
    std::sort(list.begin(), list.end(), [](const Pending& a, const Pending& b) { return a.id < b.id; });
    return list;
}

void AskServer::accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        if (!peerIs(socket, m_uid)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_pending.insert(socket, {m_next++, {}});
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { drop(socket); });
        QTimer::singleShot(kReadMs, socket, [this, socket] {
            if (m_pending.contains(socket) && !m_pending[socket].request.isValid())
                drop(socket);
        });
        read(socket);
    }
}

// "KORVANE-ASK 1 <hook pid> <client pid> <payload bytes>\n" and the payload;
// anything else closes the connection unanswered.
void AskServer::read(QLocalSocket* socket)
{
    auto it = m_pending.find(socket);
    if (it == m_pending.end() || it->request.isValid())
        return; // nothing more is expected; its end is seen as a disconnect
    const QByteArray head = socket->peek(kMaxHead + 1);
    const qsizetype newline = head.indexOf('\n');
    if (newline < 0) {
        if (head.size() > kMaxHead)
            drop(socket);
        return;
    }
    const QList<QByteArray> words = head.left(newline).split(' ');
    bool ok = words.size() == 5 && words[0] == "KORVANE-ASK" && words[1] == "1";
    const qsizetype size = ok ? words[4].toLongLong(&ok) : 0;
    if (!ok || size <= 0 || size > kMaxPayload) {
        drop(socket);
        return;
    }
    if (socket->bytesAvailable() < newline + 1 + size)
        return;
    socket->skip(newline + 1);
    const QByteArray payload = socket->read(size);
    const PermissionRequest request = PermissionRequest::parse(payload);
    if (!request.isValid() || socket->bytesAvailable() > 0) {
        drop(socket);
        return;
    }
    it->request = request;
    Q_EMIT pendingChanged();
}

bool AskServer::answer(quint64 id, const QString& choice)
{
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (it->id != id)
            continue;
        const QByteArray bytes = it->request.answer(choice);
        if (bytes.isEmpty())
            return false;
        QLocalSocket* socket = it.key();
        socket->write(bytes);
        socket->flush();
        drop(socket);
        return true;
    }
    return false;
}

void AskServer::withdraw(quint64 id)
{
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (it->id == id) {
            drop(it.key());
            return;
        }
    }
}

void AskServer::drop(QLocalSocket* socket)
{
    const auto it = m_pending.find(socket);
    if (it == m_pending.end())
        return;
    const bool shown = it->request.isValid();
    m_pending.erase(it);
    socket->disconnect(this);
    socket->disconnectFromServer(); // written bytes go out first
    socket->deleteLater();
    if (shown)
        Q_EMIT pendingChanged();
}

} // namespace korvane
