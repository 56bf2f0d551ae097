// Decoding state files: what a strict JSON decoder accepts, and what it does
// with the four members a record has.

#include "TestMain.h"
#include "status/StateRecord.h"
#include "status/StringPool.h"

using namespace korvane;

namespace {

const QString kAbsent = QStringLiteral("<absent>");

QString orAbsent(const std::optional<QString>& s)
{
    return s ? *s : kAbsent;
}

// A literal with its NUL bytes, without the terminating one.
template <std::size_t N> QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, qsizetype(N - 1));
}

} // namespace

class TestStateRecord : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decodes_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("state");
        QTest::addColumn<double>("ts");
        QTest::addColumn<QString>("workspace");
        QTest::addColumn<QString>("conversation");

        QTest::newRow("state and ts only")
            << QByteArray(R"({"state":"idle","ts":1800000000})") << "idle" << 1.8e9 << kAbsent << kAbsent;
        QTest::newRow("everything, as the hook writes it")
            << QByteArray(R"({"conversation_id":"c-1","event":"stop","source":"cursor","state":"working",)"
                          R"("ts":1799999999.25,"workspace":"/home/ada/engine"})")
            << "working" << 1799999999.25 << "/home/ada/engine"
            << "c-1";
        QTest::newRow("nulls are absent")
            << QByteArray(R"({"state":"idle","ts":1,"workspace":null,"conversation_id":null})") << "idle"
            << 1.0 << kAbsent << kAbsent;
        QTest::newRow("empty strings are present")
            << QByteArray(R"({"state":"idle","ts":1,"workspace":"","conversation_id":""})") << "idle" << 1.0
            << ""
            << "";
        QTest::newRow("other members of any type are ignored")
            << QByteArray(
                   R"({"x":[1,{"y":null},true,false,-0.5e-3,"s"],"state":"error","z":{},"ts":2,"w":[]})")
            << "error" << 2.0 << kAbsent << kAbsent;
        QTest::newRow("members in any order, whitespace around everything")
            << QByteArray(" \r\n\t{ \"ts\" : 3 ,\n \"state\" : \"idle\" } \n") << "idle" << 3.0 << kAbsent
            << kAbsent;
        QTest::newRow("unrecognised state word")
            << QByteArray(R"({"state":"thinking","ts":4})") << "thinking" << 4.0 << kAbsent << kAbsent;
        QTest::newRow("empty state word")
            << QByteArray(R"({"state":"","ts":4})") << "" << 4.0 << kAbsent << kAbsent;
        QTest::newRow("byte-order mark at the start")
            << QByteArray("\xEF\xBB\xBF{\"state\":\"idle\",\"ts\":5}") << "idle" << 5.0 << kAbsent << kAbsent;
        // Some rows avoid raw strings: moc misreads those with \" or an odd number of quotes.
        QTest::newRow("escapes are decoded")
            << QByteArray("{\"state\":\"idle\",\"ts\":6,\"workspace\":\"C:\\\\w\\/x \\\"q\\\" "
                          "\\u00e9\\ud83d\\ude00\\t\"}")
            << "idle" << 6.0 << QString::fromUtf8("C:\\w/x \"q\" \xC3\xA9\xF0\x9F\x98\x80\t") << kAbsent;
        QTest::newRow("escaped member name")
            << QByteArray(R"({"st\u0061te":"idle","\u0074s":7})") << "idle" << 7.0 << kAbsent << kAbsent;
        QTest::newRow("UTF-8 text") << QByteArray("{\"state\":\"idle\",\"ts\":8,\"workspace\":\"/h/"
                                                  "zo\xC3\xAB/\xE6\x97\xA5\xF0\x9F\x9A\x80\"}")
                                    << "idle" << 8.0
                                    << QString::fromUtf8("/h/zo\xC3\xAB/\xE6\x97\xA5\xF0\x9F\x9A\x80")
                                    << kAbsent;
        QTest::newRow("escaped NUL in a string")
            << QByteArray(R"({"state":"idle","ts":9,"conversation_id":"a\u0000b"})") << "idle" << 9.0
            << kAbsent << QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b"));
        QTest::newRow("exponent") << QByteArray(R"({"state":"idle","ts":1.8E9})") << "idle" << 1.8e9
                                  << kAbsent << kAbsent;
        QTest::newRow("negative zero")
            << QByteArray(R"({"state":"idle","ts":-0})") << "idle" << 0.0 << kAbsent << kAbsent;
        QTest::newRow("integer beyond 64 bits")
            << QByteArray(R"({"state":"idle","ts":123456789012345678901234})") << "idle"
            << 1.2345678901234568e23 << kAbsent << kAbsent;
        QTest::newRow("underflow becomes zero")
            << QByteArray(R"({"state":"idle","ts":1e-400})") << "idle" << 0.0 << kAbsent << kAbsent;
        QTest::newRow("same name in different objects")
            << QByteArray(R"({"a":{"k":1},"b":{"k":2},"state":"idle","ts":1})") << "idle" << 1.0 << kAbsent
            << kAbsent;
        QTest::newRow("nested 500 deep") << QByteArray(R"({"state":"idle","ts":1,"deep":)" +
                                                       QByteArray(499, '[') + QByteArray(499, ']') + "}")
                                         << "idle" << 1.0 << kAbsent << kAbsent;
    }
    void decodes()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, state);
        QFETCH(double, ts);
        QFETCH(QString, workspace);
        QFETCH(QString, conversation);
        const std::optional<StateRecord> record = StateRecord::decode(json);
        QVERIFY(record.has_value());
        QCOMPARE(record->state, state);
        QCOMPARE(record->ts, ts);
        QCOMPARE(orAbsent(record->workspace), workspace);
        QCOMPARE(orAbsent(record->conversationId), conversation);
    }

    void rejects_data()
    {
        QTest::addColumn<QByteArray>("json");

        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("only whitespace") << QByteArray(" \n");
        QTest::newRow("not JSON") << QByteArray("state=idle ts=1");
        QTest::newRow("top level is an array") << QByteArray(R"([{"state":"idle","ts":1}])");
        QTest::newRow("top level is a string") << QByteArray(R"("idle")");
        QTest::newRow("empty object") << QByteArray("{}");
        QTest::newRow("state missing") << QByteArray(R"({"ts":1})");
        QTest::newRow("ts missing") << QByteArray(R"({"state":"idle"})");
        QTest::newRow("state null") << QByteArray(R"({"state":null,"ts":1})");
        QTest::newRow("ts null") << QByteArray(R"({"state":"idle","ts":null})");
        QTest::newRow("ts as a string") << QByteArray(R"({"state":"idle","ts":"1800000000"})");
        QTest::newRow("ts as a boolean") << QByteArray(R"({"state":"idle","ts":true})");
        QTest::newRow("ts as an array") << QByteArray(R"({"state":"idle","ts":[1]})");
        QTest::newRow("state as a number") << QByteArray(R"({"state":1,"ts":1})");
        QTest::newRow("state as an object") << QByteArray(R"({"state":{},"ts":1})");
        QTest::newRow("workspace as a number") << QByteArray(R"({"state":"idle","ts":1,"workspace":7})");
        QTest::newRow("workspace as a boolean") << QByteArray(R"({"state":"idle","ts":1,"workspace":false})");
        QTest::newRow("conversation_id as an array")
            << QByteArray(R"({"state":"idle","ts":1,"conversation_id":[]})");
        QTest::newRow("member names are case-sensitive") << QByteArray(R"({"State":"idle","TS":1})");
        QTest::newRow("trailing comma") << QByteArray(R"({"state":"idle","ts":1,})");
        QTest::newRow("missing comma") << QByteArray(R"({"state":"idle" "ts":1})");
        QTest::newRow("single quotes") << QByteArray(R"({'state':'idle','ts':1})");
        QTest::newRow("unquoted name") << QByteArray(R"({state:"idle","ts":1})");
        QTest::newRow("comment") << QByteArray("{\"state\":\"idle\", // now\n\"ts\":1}");
        QTest::newRow("unterminated") << QByteArray("{\"state\":\"idle\",\"ts\":1");
        QTest::newRow("unterminated string") << QByteArray("{\"state\":\"idle,\"ts\":1}");
        QTest::newRow("trailing garbage") << QByteArray(R"({"state":"idle","ts":1} x)");
        QTest::newRow("a second object") << QByteArray(R"({"state":"idle","ts":1}{"state":"idle","ts":2})");
        QTest::newRow("trailing NUL byte") << bytes(R"({"state":"idle","ts":1})"
                                                    "\0");
        QTest::newRow("NUL byte inside a string") << bytes("{\"state\":\"id\0le\",\"ts\":1}");
        QTest::newRow("raw tab inside a string") << QByteArray("{\"state\":\"idle\t\",\"ts\":1}");
        QTest::newRow("raw newline inside a string")
            << QByteArray("{\"state\":\"idle\",\"ts\":1,\"w\":\"a\nb\"}");
        QTest::newRow("unknown escape") << QByteArray(R"({"state":"id\x6ce","ts":1})");
        QTest::newRow("short unicode escape") << QByteArray(R"({"state":"\u006","ts":1})");
        QTest::newRow("lone high surrogate") << QByteArray(R"({"state":"idle","ts":1,"workspace":"\ud800"})");
        QTest::newRow("lone low surrogate") << QByteArray(R"({"state":"idle","ts":1,"workspace":"\udc00x"})");
        QTest::newRow("high surrogate before a non-surrogate")
            << QByteArray(R"({"state":"idle","ts":1,"workspace":"\ud800\u0041"})");
        QTest::newRow("byte-order mark twice")
            << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF{\"state\":\"idle\",\"ts\":1}");
        QTest::newRow("byte-order mark after whitespace")
            << QByteArray(" \xEF\xBB\xBF{\"state\":\"idle\",\"ts\":1}");
        QTest::newRow("UTF-16 text") << bytes("\xFF\xFE{\0\"\0s\0t\0a\0t\0e\0\"\0:\0\"\0i\0\"\0}\0");
        QTest::newRow("invalid UTF-8 byte")
            << QByteArray("{\"state\":\"idle\",\"ts\":1,\"workspace\":\"/h/\xFF\"}");
        QTest::newRow("invalid UTF-8 in an ignored member")
            << QByteArray("{\"state\":\"idle\",\"ts\":1,\"x\":\"\xC3\"}");
        QTest::newRow("Latin-1 instead of UTF-8")
            << QByteArray("{\"state\":\"idle\",\"ts\":1,\"workspace\":\"zo\xEB\"}");
        QTest::newRow("overlong encoding of /")
            << QByteArray("{\"state\":\"idle\",\"ts\":1,\"workspace\":\"\xC0\xAF\"}");
        QTest::newRow("encoded surrogate")
            << QByteArray("{\"state\":\"idle\",\"ts\":1,\"workspace\":\"\xED\xA0\x80\"}");
        QTest::newRow("beyond U+10FFFF")
            << QByteArray("{\"state\":\"idle\",\"ts\":1,\"workspace\":\"\xF4\x90\x80\x80\"}");
        QTest::newRow("truncated sequence")
            << QByteArray("{\"state\":\"idle\",\"ts\":1,\"workspace\":\"\xE6\x97\"}");
        QTest::newRow("non-ASCII outside a string") << QByteArray("{\"state\":\"idle\",\"ts\":1}\xC2\xA0");
        QTest::newRow("NaN") << QByteArray(R"({"state":"idle","ts":NaN})");
        QTest::newRow("Infinity") << QByteArray(R"({"state":"idle","ts":Infinity})");
        QTest::newRow("negative Infinity") << QByteArray(R"({"state":"idle","ts":-Infinity})");
        QTest::newRow("overflowing number") << QByteArray(R"({"state":"idle","ts":1e400})");
        QTest::newRow("overflowing negative number") << QByteArray(R"({"state":"idle","ts":-2e308})");
        QTest::newRow("overflowing number in an ignored member")
            << QByteArray(R"({"state":"idle","ts":1,"x":1e999})");
        QTest::newRow("leading zero") << QByteArray(R"({"state":"idle","ts":01})");
        QTest::newRow("leading plus") << QByteArray(R"({"state":"idle","ts":+1})");
        QTest::newRow("bare fraction") << QByteArray(R"({"state":"idle","ts":.5})");
        QTest::newRow("dot without digits") << QByteArray(R"({"state":"idle","ts":1.})");
        QTest::newRow("exponent without digits") << QByteArray(R"({"state":"idle","ts":1e})");
        QTest::newRow("lone minus") << QByteArray(R"({"state":"idle","ts":-})");
        QTest::newRow("hex number") << QByteArray(R"({"state":"idle","ts":0x10})");
        QTest::newRow("capitalised literal") << QByteArray(R"({"state":"idle","ts":1,"x":True})");
        QTest::newRow("duplicate state") << QByteArray(R"({"state":"working","ts":1,"state":"idle"})");
        QTest::newRow("duplicate ts") << QByteArray(R"({"state":"idle","ts":1,"ts":2})");
        QTest::newRow("duplicate spelled with an escape")
            << QByteArray(R"({"state":"idle","ts":1,"\u0074s":2})");
        QTest::newRow("duplicate inside an ignored member")
            << QByteArray(R"({"state":"idle","ts":1,"x":{"a":1,"b":2,"a":3}})");
        QTest::newRow("duplicate among many names") << QByteArray(
            R"({"state":"idle","ts":1,"a":0,"b":0,"c":0,"d":0,"e":0,"f":0,"g":0,"h":0,"i":0,"c":1})");
        QTest::newRow("nested deeper than 512") << QByteArray(
            R"({"state":"idle","ts":1,"deep":)" + QByteArray(600, '[') + QByteArray(600, ']') + "}");
        QTest::newRow("a megabyte of brackets")
            << QByteArray(R"({"state":"idle","ts":1,"deep":)") + QByteArray(1 << 20, '[');
    }
    void rejects()
    {
        QFETCH(QByteArray, json);
        QVERIFY(!StateRecord::decode(json).has_value());
    }

    void keys_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("workspaceKey");
        QTest::addColumn<QString>("conversationKey");

        QTest::newRow("both present")
            << QByteArray(R"({"state":"idle","ts":1,"workspace":"/w","conversation_id":"c"})") << "/w"
            << "c";
        QTest::newRow("both absent: empty workspace, file name")
            << QByteArray(R"({"state":"idle","ts":1})") << ""
            << "file-base";
        QTest::newRow("both null")
            << QByteArray(R"({"state":"idle","ts":1,"workspace":null,"conversation_id":null})") << ""
            << "file-base";
        QTest::newRow("both empty") << QByteArray(
                                           R"({"state":"idle","ts":1,"workspace":"","conversation_id":""})")
                                    << ""
                                    << "file-base";
        QTest::newRow("a space is not empty")
            << QByteArray(R"({"state":"idle","ts":1,"workspace":" ","conversation_id":" "})") << " "
            << " ";
    }
    void keys()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, workspaceKey);
        QFETCH(QString, conversationKey);
        const auto record = StateRecord::decode(json);
        QVERIFY(record.has_value());
        QCOMPARE(record->workspaceKey(), workspaceKey);
        QCOMPARE(record->conversationKey(QStringLiteral("file-base")), conversationKey);
    }

    // Decoding through the pool gives the same text, and the same text twice
    // shares one string.
    void pooledStrings()
    {
        StringPool pool;
        const QByteArray json = R"({"state":"idle","ts":1,"workspace":"/w/\u00e9","conversation_id":"c"})";
        const auto a = StateRecord::decode(json, &pool);
        const auto b = StateRecord::decode(json, &pool);
        QVERIFY(a && b);
        QCOMPARE(*a->workspace, QString::fromUtf8("/w/\xC3\xA9"));
        QCOMPARE(*a->conversationId, QStringLiteral("c"));
        QVERIFY(a->workspace->constData() == b->workspace->constData());

        pool.nextRound();
        pool.nextRound();
        QCOMPARE(pool.size(), std::size_t(0)); // two rounds without asking forgets everything
        const auto c = StateRecord::decode(json, &pool);
        QVERIFY(c);
        QCOMPARE(*c->workspace, *a->workspace);
    }
};

KORVANE_TEST_MAIN(TestStateRecord)
#include "tst_staterecord.moc"
