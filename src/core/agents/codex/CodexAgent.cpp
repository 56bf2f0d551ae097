#include "agents/codex/CodexAgent.h"

#include "agents/codex/CodexLog.h"
#include "io/AtomicFile.h"
#include "platform/SystemLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>

namespace korvane {

namespace {

// `codex_hooks` is the older name of the switch; newer clients warn when it is set.
const QRegularExpression
    kSwitch(QStringLiteral(R"(^\s*(?:"|')?(?:codex_)?hooks(?:"|')?\s*=\s*(true|false)\b)"));
const QRegularExpression kDottedSwitch(
    QStringLiteral(R"(^\s*features\s*\.\s*(?:"|')?(?:codex_)?hooks(?:"|')?\s*=\s*(true|false)\b)"));
const QRegularExpression kDotted(QStringLiteral(R"(^\s*features\s*\.)"));
const QRegularExpression kInline(QStringLiteral(R"(^\s*features\s*=\s*\{(.*)\})"));
const QRegularExpression
    kInlineSwitch(QStringLiteral(R"((?:^|[{,\s])(?:codex_)?hooks\s*=\s*(true|false)\b)"));
const QRegularExpression kHeader(QStringLiteral(R"(^\s*\[\s*([^\[\]#]+?)\s*\]\s*(?:#.*)?$)"));

QString tableName(const QString& header)
{
    QString name = header;
    name.remove(QLatin1Char('"'))
        .remove(QLatin1Char('\''))
        .remove(QLatin1Char(' '))
        .remove(QLatin1Char('\t'));
    return name;
}

} // namespace

HookLayout CodexAgent::layout() const
{
    HookLayout layout;
    layout.upgradeOlder = false;
    return layout;
}

std::unique_ptr<SessionReader> CodexAgent::makeReader() const
{
    return std::make_unique<CodexLog>();
}

QString CodexAgent::configTomlPath()
{
    return QDir::homePath() + QStringLiteral("/.codex/config.toml");
}

CodexAgent::Switch CodexAgent::enableHooks(QByteArray& toml)
{
    QByteArray edited = toml;
    const Switch found = addSwitch(edited);
    // Read wrong here (a quote count thrown off by a comment, a file Codex would
    // not load either), the file would get the line again at every launch: it
    // is left to the default instead.
    if (found != Switch::Added)
        return found;
    if (QByteArray again = edited; addSwitch(again) != Switch::On)
        return Switch::On;
    toml = std::move(edited);
    return Switch::Added;
}

CodexAgent::Switch CodexAgent::addSwitch(QByteArray& toml)
{
    const QByteArray eol = toml.contains("\r\n") ? "\r\n" : "\n";
    QList<QByteArray> lines = toml.split('\n');
    QByteArray multiline;         // the delimiter of the multi-line string we are in
    QString table;                // the current table; "" before the first header
    qsizetype features = -1;      // the line of the [features] header
    qsizetype lastTopDotted = -1; // the last top-level `features.x = ...` line
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray& raw = lines[i];
        if (!multiline.isEmpty()) {
            if (raw.count(multiline) % 2)
                multiline.clear();
            continue;
        }
        const QString line = QString::fromUtf8(raw).trimmed();
        for (const char* quote : {"\"\"\"", "'''"}) {
            if (raw.count(quote) % 2)
                multiline = quote;
        }
        if (QRegularExpressionMatch m = kHeader.match(line);
            m.hasMatch() && !line.startsWith(QLatin1String("[["))) {
            table = tableName(m.captured(1));
            if (table == QLatin1String("features"))
                features = i;
            continue;
        }
        QRegularExpressionMatch m;
        if (table == QLatin1String("features")) {
            m = kSwitch.match(line);
        } else if (table.isEmpty()) {
            m = kDottedSwitch.match(line);
            if (!m.hasMatch() && kDotted.match(line).hasMatch())
                lastTopDotted = i;
            // An inline table cannot take a [features] header later; its default stands.
            if (const QRegularExpressionMatch in = kInline.match(line); in.hasMatch()) {
                m = kInlineSwitch.match(in.captured(1));
                if (!m.hasMatch())
                    return Switch::On;
            }
        }
        if (m.hasMatch())
            return m.captured(1) == QLatin1String("true") ? Switch::On : Switch::Off;
    }
    if (features >= 0)
        lines.insert(features + 1, "hooks = true" + eol.left(eol.size() - 1));
    else if (lastTopDotted >= 0)
        lines.insert(lastTopDotted + 1, "features.hooks = true" + eol.left(eol.size() - 1));
    else {
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        if (!lines.isEmpty())
            lines.append(eol.left(eol.size() - 1));
        lines.append("[features]" + eol.left(eol.size() - 1));
        lines.append("hooks = true" + eol.left(eol.size() - 1));
        lines.append(QByteArray());
    }
    toml = lines.join('\n');
    return Switch::Added;
}

bool CodexAgent::finishInstall(QString* error) const
{
    const QString path = configTomlPath();
    QFile file(path);
    QByteArray toml;
    if (file.exists() &&
        !(file.open(QIODevice::ReadOnly) && (toml = file.readAll(), file.error() == QFile::NoError))) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    switch (enableHooks(toml)) {
    case Switch::Added:
        return AtomicFile::write(path, toml, error);
    case Switch::Off:
        SystemLog::instance().write(
            QStringLiteral("Korvane: hooks are turned off in %1 ([features]); Codex will not run them")
                .arg(path));
        return true;
    case Switch::On:
        return true;
    }
    return true;
}

} // namespace korvane
