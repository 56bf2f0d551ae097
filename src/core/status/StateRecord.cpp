#include "status/StateRecord.h"

#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace korvane {

namespace {

using Json = nlohmann::json;

// nlohmann's parser already holds the text to RFC 8259: well-formed UTF-8,
// paired surrogate escapes, no NaN, no number beyond a double, nothing after
// the value. This reader adds what a record needs on top: the top level is an
// object, no object repeats a member name (a record that says two things is not
// trusted), nesting stays shallow, and the members it keeps have their types.
class RecordReader final : public nlohmann::json_sax<Json> {
public:
    std::optional<StateRecord> take()
    {
        if (!m_haveState || !m_haveTs)
            return std::nullopt;
        if (m_pid > 0 && !m_start.isEmpty())
            m_record.process = StateRecord::Process{m_pid, m_start};
        if (m_where) {
            m_where->chain.removeIf([](const auto& link) { return link.first <= 0; });
            m_record.where = std::move(m_where);
        }
        return std::move(m_record);
    }

    bool null() override
    {
        if (!inTop())
            return m_depth > 0;
        return isFree() || m_member == Member::Workspace || m_member == Member::Conversation;
    }
    bool boolean(bool) override { return scalar(); }
    bool number_integer(number_integer_t v) override
    {
        if (inWhere())
            whereNumber(v);
        if (inTop() && m_member == Member::Pid)
            m_pid = v;
        return number(double(v));
    }
    bool number_unsigned(number_unsigned_t v) override
    {
        if (inWhere() && v <= number_unsigned_t(std::numeric_limits<qint64>::max()))
            whereNumber(qint64(v));
        if (inTop() && m_member == Member::Pid && v <= number_unsigned_t(std::numeric_limits<qint64>::max()))
            m_pid = qint64(v);
        return number(double(v));
    }
    bool number_float(number_float_t v, const string_t&) override { return number(v); }
    bool binary(binary_t&) override { return false; }

    bool string(string_t& s) override
    {
        if (inWhere())
            whereString(s);
        if (!inTop())
            return m_depth > 0;
        const QString text = QString::fromStdString(s);
        switch (m_member) {
        case Member::State:
            m_record.state = text;
            m_haveState = true;
            break;
        case Member::Workspace:
            m_record.workspace = text;
            break;
        case Member::Conversation:
            m_record.conversationId = text;
            break;
        case Member::Agent:
            m_record.agent = text;
            break;
        case Member::Turn:
            m_record.turnId = text;
            break;
        case Member::Transcript:
            m_record.transcriptPath = text;
            break;
        case Member::ProcStart:
            if (!s.empty() && s.size() <= 20 && s.find_first_not_of("0123456789") == std::string::npos)
                m_start = QByteArray::fromStdString(s);
            break;
        case Member::Ts:
            return false;
        case Member::Pid:
        case Member::Where:
        case Member::Other:
            break;
        }
        return true;
    }

    bool start_object(std::size_t) override
    {
        if (!enter(true))
            return false;
        m_keys.emplace_back();
        return true;
    }
    bool key(string_t& k) override
    {
        std::vector<std::string>& keys = m_keys.back();
        if (std::find(keys.begin(), keys.end(), k) != keys.end())
            return false;
        keys.push_back(k);
        if (m_depth == 1)
            m_member = memberOf(k);
        else if (m_depth == 2 && m_where)
            m_whereKey = k;
        return true;
    }
    bool end_object() override
    {
        m_keys.pop_back();
        --m_depth;
        return true;
    }
    bool start_array(std::size_t) override
    {
        if (inWhere() && m_depth == 3 && m_whereKey == "chain" && m_where->chain.size() < kMaxChain)
            m_where->chain.append({0, QString()});
        return enter(false);
    }
    bool end_array() override
    {
        --m_depth;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override
    {
        return false;
    }

private:
    static constexpr int kMaxDepth = 512;
    static constexpr qsizetype kMaxChain = 16;
    static constexpr qsizetype kMaxVars = 32;
    // These are free in type: files from before they were written may use the names otherwise.
    enum class Member {
        State,
        Ts,
        Workspace,
        Conversation,
        Agent,
        Turn,
        Transcript,
        Pid,
        ProcStart,
        Where,
        Other
    };

    static Member memberOf(const std::string& k)
    {
        if (k == "state")
            return Member::State;
        if (k == "ts")
            return Member::Ts;
        if (k == "workspace")
            return Member::Workspace;
        if (k == "conversation_id")
            return Member::Conversation;
        if (k == "agent")
            return Member::Agent;
        if (k == "turn_id")
            return Member::Turn;
        if (k == "transcript_path")
            return Member::Transcript;
        if (k == "pid")
            return Member::Pid;
        if (k == "proc_start")
            return Member::ProcStart;
        if (k == "where")
            return Member::Where;
        return Member::Other;
    }

    // A value directly inside the top-level object.
    bool inTop() const { return m_depth == 1; }

    bool isFree() const { return m_member >= Member::Agent; }
    bool scalar() const { return m_depth > 1 || (inTop() && isFree()); }

    bool number(double v)
    {
        if (!inTop())
            return m_depth > 0;
        if (m_member == Member::Ts) {
            m_record.ts = v;
            m_haveTs = true;
            return true;
        }
        return isFree();
    }

    // Inside the "where" object, once it has been entered as one.
    bool inWhere() const { return m_member == Member::Where && m_where && m_depth >= 2; }
    void whereNumber(qint64 v)
    {
        if (m_depth == 2 && m_whereKey == "tty_nr")
            m_where->ttyNr = v;
        else if (m_depth == 4 && m_whereKey == "chain" && !m_where->chain.isEmpty() &&
                 !m_where->chain.last().first)
            m_where->chain.last().first = v;
    }
    void whereString(const string_t& s)
    {
        if (m_depth == 2 && m_where->vars.size() < kMaxVars && s.size() <= 4096)
            m_where->vars.insert(QString::fromStdString(m_whereKey), QString::fromStdString(s));
        else if (m_depth == 4 && m_whereKey == "chain" && !m_where->chain.isEmpty())
            m_where->chain.last().second = QString::fromStdString(s);
    }

    bool enter(bool object)
    {
        if (m_depth == 0 ? !object : inTop() && !isFree())
            return false;
        if (object && inTop() && m_member == Member::Where && !m_where)
            m_where = StateRecord::Where{};
        return ++m_depth <= kMaxDepth;
    }

    StateRecord m_record;
    std::vector<std::vector<std::string>> m_keys;
    int m_depth = 0;
    Member m_member = Member::Other;
    bool m_haveState = false;
    bool m_haveTs = false;
    qint64 m_pid = 0;
    QByteArray m_start;
    std::optional<StateRecord::Where> m_where;
    std::string m_whereKey;
};

} // namespace

std::optional<StateRecord> StateRecord::decode(std::string_view json)
{
    // nlohmann's lexer takes a NUL byte for the end of the input; JSON has no
    // place for one outside an escape.
    if (json.find('\0') != std::string_view::npos)
        return std::nullopt;
    RecordReader reader;
    if (!Json::sax_parse(json.begin(), json.end(), &reader))
        return std::nullopt;
    return reader.take();
}

QString StateRecord::workspaceKey() const
{
    return workspace && !workspace->isEmpty() ? *workspace : QString();
}

QString StateRecord::conversationKey(const QString& fileBaseName) const
{
    return conversationId && !conversationId->isEmpty() ? *conversationId : fileBaseName;
}

} // namespace korvane
