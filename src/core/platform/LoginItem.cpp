#include "platform/LoginItem.h"

#include "io/AtomicFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcLoginItem, "korvane.platform.login", QtInfoMsg)

namespace korvane {

namespace {

constexpr qint64 kMaxEntrySize = 64 * 1024;

#ifdef Q_OS_MACOS
// The main-application login-item service needs ServiceManagement; until that
// lands the item reports itself as unavailable instead of pretending.
class UnsupportedLoginItem final : public LoginItem {
public:
    Status status() const override { return Status::NotFound; }
    bool registerItem(QString* error) override { return fail(error); }
    bool unregisterItem(QString* error) override { return fail(error); }

private:
    static bool fail(QString* error)
    {
        if (error)
            *error = QStringLiteral("launch at login is not supported on this system yet");
        return false;
    }
};
#endif

bool parseBool(const QString& value, bool fallback)
{
    const QString v = value.trimmed();
    if (v.compare(u"true", Qt::CaseInsensitive) == 0 || v == u"1")
        return true;
    if (v.compare(u"false", Qt::CaseInsensitive) == 0 || v == u"0")
        return false;
    return fallback;
}

// Undoes the escapes of a desktop entry's string values (\s \n \t \r \\).
QString unescapeString(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != u'\\' || i + 1 == value.size()) {
            out.append(c);
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            out.append(u' ');
            break;
        case 'n':
            out.append(u'\n');
            break;
        case 't':
            out.append(u'\t');
            break;
        case 'r':
            out.append(u'\r');
            break;
        case '\\':
            out.append(u'\\');
            break;
        default: // not a string escape: leave it for the Exec quoting rules
            out.append(u'\\');
            out.append(next);
        }
    }
    return out;
}

// The keys of the [Desktop Entry] group; localised keys are skipped.
QHash<QString, QString> readMainGroup(const QByteArray& bytes)
{
    QHash<QString, QString> keys;
    bool inMain = false;
    for (const QByteArray& rawLine : bytes.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inMain = line == u"[Desktop Entry]";
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!inMain || eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (key.contains(u'['))
            continue;
        keys.insert(key, line.mid(eq + 1).trimmed());
    }
    return keys;
}

bool programExists(const QString& program)
{
    if (program.isEmpty())
        return false;
    if (program.contains(u'/')) {
        const QFileInfo info(program);
        return info.isFile() && info.isExecutable();
    }
    return !QStandardPaths::findExecutable(program).isEmpty();
}

} // namespace

LoginItem& LoginItem::standard()
{
#ifdef Q_OS_MACOS
    static UnsupportedLoginItem item;
#else
    static XdgAutostartLoginItem item;
#endif
    return item;
}

XdgAutostartLoginItem::XdgAutostartLoginItem(QString entryPath, QString program)
    : m_entryPath(std::move(entryPath)), m_program(std::move(program))
{}

QString XdgAutostartLoginItem::defaultEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/korvane.desktop");
}

QString XdgAutostartLoginItem::program() const
{
    return m_program.isEmpty() ? QCoreApplication::applicationFilePath() : m_program;
}

LoginItem::Status XdgAutostartLoginItem::status() const
{
    const QFileInfo info(m_entryPath);
    if (!info.exists() && !info.isSymLink())
        return Status::NotRegistered;
    QFile file(m_entryPath);
    if (!info.isFile() || info.size() > kMaxEntrySize || !file.open(QIODevice::ReadOnly))
        return Status::NotFound;
    const QHash<QString, QString> keys = readMainGroup(file.readAll());
    if (parseBool(keys.value(QStringLiteral("Hidden")), false))
        return Status::NotRegistered;
    if (!parseBool(keys.value(QStringLiteral("X-GNOME-Autostart-enabled")), true))
        return Status::RequiresApproval;
    const QStringList command = execArguments(keys.value(QStringLiteral("Exec")));
    // An entry left behind by a binary that was moved or deleted starts nothing.
    if (command.isEmpty() || !programExists(command.first()))
        return Status::NotFound;
    return Status::Enabled;
}

bool XdgAutostartLoginItem::registerItem(QString* error)
{
    const QString dir = QFileInfo(m_entryPath).absolutePath();
    if (!QDir().mkpath(dir)) {
        if (error)
            *error = QStringLiteral("cannot create the folder %1").arg(dir);
        return false;
    }
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Korvane\n"
                                        "Comment=Traffic-light status for AI coding agents\n"
                                        "Exec=%1\n"
                                        "Icon=korvane\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(execValue(program()));
    if (!AtomicFile::write(m_entryPath, text.toUtf8(), error))
        return false;
    qCDebug(lcLoginItem) << "registered" << m_entryPath;
    return true;
}

bool XdgAutostartLoginItem::unregisterItem(QString* error)
{
    QFile file(m_entryPath);
    if (!file.exists() && !QFileInfo(m_entryPath).isSymLink())
        return true;
    if (!file.remove()) {
        if (error)
            *error = QStringLiteral("cannot remove %1: %2").arg(m_entryPath, file.errorString());
        return false;
    }
    qCDebug(lcLoginItem) << "unregistered" << m_entryPath;
    return true;
}

QString XdgAutostartLoginItem::execValue(const QString& program)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = program.isEmpty();
    for (const QChar c : program)
        needsQuotes = needsQuotes || reserved.contains(c);

    QString arg;
    for (const QChar c : program) {
        if (c == u'%')
            arg.append(u"%%");
        else if (needsQuotes && (c == u'"' || c == u'`' || c == u'$' || c == u'\\'))
            arg.append(u'\\').append(c);
        else
            arg.append(c);
    }
    if (needsQuotes)
        arg = QLatin1Char('"') + arg + QLatin1Char('"');

    // The value as a whole is a string: its backslashes and control characters are escaped once more.
    QString value;
    for (const QChar c : arg) {
        if (c == u'\\')
            value.append(u"\\\\");
        else if (c == u'\n')
            value.append(u"\\n");
        else if (c == u'\t')
            value.append(u"\\t");
        else if (c == u'\r')
            value.append(u"\\r");
        else
            value.append(c);
    }
    return value;
}

QStringList XdgAutostartLoginItem::execArguments(const QString& value)
{
    const QString line = unescapeString(value);
    QStringList args;
    QString current;
    bool inArg = false;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == u'\\' && i + 1 < line.size()) {
                const QChar next = line.at(i + 1);
                if (next == u'"' || next == u'`' || next == u'$' || next == u'\\') {
                    current.append(next);
                    ++i;
                    continue;
                }
            }
            if (c == u'"')
                quoted = false;
            else
                current.append(c);
            continue;
        }
        if (c == u' ' || c == u'\t' || c == u'\n') {
            if (inArg)
                args.append(current);
            current.clear();
            inArg = false;
            continue;
        }
        inArg = true;
        if (c == u'"')
            quoted = true;
        else
            current.append(c);
    }
    if (inArg)
        args.append(current);

    // Field codes: %% is a literal percent, the others (%f, %u, ...) expand to nothing here.
    QStringList result;
    for (const QString& arg : std::as_const(args)) {
        QString expanded;
        bool dropped = false;
        for (qsizetype i = 0; i < arg.size(); ++i) {
            if (arg.at(i) == u'%' && i + 1 < arg.size()) {
                if (arg.at(i + 1) == u'%')
                    expanded.append(u'%');
                else
                    dropped = true;
                ++i;
                continue;
            }
            expanded.append(arg.at(i));
        }
        if (!(dropped && expanded.isEmpty()))
            result.append(expanded);
    }
    return result;
}

} // namespace korvane
