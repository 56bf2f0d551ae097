// The Codex CLI and Gemini CLI configurations after HookInstaller::install() in a
// throw-away home: only the missing entries are added, nothing the user wrote is lost.

#include "TestMain.h"
#include "hooks/CodexConfig.h"
#include "hooks/GeminiConfig.h"
#include "hooks/HookInstaller.h"
#include "platform/SystemLog.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <nlohmann/json.hpp>

using namespace korvane;
using nlohmann::json;

namespace {

class RecordingLog final : public SystemLog {
public:
    void write(const QString& line) override { lines << line; }
    QStringList lines;
};

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

json table(const char* name)
{
    const QByteArray bytes = readAll(QStringLiteral(KORVANE_HOOK_TEST_DATA "/") + QLatin1String(name));
    return json::parse(bytes.constBegin(), bytes.constEnd());
}

// `spec` with "@" for Korvane's group, which every event that `spec` leaves out
// holds alone; "$CMD" is the script's path.
json expand(json spec, bool gemini)
{
    json handler = {{"type", "command"}, {"command", HookInstaller::scriptPath().toStdString()}};
    if (gemini)
        handler["name"] = GeminiConfig::kHookName;
    const json ours = {{"hooks", {handler}}};
    for (const std::string_view event : gemini ? std::span<const std::string_view>(GeminiConfig::kEvents)
                                               : std::span<const std::string_view>(CodexConfig::kEvents)) {
        if (!spec["hooks"].contains(event))
            spec["hooks"][std::string(event)] = {"@"};
    }
    for (auto& [event, groups] : spec["hooks"].items()) {
        for (json& group : groups)
            group = group == "@" ? ours : group;
    }
    std::string text = spec.dump();
    for (std::size_t at; (at = text.find("$CMD")) != std::string::npos;)
        text.replace(at, 4, HookInstaller::scriptPath().toStdString());
    return json::parse(text);
}

} // namespace

Q_DECLARE_METATYPE(nlohmann::json)

class TestAgentConfigs : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_home;
    RecordingLog m_log;

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("HOME", QFile::encodeName(m_home->path()));
        m_log.lines.clear();
        SystemLog::setInstance(&m_log);
    }
    void cleanup() { SystemLog::setInstance(nullptr); }

    void absentToolsAreLeftAlone()
    {
        QVERIFY(HookInstaller::install());
        QVERIFY(!QFileInfo::exists(m_home->path() + "/.codex"));
        QVERIFY(!QFileInfo::exists(m_home->path() + "/.gemini"));
    }

    void merge_data()
    {
        QTest::addColumn<json>("c");
        for (const json& c : table("agent-merge-cases.json"))
            QTest::addRow("%s: %s", c["file"].get<std::string>().c_str(),
                          c["name"].get<std::string>().c_str())
                << c;
    }
    void merge()
    {
        QFETCH(json, c);
        const bool gemini = c["file"] == "gemini";
        const QString path = gemini ? GeminiConfig::settingsPath() : CodexConfig::hooksPath();
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        const json before =
            c.value("installed", false) ? expand(c["after"], gemini) : c.value("before", json());
        const QByteArray original =
            QByteArray::fromStdString(before.is_string() ? before.get<std::string>() : before.dump());
        if (!before.is_null())
            writeFile(path, original);
        QVERIFY2(HookInstaller::install(), qPrintable(m_log.lines.join('\n')));
        const QByteArray written = readAll(path);
        QCOMPARE(json::parse(written.constBegin(), written.constEnd(), nullptr, false).dump(),
                 expand(c["after"], gemini).dump());
        const bool backup = c.value("backup", false);
        QCOMPARE(readAll(path + ".korvane-backup"), backup ? original : QByteArray());
        QCOMPARE(m_log.lines.size(), int(backup));
    }

    // The hooks switch of config.toml: "after" the whole file, or no "after" when
    // it stays as it was; a switch the user turned off is logged.
    void featureSwitch_data()
    {
        QTest::addColumn<json>("c");
        for (const json& c : table("codex-config-toml.json"))
            QTest::addRow("%s", c["name"].get<std::string>().c_str()) << c;
    }
    void featureSwitch()
    {
        QFETCH(json, c);
        const QByteArray before = QByteArray::fromStdString(c["before"]);
        if (!before.isEmpty())
            writeFile(CodexConfig::configPath(), before);
        else
            QVERIFY(QDir().mkpath(QFileInfo(CodexConfig::configPath()).path()));
        QVERIFY2(HookInstaller::install(), qPrintable(m_log.lines.join('\n')));
        QCOMPARE(readAll(CodexConfig::configPath()),
                 QByteArray::fromStdString(c.value("after", c["before"])));
        QCOMPARE(m_log.lines.size(), int(c.value("switch", "") == "off"));
    }
};

KORVANE_TEST_MAIN(TestAgentConfigs)
#include "tst_agentconfigs.moc"
