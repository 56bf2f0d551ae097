// The hand-written strict scanner that decoded state files before nlohmann
// did, kept here only as the reference the benchmark measures against.
#include "HandScanner.h"

#include <QByteArrayView>
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <forward_list>
#include <string>
#include <utility>
#include <vector>

namespace korvane::bench {

namespace {

// A strict RFC 8259 reader that validates the whole text and keeps only the four
// members of the top-level object that a record needs. It is a hand-written
// scanner rather than a DOM parse because the store decodes every state file on
// every pass, once a second.
//
// What it rejects beyond the grammar, as a strict decoder does: invalid UTF-8
// (overlong forms, encoded surrogates, code points above U+10FFFF), unpaired
// surrogate escapes, numbers whose magnitude overflows a double, duplicate member
// names in any object (a record that says two things is not trusted), and
// nesting deeper than kMaxDepth. A UTF-8 byte-order mark at the very start is
// skipped. Numbers that underflow become zero, as strtod makes them.
class StrictReader {
public:
    explicit StrictReader(std::string_view text)
        : m_p(reinterpret_cast<const unsigned char*>(text.data())), m_end(m_p + text.size()),
          m_keys(keyStack())
    {
        m_keys.clear();
    }

    std::optional<StateRecord> readRecord()
    {
        if (m_end - m_p >= 3 && m_p[0] == 0xEF && m_p[1] == 0xBB && m_p[2] == 0xBF)
            m_p += 3;
        skipSpace();
        if (m_p == m_end || *m_p != '{')
            return std::nullopt;
        ++m_p;
        if (!readTopObject())
            return std::nullopt;
        skipSpace();
        if (m_p != m_end || !m_haveState || !m_haveTs)
            return std::nullopt;
        StateRecord record;
        record.state = internState(m_state);
        record.ts = m_ts;
        if (m_haveWorkspace)
            record.workspace = makeString(m_workspace);
        if (m_haveConversation)
            record.conversationId = makeString(m_conversation);
        return record;
    }

private:
    static constexpr int kMaxDepth = 512;

    // Bytes that stand for themselves inside a string.
    static constexpr std::array<bool, 256> kPlain = [] {
        std::array<bool, 256> plain{};
        for (int c = 0x20; c < 0x80; ++c)
            plain[std::size_t(c)] = c != '"' && c != '\\';
        return plain;
    }();

    // The member names of the objects being read, innermost last. Kept between
    // records so that decoding one allocates nothing for them.
    static std::vector<std::string_view>& keyStack()
    {
        thread_local std::vector<std::string_view> keys;
        return keys;
    }

    enum class Member { State, Ts, Workspace, Conversation, Other };

    // The five words the hook writes come out of a table instead of a fresh
    // allocation each time.
    static QString internState(std::string_view s)
    {
        static const std::pair<std::string_view, QString> words[] = {{"working", QStringLiteral("working")},
                                                                     {"pending", QStringLiteral("pending")},
                                                                     {"waiting", QStringLiteral("waiting")},
                                                                     {"idle", QStringLiteral("idle")},
                                                                     {"error", QStringLiteral("error")}};
        for (const auto& [word, text] : words) {
            if (s == word)
                return text;
        }
        return QString::fromUtf8(s.data(), qsizetype(s.size()));
    }

    static QString makeString(std::string_view utf8)
    {
        return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    }

    static Member memberOf(std::string_view key)
    {
        if (key == "state")
            return Member::State;
        if (key == "ts")
            return Member::Ts;
        if (key == "workspace")
            return Member::Workspace;
        if (key == "conversation_id")
            return Member::Conversation;
        return Member::Other;
    }

    void skipSpace()
    {
        while (m_p != m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
            ++m_p;
    }

    bool readTopObject()
    {
        const std::size_t keysStart = m_keys.size();
        skipSpace();
        if (m_p != m_end && *m_p == '}') {
            ++m_p;
            return true;
        }
        for (;;) {
            skipSpace();
            std::string_view key;
            if (!readKey(key))
                return false;
            skipSpace();
            if (m_p == m_end || *m_p != ':')
                return false;
            ++m_p;
            skipSpace();
            bool ok = true;
            switch (memberOf(key)) {
            case Member::State:
                m_haveState = readStringMember(m_state, m_stateStore);
                ok = m_haveState;
                break;
            case Member::Ts:
                m_haveTs = readNumber(&m_ts);
                ok = m_haveTs;
                break;
            case Member::Workspace:
                ok = readOptionalStringMember(m_workspace, m_workspaceStore, m_haveWorkspace);
                break;
            case Member::Conversation:
                ok = readOptionalStringMember(m_conversation, m_conversationStore, m_haveConversation);
                break;
            case Member::Other:
                ok = skipValue(1);
                break;
            }
            if (!ok)
                return false;
            skipSpace();
            if (m_p == m_end)
                return false;
            if (*m_p == ',') {
                ++m_p;
                continue;
            }
            if (*m_p != '}')
                return false;
            ++m_p;
            return closeKeys(keysStart);
        }
    }

    bool readStringMember(std::string_view& out, std::string& store)
    {
        return m_p != m_end && *m_p == '"' && readString(out, store);
    }

    // A string, or null for "absent".
    bool readOptionalStringMember(std::string_view& out, std::string& store, bool& present)
    {
        if (m_p != m_end && *m_p == 'n') {
            present = false;
            return readLiteral("null");
        }
        present = readStringMember(out, store);
        return present;
    }

    // Reads a member name and remembers it for the duplicate check of its object.
    bool readKey(std::string_view& key)
    {
        if (m_p == m_end || *m_p != '"')
            return false;
        if (!readString(key, m_scratch))
            return false;
        if (key.data() == m_scratch.data()) // decoded: keep a copy that stays put
            key = m_decodedKeys.emplace_front(key);
        m_keys.push_back(key);
        return true;
    }

    // The names of one object must differ; they sit at the end of m_keys.
    bool closeKeys(std::size_t start)
    {
        const auto first = m_keys.begin() + std::ptrdiff_t(start);
        bool unique = true;
        if (m_keys.size() - start <= 8) {
            for (auto i = first; unique && i != m_keys.end(); ++i)
                unique = std::find(i + 1, m_keys.end(), *i) == m_keys.end();
        } else {
            std::sort(first, m_keys.end());
            unique = std::adjacent_find(first, m_keys.end()) == m_keys.end();
        }
        m_keys.erase(first, m_keys.end());
        return unique;
    }

    bool skipValue(int depth)
    {
        if (m_p == m_end)
            return false;
        switch (*m_p) {
        case '{':
            return skipObject(depth + 1);
        case '[':
            return skipArray(depth + 1);
        case '"': {
            std::string_view ignored;
            return readString(ignored, m_scratch);
        }
        case 't':
            return readLiteral("true");
        case 'f':
            return readLiteral("false");
        case 'n':
            return readLiteral("null");
        default:
            return readNumber(nullptr);
        }
    }

    bool skipObject(int depth)
    {
        if (depth > kMaxDepth)
            return false;
        ++m_p;
        const std::size_t keysStart = m_keys.size();
        skipSpace();
        if (m_p != m_end && *m_p == '}') {
            ++m_p;
            return true;
        }
        for (;;) {
            skipSpace();
            std::string_view key;
            if (!readKey(key))
                return false;
            skipSpace();
            if (m_p == m_end || *m_p != ':')
                return false;
            ++m_p;
            skipSpace();
            if (!skipValue(depth))
                return false;
            skipSpace();
            if (m_p == m_end)
                return false;
            if (*m_p == ',') {
                ++m_p;
                continue;
            }
            if (*m_p != '}')
                return false;
            ++m_p;
            return closeKeys(keysStart);
        }
    }

    bool skipArray(int depth)
    {
        if (depth > kMaxDepth)
            return false;
        ++m_p;
        skipSpace();
        if (m_p != m_end && *m_p == ']') {
            ++m_p;
            return true;
        }
        for (;;) {
            skipSpace();
            if (!skipValue(depth))
                return false;
            skipSpace();
            if (m_p == m_end)
                return false;
            if (*m_p == ',') {
                ++m_p;
                continue;
            }
            if (*m_p != ']')
                return false;
            ++m_p;
            return true;
        }
    }

    bool readLiteral(std::string_view word)
    {
        if (std::size_t(m_end - m_p) < word.size() ||
            std::string_view(reinterpret_cast<const char*>(m_p), word.size()) != word)
            return false;
        m_p += word.size();
        return true;
    }

    static int hexValue(unsigned char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    bool readHex4(unsigned& out)
    {
        if (m_end - m_p < 4)
            return false;
        out = 0;
        for (int i = 0; i < 4; ++i) {
            const int v = hexValue(m_p[i]);
            if (v < 0)
                return false;
            out = out * 16 + unsigned(v);
        }
        m_p += 4;
        return true;
    }

    static void appendUtf8(std::string& out, unsigned cp)
    {
        if (cp < 0x80) {
            out.push_back(char(cp));
        } else if (cp < 0x800) {
            out.push_back(char(0xC0 | (cp >> 6)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(char(0xE0 | (cp >> 12)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (cp >> 18)));
            out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        }
    }

    // Length of the well-formed UTF-8 sequence at m_p that starts with a byte
    // >= 0x80, or 0 (Unicode's table of well-formed byte sequences).
    std::size_t utf8Length() const
    {
        const std::size_t left = std::size_t(m_end - m_p);
        const unsigned char b0 = m_p[0];
        const auto cont = [&](std::size_t i, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
            return i < left && m_p[i] >= lo && m_p[i] <= hi;
        };
        if (b0 >= 0xC2 && b0 <= 0xDF)
            return cont(1) ? 2 : 0;
        if (b0 == 0xE0)
            return cont(1, 0xA0) && cont(2) ? 3 : 0;
        if ((b0 >= 0xE1 && b0 <= 0xEC) || b0 == 0xEE || b0 == 0xEF)
            return cont(1) && cont(2) ? 3 : 0;
        if (b0 == 0xED)
            return cont(1, 0x80, 0x9F) && cont(2) ? 3 : 0;
        if (b0 == 0xF0)
            return cont(1, 0x90) && cont(2) && cont(3) ? 4 : 0;
        if (b0 >= 0xF1 && b0 <= 0xF3)
            return cont(1) && cont(2) && cont(3) ? 4 : 0;
        if (b0 == 0xF4)
            return cont(1, 0x80, 0x8F) && cont(2) && cont(3) ? 4 : 0;
        return 0;
    }

    // Moves past the bytes that stand for themselves, eight at a time while
    // none of them is a quote, a backslash, a control character or non-ASCII.
    void skipPlain()
    {
        constexpr std::uint64_t ones = 0x0101010101010101u;
        constexpr std::uint64_t highs = 0x8080808080808080u;
        const auto hasZero = [](std::uint64_t x) { return (x - ones) & ~x; };
        while (m_end - m_p >= 8) {
            std::uint64_t v;
            std::memcpy(&v, m_p, 8);
            const std::uint64_t stops =
                hasZero(v ^ (ones * '"')) | hasZero(v ^ (ones * '\\')) | ((v - ones * 0x20) & ~v) | v;
            if (stops & highs)
                break;
            m_p += 8;
        }
        while (m_p != m_end && kPlain[*m_p])
            ++m_p;
    }

    // At the opening quote. The text is a view into the input when it holds no
    // escapes, and otherwise decoded into store.
    bool readString(std::string_view& text, std::string& store)
    {
        if (m_p == m_end || *m_p != '"')
            return false;
        const unsigned char* const first = ++m_p;
        bool escaped = false;
        for (;;) {
            const unsigned char* run = m_p;
            skipPlain();
            if (escaped)
                store.append(reinterpret_cast<const char*>(run), std::size_t(m_p - run));
            if (m_p == m_end)
                return false;
            const unsigned char c = *m_p;
            if (c == '"') {
                text = escaped
                           ? std::string_view(store)
                           : std::string_view(reinterpret_cast<const char*>(first), std::size_t(m_p - first));
                ++m_p;
                return true;
            }
            if (c < 0x20)
                return false;
            if (c >= 0x80) {
                const std::size_t n = utf8Length();
                if (n == 0)
                    return false;
                if (escaped)
                    store.append(reinterpret_cast<const char*>(m_p), n);
                m_p += n;
                continue;
            }
            // Backslash: from here on the text is decoded.
            if (!escaped) {
                escaped = true;
                store.assign(reinterpret_cast<const char*>(first), std::size_t(m_p - first));
            }
            if (++m_p == m_end)
                return false;
            const unsigned char e = *m_p++;
            switch (e) {
            case '"':
            case '\\':
            case '/':
                store.push_back(char(e));
                break;
            case 'b':
                store.push_back('\b');
                break;
            case 'f':
                store.push_back('\f');
                break;
            case 'n':
                store.push_back('\n');
                break;
            case 'r':
                store.push_back('\r');
                break;
            case 't':
                store.push_back('\t');
                break;
            case 'u': {
                unsigned cp;
                if (!readHex4(cp))
                    return false;
                if (cp >= 0xDC00 && cp <= 0xDFFF)
                    return false;
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    unsigned low;
                    if (m_end - m_p < 2 || m_p[0] != '\\' || m_p[1] != 'u')
                        return false;
                    m_p += 2;
                    if (!readHex4(low) || low < 0xDC00 || low > 0xDFFF)
                        return false;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                }
                appendUtf8(store, cp);
                break;
            }
            default:
                return false;
            }
        }
    }

    // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
    bool readNumber(double* out)
    {
        const unsigned char* start = m_p;
        const auto digit = [&] { return m_p != m_end && *m_p >= '0' && *m_p <= '9'; };
        const bool negative = m_p != m_end && *m_p == '-';
        if (negative)
            ++m_p;
        if (!digit())
            return false;
        // Where the first significant digit sits relative to the decimal point,
        // to tell an overflow from an underflow when the conversion refuses.
        long magnitude = 0;
        bool significant = false;
        if (*m_p == '0') {
            ++m_p;
        } else {
            significant = true;
            while (digit()) {
                ++magnitude;
                ++m_p;
            }
        }
        if (m_p != m_end && *m_p == '.') {
            ++m_p;
            if (!digit())
                return false;
            while (digit()) {
                if (!significant) {
                    if (*m_p != '0')
                        significant = true;
                    else
                        --magnitude;
                }
                ++m_p;
            }
        }
        long exponent = 0;
        if (m_p != m_end && (*m_p == 'e' || *m_p == 'E')) {
            ++m_p;
            bool negativeExponent = false;
            if (m_p != m_end && (*m_p == '+' || *m_p == '-'))
                negativeExponent = *m_p++ == '-';
            if (!digit())
                return false;
            while (digit()) {
                exponent = std::min(exponent * 10 + (*m_p - '0'), 100'000'000L);
                ++m_p;
            }
            if (negativeExponent)
                exponent = -exponent;
        }
        if (!significant) {
            if (out)
                *out = negative ? -0.0 : 0.0;
            return true;
        }
        // A number nobody reads still has to fit; only one this large may not.
        if (!out && magnitude + exponent < 308)
            return true;
        const char* first = reinterpret_cast<const char*>(start);
        const char* last = reinterpret_cast<const char*>(m_p);
        bool converted;
        double value = 0;
#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
        const auto result = std::from_chars(first, last, value);
        converted = result.ec == std::errc() && result.ptr == last;
#else
        value = QByteArrayView(first, last - first).toDouble(&converted);
#endif
        if (!converted && magnitude + exponent > 0)
            return false; // beyond the largest double
        if (out)
            *out = converted ? value : negative ? -0.0 : 0.0;
        return true;
    }

    const unsigned char* m_p;
    const unsigned char* m_end;
    std::vector<std::string_view>& m_keys;
    std::forward_list<std::string> m_decodedKeys;
    std::string m_scratch;
    std::string_view m_state;
    std::string_view m_workspace;
    std::string_view m_conversation;
    std::string m_stateStore;
    std::string m_workspaceStore;
    std::string m_conversationStore;
    double m_ts = 0;
    bool m_haveState = false;
    bool m_haveTs = false;
    bool m_haveWorkspace = false;
    bool m_haveConversation = false;
};

} // namespace

std::optional<StateRecord> handScan(std::string_view json)
{
    return StrictReader(json).readRecord();
}

} // namespace korvane::bench
