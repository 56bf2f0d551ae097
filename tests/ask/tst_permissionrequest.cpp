// A prompt's payload as the hook passes it on: what the menu shows, what it offers, and the decision
// each choice prints (data/requests.json).
#include "TestMain.h"
#include "ask/PermissionRequest.h"

#include <nlohmann/json.hpp>

using namespace korvane;
using nlohmann::json;

Q_DECLARE_METATYPE(nlohmann::json)

class TestPermissionRequest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void request_data()
    {
        QTest::addColumn<json>("c");
        const QByteArray table = test::contentsOf(KORVANE_ASK_TEST_DATA "/requests.json");
        for (const json& c : json::parse(table.constBegin(), table.constEnd()))
            QTest::newRow(c["name"].get<std::string>().c_str()) << c;
    }
    void request()
    {
        QFETCH(json, c);
        const json& p = c["payload"];
        const PermissionRequest r = PermissionRequest::parse(
            QByteArray::fromStdString(p.is_string() ? p.get<std::string>() : p.dump()));
        QStringList choices;
        for (const std::string s : c["choices"])
            choices << QString::fromStdString(s);
        QCOMPARE(r.choices(), choices);
        QCOMPARE(r.isValid(), !choices.isEmpty());
        if (!r.isValid())
            return;
        QCOMPARE(r.conversation(), QString::fromStdString(p["session_id"]));
        QCOMPARE(r.summary(), QString::fromStdString(c["summary"]));
        for (const auto& [choice, decision] : c["answers"].items()) {
            const QByteArray bytes = r.answer(QString::fromStdString(choice));
            if (decision.is_null()) {
                QVERIFY2(bytes.isEmpty(), choice.c_str());
                continue;
            }
            const json want = {
                {"hookSpecificOutput", {{"hookEventName", "PermissionRequest"}, {"decision", decision}}}};
            QCOMPARE(json::parse(bytes.toStdString(), nullptr, false).dump(), want.dump());
        }
    }
};

KORVANE_TEST_MAIN(TestPermissionRequest)
#include "tst_permissionrequest.moc"
