#pragma once

#include <QString>
#include <QStringList>
#include <nlohmann/json.hpp>
#include <optional>

namespace korvane {

// A key of the user defaults and what a missing or mistyped value reads as.
template <typename T> struct DefaultsKey {
    const char* name;
    T fallback{};
    QString key() const { return QString::fromLatin1(name); }
};

// For keys whose absence the caller resolves (an empty list, a default place).
struct NoFallback {};

// A number kept within [min, max]: at or below min reads as min, NaN as the fallback.
struct ClampedKey : DefaultsKey<double> {
    double min;
    double max;
    constexpr double clamp(double v) const
    {
        if (v != v)
            return fallback;
        if (v <= min)
            return min;
        return v > max ? max : v;
    }
};

// The per-user preference store: one JSON object in a file, read once at
// construction and written through atomically on every change. Keys are exact
// strings ("a/b", "a//b" and "a/b/" are three keys) and values keep their JSON
// type, which QSettings does not guarantee.
class UserDefaults {
public:
    explicit UserDefaults(QString filePath);

    // $XDG_CONFIG_HOME/Korvane/defaults.json, ~/.config when that is unset or
    // relative (macOS: ~/Library/Preferences/Korvane/).
    static QString standardPath();
    // The process-wide store at standardPath(), created on first use.
    static UserDefaults& standard();

    const QString& filePath() const { return m_path; }

    bool contains(const QString& key) const;
    // The stored value, of whatever JSON type; nullopt when absent.
    std::optional<nlohmann::json> value(const QString& key) const;

    // Typed lookups: nullopt when absent or of another type.
    std::optional<bool> boolValue(const QString& key) const;
    std::optional<double> doubleValue(const QString& key) const;
    std::optional<QString> stringValue(const QString& key) const;
    std::optional<QStringList> stringListValue(const QString& key) const;

    // Each setter stores at once. They return false when the file could not be
    // written (the value is kept in memory then) and for a NaN or infinite
    // double, which JSON cannot hold (nothing changes then).
    bool setValue(const QString& key, nlohmann::json value);
    bool setBool(const QString& key, bool value);
    bool setDouble(const QString& key, double value);
    bool setString(const QString& key, const QString& value);
    bool setStringList(const QString& key, const QStringList& value);
    bool remove(const QString& key);

private:
    bool save();

    QString m_path;
    nlohmann::json m_values = nlohmann::json::object();
    bool m_keepBadCopy = false; // the file on disk did not parse; set it aside before replacing it
};

} // namespace korvane
