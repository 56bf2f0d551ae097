#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <nlohmann/json.hpp>

namespace korvane {

// A permission prompt of Claude Code that the hook passed on, and the answers
// Korvane may give to it. The input is shown, never changed: only a question's
// answers are added to it, as the client requires.
class PermissionRequest {
public:
    static inline const QString kAllow = QStringLiteral("Allow");
    static inline const QString kDeny = QStringLiteral("Deny");
    static inline const QString kAlwaysAllow = QStringLiteral("Always Allow");
    static constexpr int kMaxOptions = 4;

    // From the hook's payload; invalid when it is not a PermissionRequest
    // object with a session and a tool.
    static PermissionRequest parse(const QByteArray& payload);

    bool isValid() const { return !m_tool.isEmpty(); }
    QString conversation() const { return m_session; }
    QString folder() const { return m_cwd; }
    QString tool() const { return m_tool; }
    // What exactly is asked: "Bash: make test", "Write: /p/a.txt", the question.
    QString summary() const;
    // In the order they are offered.
    QStringList choices() const { return m_choices; }
    // The decision the hook prints for `choice`; empty for one not offered.
    QByteArray answer(const QString& choice) const;

private:
    QString m_session;
    QString m_cwd;
    QString m_tool;
    QString m_detail;
    QString m_question;
    QStringList m_choices;
    nlohmann::json m_input;
    nlohmann::json m_suggestions;
};

} // namespace korvane
