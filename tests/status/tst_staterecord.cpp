// Decoding a state file: what a strict decoder accepts and what it refuses.

#include "TestMain.h"
#include "status/StateRecord.h"

using namespace korvane;

namespace {

QString describe(const std::optional<StateRecord>& r)
{
    if (!r)
        return QStringLiteral("rejected");
    const auto opt = [](const std::optional<QString>& s) { return s ? *s : QStringLiteral("-"); };
    return QStringLiteral("%1 %2 %3 %4")
        .arg(r->state)
        .arg(r->ts, 0, 'g', 17)
        .arg(opt(r->workspace), opt(r->conversationId));
}

} // namespace

class TestStateRecord : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decode_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("record");

        QTest::newRow("as the hook writes it")
            << QByteArray(R"({"conversation_id":"c-1","event":"stop","state":"working","ts":1799999999.25,)"
                          R"("workspace":"/home/ada/engine","agent":"cursor"})")
            << "working 1799999999.25 /home/ada/engine c-1";
        QTest::newRow("nulls are absent, empty strings are not")
            << QByteArray(R"({"state":"","ts":1,"workspace":null,"conversation_id":""})") << " 1 - ";
        QTest::newRow("other members of any type; whitespace; byte-order mark")
            << QByteArray("\xEF\xBB\xBF {\"x\":[1,{\"y\":null},true,-0.5e-3],\"state\":\"error\",\n"
                          "\"ts\":2e3,\"z\":{\"k\":1},\"w\":{\"k\":2}} \n")
            << "error 2000 - -";
        QTest::newRow("escapes and UTF-8")
            << QByteArray("{\"st\\u0061te\":\"idle\",\"ts\":6,\"workspace\":\"C:\\\\w\\/\\\"q\\\" "
                          "\\u00e9\\ud83d\\ude00 zo\xC3\xAB\"}")
            << QString::fromUtf8("idle 6 C:\\w/\"q\" \xC3\xA9\xF0\x9F\x98\x80 zo\xC3\xAB -");
        QTest::newRow("integer beyond 64 bits; underflow is zero")
            << QByteArray(R"({"state":"idle","ts":18446744073709551616,"x":1e-400})")
            << "idle 1.8446744073709552e+19 - -";
        QTest::newRow("nested 500 deep") << QByteArray(R"({"state":"idle","ts":1,"d":)" +
                                                       QByteArray(499, '[') + QByteArray(499, ']') + "}")
                                         << "idle 1 - -";

        static const std::pair<const char*, QByteArray> rejected[] = {
            {"empty", ""},
            {"not JSON", "state=idle ts=1"},
            {"top level an array", R"([{"state":"idle","ts":1}])"},
            {"state missing", R"({"ts":1})"},
            {"ts null", R"({"state":"idle","ts":null})"},
            {"ts a string", R"({"state":"idle","ts":"1800000000"})"},
            {"state a number", R"({"state":1,"ts":1})"},
            {"workspace a number", R"({"state":"idle","ts":1,"workspace":7})"},
            {"conversation_id an array", R"({"state":"idle","ts":1,"conversation_id":[]})"},
            {"trailing comma", R"({"state":"idle","ts":1,})"},
            {"trailing garbage", R"({"state":"idle","ts":1} x)"},
            {"NUL byte and more after the object", QByteArray("{\"state\":\"idle\",\"ts\":1}\0{}", 26)},
            {"NUL byte in a string", QByteArray("{\"state\":\"id\0le\",\"ts\":1}", 24)},
            {"raw newline in a string", "{\"state\":\"idle\",\"ts\":1,\"w\":\"a\nb\"}"},
            {"lone surrogate escape", R"({"state":"idle","ts":1,"w":"\ud800x"})"},
            {"invalid UTF-8 in an ignored member", "{\"state\":\"idle\",\"ts\":1,\"x\":\"\xC3\"}"},
            {"encoded surrogate", "{\"state\":\"idle\",\"ts\":1,\"w\":\"\xED\xA0\x80\"}"},
            {"NaN", R"({"state":"idle","ts":NaN})"},
            {"ts beyond a double", R"({"state":"idle","ts":-2e308})"},
            {"ignored number beyond a double", R"({"state":"idle","ts":1,"x":1e999})"},
            {"leading zero", R"({"state":"idle","ts":01})"},
            {"duplicate state", R"({"state":"working","ts":1,"state":"idle"})"},
            {"duplicate spelled with an escape", R"({"state":"idle","ts":1,"\u0074s":2})"},
            {"duplicate inside an ignored member", R"({"state":"idle","ts":1,"x":{"a":1,"b":2,"a":3}})"},
            {"nested deeper than 512",
             R"({"state":"idle","ts":1,"d":)" + QByteArray(600, '[') + QByteArray(600, ']') + "}"},
        };
        for (const auto& [name, json] : rejected)
            QTest::newRow(name) << json << QStringLiteral("rejected");
    }
    void decode()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, record);
        QCOMPARE(describe(StateRecord::decode(json)), record);
    }
};

KORVANE_TEST_MAIN(TestStateRecord)
#include "tst_staterecord.moc"
