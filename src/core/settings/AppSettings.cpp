#include "settings/AppSettings.h"

#include "settings/DefaultsKeys.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <vector>

namespace korvane {

AppSettings::AppSettings(UserDefaults& defaults, QObject* parent) : QObject(parent), m_defaults(defaults)
{
    using K = DefaultsKeys;
    if (const auto mode = defaults.stringValue(K::mode.key()))
        m_overlayMode = overlayModeFromRaw(*mode).value_or(K::mode.fallback);
    if (const auto orientation = defaults.stringValue(K::orientation.key()))
        m_orientation =
            *orientation == u"horizontal" ? OverlayOrientation::Horizontal : K::orientation.fallback;
    m_showLabels = defaults.boolValue(K::showLabels.key()).value_or(K::showLabels.fallback);
    m_perTab = defaults.boolValue(K::perTab.key()).value_or(K::perTab.fallback);
    m_scale = K::scale.clamp(defaults.doubleValue(K::scale.key()).value_or(K::scale.fallback));
    m_lightOrder = defaults.stringListValue(K::lightOrder.key()).value_or(QStringList());
    m_notify =
        defaults.boolValue(K::notifyWhenAgentNeedsYou.key()).value_or(K::notifyWhenAgentNeedsYou.fallback);
    m_answerPermissionPrompts =
        defaults.boolValue(K::answerPermissionPrompts.key()).value_or(K::answerPermissionPrompts.fallback);
    m_answerFromNotifications =
        defaults.boolValue(K::answerFromNotifications.key()).value_or(K::answerFromNotifications.fallback);
    m_overlayVisible = defaults.boolValue(K::overlayWasVisible.key()).value_or(K::overlayWasVisible.fallback);
}

AppSettings& AppSettings::shared()
{
    static AppSettings settings(UserDefaults::standard());
    return settings;
}

void AppSettings::setSwitch(bool& member, const DefaultsKey<bool>& key, bool on,
                            void (AppSettings::*signal)(bool))
{
    member = on;
    m_defaults.setBool(key.key(), on);
    if (signal)
        Q_EMIT(this->*signal)(on);
    Q_EMIT changed();
}

void AppSettings::setOverlayMode(OverlayMode mode)
{
    m_overlayMode = mode;
    m_defaults.setString(DefaultsKeys::mode.key(), rawValue(mode));
    Q_EMIT overlayModeChanged(mode);
    Q_EMIT changed();
}

void AppSettings::setOrientation(OverlayOrientation orientation)
{
    m_orientation = orientation;
    m_defaults.setString(DefaultsKeys::orientation.key(), rawValue(orientation));
    Q_EMIT orientationChanged(orientation);
    Q_EMIT changed();
}

void AppSettings::setShowLabels(bool show)
{
    setSwitch(m_showLabels, DefaultsKeys::showLabels, show, &AppSettings::showLabelsChanged);
}

void AppSettings::setPerTab(bool perTab)
{
    setSwitch(m_perTab, DefaultsKeys::perTab, perTab, &AppSettings::perTabChanged);
}

void AppSettings::setNotifyWhenAgentNeedsYou(bool notify)
{
    setSwitch(m_notify, DefaultsKeys::notifyWhenAgentNeedsYou, notify,
              &AppSettings::notifyWhenAgentNeedsYouChanged);
}

void AppSettings::setAnswerPermissionPrompts(bool answer)
{
    setSwitch(m_answerPermissionPrompts, DefaultsKeys::answerPermissionPrompts, answer,
              &AppSettings::answerPermissionPromptsChanged);
}

void AppSettings::setAnswerFromNotifications(bool answer)
{
    setSwitch(m_answerFromNotifications, DefaultsKeys::answerFromNotifications, answer, nullptr);
}

void AppSettings::setOverlayVisible(bool visible)
{
    setSwitch(m_overlayVisible, DefaultsKeys::overlayWasVisible, visible,
              &AppSettings::overlayVisibleChanged);
}

void AppSettings::setScale(double scale)
{
    const double clamped = DefaultsKeys::scale.clamp(scale);
    // NaN is no size at all: it is never published, only its replacement.
    if (clamped != scale && !std::isnan(scale)) {
        // The out-of-range value is seen for one change, then the correction follows.
        m_scale = scale;
        Q_EMIT scaleChanged(scale);
        Q_EMIT changed();
    }
    m_scale = clamped;
    m_defaults.setDouble(DefaultsKeys::scale.key(), clamped);
    Q_EMIT scaleChanged(clamped);
    Q_EMIT changed();
}

void AppSettings::setLightOrder(const QStringList& order)
{
    m_lightOrder = order;
    m_defaults.setStringList(DefaultsKeys::lightOrder.key(), m_lightOrder);
    // A copy: a subscriber that assigns again must not change the list under the others.
    const QStringList published = m_lightOrder;
    Q_EMIT lightOrderChanged(published);
    Q_EMIT changed();
}

WindowStatusList AppSettings::order(const WindowStatusList& rows, const QStringList& order)
{
    if (order.isEmpty())
        return rows;
    QHash<QString, qsizetype> rank;
    for (qsizetype i = 0; i < order.size(); ++i)
        rank.insert(order.at(i), i); // a later duplicate overrides
    std::vector<std::pair<qsizetype, const WindowStatus*>> keyed;
    keyed.reserve(static_cast<std::size_t>(rows.size()));
    const qsizetype unranked = order.size();
    for (const WindowStatus& row : rows)
        keyed.emplace_back(rank.value(row.id, unranked), &row);
    // Unranked rows share one rank past the end; the stable sort keeps their input order.
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    WindowStatusList out;
    out.reserve(rows.size());
    for (const auto& k : keyed)
        out.append(*k.second);
    return out;
}

void AppSettings::move(const WindowStatusList& rows, const QSet<int>& fromOffsets, int toOffset)
{
    const WindowStatusList shown = order(rows, m_lightOrder);
    QStringList ids;
    for (const WindowStatus& row : shown)
        ids.append(row.id);

    QStringList moved;
    QStringList rest;
    int insertAt = 0;
    for (int i = 0; i < ids.size(); ++i) {
        if (fromOffsets.contains(i)) {
            moved.append(ids.at(i));
        } else {
            if (i < toOffset)
                ++insertAt;
            rest.append(ids.at(i));
        }
    }
    QStringList result = rest.mid(0, insertAt) + moved + rest.mid(insertAt);

    const QSet<QString> shownIds(ids.cbegin(), ids.cend());
    for (const QString& id : m_lightOrder) {
        if (!shownIds.contains(id))
            result.append(id);
    }
    setLightOrder(result);
}

} // namespace korvane
