#include "platform/UserDefaults.h"

#include "io/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace korvane {

namespace {

Q_LOGGING_CATEGORY(lcDefaults, "korvane.platform")

std::string utf8(const QString& s)
{
    return s.toStdString();
}

constexpr qint64 kMaxDefaultsSize = 16 * 1024 * 1024;

// Whether a JSON number lies beyond a double (1e400), which makes nlohmann
// refuse the whole document. A number too small for a double reads as 0 there.
bool beyondDouble(const char* first, const char* last)
{
    double d = 0;
    if (std::from_chars(first, last, d).ec != std::errc::result_out_of_range)
        return false;
    long double wide = 0;
    if (std::from_chars(first, last, wide).ec == std::errc())
        return std::fabs(wide) > 1;
    return std::find(first, last, '-') == last || std::find(first + 1, last, '-') == last;
}

// The text with every number beyond a double replaced by null, so that one such
// value falls back to its default while every other value is read as stored.
QByteArray withUnreadableNumbersAsNull(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size());
    bool inString = false;
    for (qsizetype i = 0; i < text.size();) {
        const char c = text.at(i);
        const bool startsNumber = !inString && (c == '-' || (c >= '0' && c <= '9'));
        if (!startsNumber) {
            if (inString && c == '\\' && i + 1 < text.size())
                out += text.at(i++);
            else if (c == '"')
                inString = !inString;
            out += text.at(i++);
            continue;
        }
        qsizetype end = i + 1;
        while (end < text.size() && std::strchr("0123456789+-.eE", text.at(end)) && text.at(end) != '\0')
            ++end;
        const char* first = text.constData() + i;
        const char* last = text.constData() + end;
        if (beyondDouble(first, last))
            out += "null";
        else
            out.append(first, end - i);
        i = end;
    }
    return out;
}

} // namespace

UserDefaults::UserDefaults(QString filePath) : m_path(std::move(filePath))
{
    QFile file(m_path);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxDefaultsSize) {
        qCWarning(lcDefaults) << "cannot read" << m_path << file.errorString();
        m_keepBadCopy = true;
        return;
    }
    const QByteArray bytes = file.readAll();
    nlohmann::json parsed = nlohmann::json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
    if (parsed.is_discarded()) {
        const QByteArray lenient = withUnreadableNumbersAsNull(bytes);
        parsed = nlohmann::json::parse(lenient.constBegin(), lenient.constEnd(), nullptr, false);
        if (parsed.is_object())
            qCWarning(lcDefaults) << "numbers out of range in" << m_path << "read as missing";
    }
    if (parsed.is_discarded() || !parsed.is_object()) {
        qCWarning(lcDefaults) << "ignoring unparseable" << m_path << "- it will be kept as .bad";
        m_keepBadCopy = true;
        return;
    }
    m_values = std::move(parsed);
}

QString UserDefaults::standardPath()
{
#ifdef Q_OS_MACOS
    return QDir::homePath() + QStringLiteral("/Library/Preferences/Korvane/defaults.json");
#else
    // As the XDG base directories say: a relative value is ignored.
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    return (QDir::isAbsolutePath(config) ? config : QDir::homePath() + QStringLiteral("/.config")) +
           QStringLiteral("/Korvane/defaults.json");
#endif
}

UserDefaults& UserDefaults::standard()
{
    static UserDefaults defaults(standardPath());
    return defaults;
}

bool UserDefaults::contains(const QString& key) const
{
    return m_values.contains(utf8(key));
}

std::optional<nlohmann::json> UserDefaults::value(const QString& key) const
{
    const auto it = m_values.find(utf8(key));
    if (it == m_values.end())
        return std::nullopt;
    return *it;
}

std::optional<bool> UserDefaults::boolValue(const QString& key) const
{
    const auto it = m_values.find(utf8(key));
    if (it == m_values.end() || !it->is_boolean())
        return std::nullopt;
    return it->get<bool>();
}

std::optional<double> UserDefaults::doubleValue(const QString& key) const
{
    const auto it = m_values.find(utf8(key));
    if (it == m_values.end() || !it->is_number())
        return std::nullopt;
    return it->get<double>();
}

std::optional<QString> UserDefaults::stringValue(const QString& key) const
{
    const auto it = m_values.find(utf8(key));
    if (it == m_values.end() || !it->is_string())
        return std::nullopt;
    return QString::fromStdString(it->get_ref<const std::string&>());
}

std::optional<QStringList> UserDefaults::stringListValue(const QString& key) const
{
    const auto it = m_values.find(utf8(key));
    if (it == m_values.end() || !it->is_array())
        return std::nullopt;
    QStringList list;
    list.reserve(static_cast<qsizetype>(it->size()));
    for (const auto& element : *it) {
        if (!element.is_string())
            return std::nullopt;
        list.append(QString::fromStdString(element.get_ref<const std::string&>()));
    }
    return list;
}

bool UserDefaults::setValue(const QString& key, nlohmann::json value)
{
    m_values[utf8(key)] = std::move(value);
    return save();
}

bool UserDefaults::setBool(const QString& key, bool value)
{
    return setValue(key, value);
}

bool UserDefaults::setDouble(const QString& key, double value)
{
    // JSON has no NaN or infinity; they would be written as null and lost.
    if (!std::isfinite(value))
        return false;
    return setValue(key, value);
}

bool UserDefaults::setString(const QString& key, const QString& value)
{
    return setValue(key, utf8(value));
}

bool UserDefaults::setStringList(const QString& key, const QStringList& value)
{
    nlohmann::json array = nlohmann::json::array();
    for (const QString& s : value)
        array.push_back(utf8(s));
    return setValue(key, std::move(array));
}

bool UserDefaults::remove(const QString& key)
{
    if (m_values.erase(utf8(key)) == 0)
        return true;
    return save();
}

bool UserDefaults::save()
{
    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath())) {
        qCWarning(lcDefaults) << "cannot create" << info.absolutePath();
        return false;
    }
    if (m_keepBadCopy && !QFileInfo::exists(m_path))
        m_keepBadCopy = false; // removed since we read it: nothing left to keep
    if (m_keepBadCopy) {
        QString aside = m_path + QStringLiteral(".bad");
        for (int n = 1; QFileInfo::exists(aside); ++n)
            aside = m_path + QStringLiteral(".bad.%1").arg(n);
        if (!QFile::copy(m_path, aside)) {
            qCWarning(lcDefaults) << "cannot keep a copy of the unreadable" << m_path << "- not replacing it";
            return false;
        }
        m_keepBadCopy = false;
    }
    const std::string text = m_values.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    QString error;
    if (!AtomicFile::write(m_path, QByteArray::fromStdString(text), &error)) {
        qCWarning(lcDefaults).noquote() << error;
        return false;
    }
    return true;
}

} // namespace korvane
