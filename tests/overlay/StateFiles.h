#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTest>

namespace korvane::test {

// Writes state files as the hook script does (temporary name, then rename), in
// the store's directory under the test's temporary HOME.
class StateFiles {
public:
    StateFiles() : m_dir(QDir::homePath() + QStringLiteral("/.cursor/signalwick/state"))
    {
        QDir().mkpath(m_dir);
    }

    void write(const QString& name, const QString& state, double ts, const QString& workspace,
               const QString& conversation = QString()) const
    {
        QString json = QStringLiteral(R"({"state":"%1","ts":%2,"workspace":"%3")")
                           .arg(state, QString::number(ts, 'f', 3), workspace);
        if (!conversation.isEmpty())
            json += QStringLiteral(R"(,"conversation_id":"%1")").arg(conversation);
        json += u'}';
        const QString temp = m_dir + u'/' + name + QStringLiteral(".tmp");
        QFile file(temp);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(json.toUtf8());
        file.close();
        QFile::remove(path(name));
        QVERIFY(QFile::rename(temp, path(name)));
    }
    void writeWithoutWorkspace(const QString& name, const QString& state, double ts) const
    {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(
            QStringLiteral(R"({"state":"%1","ts":%2})").arg(state, QString::number(ts, 'f', 3)).toUtf8());
    }
    void remove(const QString& name) const { QFile::remove(path(name)); }
    void clear() const
    {
        QDir dir(m_dir);
        for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden))
            dir.remove(entry);
    }

private:
    QString path(const QString& name) const { return m_dir + u'/' + name + QStringLiteral(".json"); }
    QString m_dir;
};

} // namespace korvane::test
