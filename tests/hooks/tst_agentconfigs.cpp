// The Codex CLI and Gemini CLI configurations after HookInstaller::install() in a
// throw-away home: only the missing entries are added, nothing the user wrote is lost.

#include "TestMain.h"
#include "hooks/CodexConfig.h"
#include "hooks/GeminiConfig.h"
#include "hooks/HookInstaller.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <nlohmann/json.hpp>

using namespace korvane;
using nlohmann::json;

namespace {

// `shape` with "@" for Korvane's group, which every event that `shape` leaves out holds alone.
json expand(json shape, bool gemini)
{
    json handler = {{"type", "command"}, {"command", HookInstaller::scriptPath().toStdString()}};
    if (gemini)
        handler["name"] = GeminiConfig::kHookName;
    for (const std::string_view event :
         gemini ? std::span(GeminiConfig::kEvents.begin(), GeminiConfig::kEvents.end())
                : std::span(CodexConfig::kEvents.begin(), CodexConfig::kEvents.end()))
        shape["hooks"].emplace(event, json::array({"@"}));
    for (auto& [event, groups] : shape["hooks"].items())
        std::replace(groups.begin(), groups.end(), json("@"), json{{"hooks", {handler}}});
    return shape;
}

} // namespace

Q_DECLARE_METATYPE(nlohmann::json)

class TestAgentConfigs : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_home;
    test::RecordingLog m_log;

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("HOME", QFile::encodeName(m_home->path()));
        m_log.lines.clear();
    }

    void absentToolsAreLeftAlone()
    {
        QVERIFY(HookInstaller::install());
        QVERIFY(!QFileInfo::exists(m_home->path() + "/.codex") &&
                !QFileInfo::exists(m_home->path() + "/.gemini"));
    }

    // A file before ("before": text or JSON; null for none) and after: hooks.json and settings.json
    // compared as JSON, config.toml ("toml") byte for byte, no "after" meaning unchanged. Logged:
    // the file kept aside, or the user's switch off. A second run changes nothing.
    void merge_data()
    {
        QTest::addColumn<json>("c");
        for (const char* name : {"/agent-merge-cases.json", "/codex-config-toml.json"}) {
            const QByteArray table = test::contentsOf(KORVANE_HOOK_TEST_DATA + QString(name));
            for (const json& c : json::parse(table.constBegin(), table.constEnd()))
                QTest::addRow("%s: %s", c.value("file", "toml").c_str(), c["name"].get<std::string>().c_str())
                    << c;
        }
    }
    void merge()
    {
        QFETCH(json, c);
        const std::string file = c.value("file", "toml");
        const QString path = file == "gemini"  ? GeminiConfig::settingsPath()
                             : file == "codex" ? CodexConfig::hooksPath()
                                               : CodexConfig::configPath();
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        const json before = c["before"];
        const QByteArray original =
            QByteArray::fromStdString(before.is_string() ? before.get<std::string>() : before.dump());
        QFile out(path);
        QVERIFY(before.is_null() ||
                (out.open(QIODevice::WriteOnly) && out.write(original) == original.size()));
        out.close();
        QVERIFY2(HookInstaller::install(), qPrintable(m_log.lines.join('\n')));
        const QByteArray written = test::contentsOf(path);
        if (file == "toml")
            QCOMPARE(written, QByteArray::fromStdString(c.value("after", c["before"])));
        else
            QCOMPARE(json::parse(written.constBegin(), written.constEnd(), nullptr, false).dump(),
                     expand(c["after"], file == "gemini").dump());
        const bool backup = c.value("backup", false);
        QCOMPARE(test::contentsOf(path + ".korvane-backup"), backup ? original : QByteArray());
        QCOMPARE(m_log.lines.size(), int(backup || c.value("switch", "") == "off"));
        QVERIFY(HookInstaller::install()); // a second run finds everything in place
        QCOMPARE(test::contentsOf(path), written);
    }
};

KORVANE_TEST_MAIN(TestAgentConfigs)
#include "tst_agentconfigs.moc"
