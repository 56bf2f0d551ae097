// Codex's config.toml with its hooks switch turned on, from any bytes: every
// line the user wrote stays, in order and byte for byte; what is added is the
// switch and, where there was none, its table; a second run finds it on and
// changes nothing. A file left as it is is left byte for byte.
#include "FuzzSupport.h"
#include "agents/codex/CodexAgent.h"

#include <QList>

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    QByteArray toml = input;
    if (CodexAgent::enableHooks(toml) != CodexAgent::Switch::Added) {
        FUZZ_CHECK(toml == input);
        return 0;
    }
    const QList<QByteArray> before = input.split('\n');
    qsizetype kept = 0, added = 0;
    for (const QByteArray& line : toml.split('\n')) {
        if (kept < before.size() && line == before[kept]) {
            ++kept;
            continue;
        }
        const QByteArray bare = line.endsWith('\r') ? line.chopped(1) : line;
        FUZZ_CHECK(bare.isEmpty() || bare == "hooks = true" || bare == "features.hooks = true" ||
                   bare == "[features]");
        added += !bare.isEmpty();
    }
    FUZZ_CHECK(kept == before.size() && added >= 1 && added <= 2);
    QByteArray again = toml;
    FUZZ_CHECK(CodexAgent::enableHooks(again) == CodexAgent::Switch::On && again == toml);
    return 0;
}
