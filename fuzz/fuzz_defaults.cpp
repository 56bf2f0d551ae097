// Loading the preference file, then one write through. Whatever the file held
// must survive: a JSON object keeps every member, one whose only fault is a
// number beyond a double keeps the rest, anything else is set aside byte for
// byte before the first write replaces it.
#include "FuzzSupport.h"
#include "platform/UserDefaults.h"

#include <nlohmann/json.hpp>

using namespace korvane;
using nlohmann::json;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString dir = fuzz::isolatedHome() + QStringLiteral("/.config/Korvane");
    fuzz::emptyDirectory(dir);
    const QString path = dir + QStringLiteral("/defaults.json");
    const QByteArray original(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    FUZZ_CHECK(fuzz::writeFile(path, original));

    const json parsed = json::parse(original.constBegin(), original.constEnd(), nullptr, false);
    const bool usable = !parsed.is_discarded() && parsed.is_object();

    UserDefaults defaults(path);
    std::string fresh = "OverlayFuzz";
    while (usable && parsed.contains(fresh))
        fresh += '+';
    FUZZ_CHECK(defaults.setString(QString::fromStdString(fresh), QStringLiteral("x")));

    QByteArray bytes;
    FUZZ_CHECK(fuzz::readFile(path, bytes));
    const json written = json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
    FUZZ_CHECK(written.is_object() && written.value(fresh, json()) == "x");
    if (usable) {
        FUZZ_CHECK(written.size() == parsed.size() + 1);
        for (const auto& [key, value] : parsed.items())
            FUZZ_CHECK(written.contains(key) && written.at(key) == value);
    } else if (QByteArray aside; fuzz::readFile(path + QStringLiteral(".bad"), aside)) {
        FUZZ_CHECK(written.size() == 1 && aside == original);
    } else {
        FUZZ_CHECK(written.size() >= 2); // recovered around an unreadable number
    }
    return 0;
}
