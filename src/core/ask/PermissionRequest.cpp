#include "ask/PermissionRequest.h"

namespace korvane {

using nlohmann::json;

namespace {

QString text(const json& object, const char* key)
{
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? QString::fromStdString(it->get<std::string>()) : QString();
}

} // namespace

PermissionRequest PermissionRequest::parse(const QByteArray& payload)
{
    PermissionRequest request;
    const json doc = json::parse(payload.constBegin(), payload.constEnd(), nullptr, false);
    if (!doc.is_object() || text(doc, "hook_event_name") != QLatin1String("PermissionRequest"))
        return request;
    const QString session = text(doc, "session_id");
    const QString tool = text(doc, "tool_name");
    const json input = doc.value("tool_input", json());
    if (session.isEmpty() || tool.isEmpty() || !input.is_object())
        return request;
    request.m_session = session;
    request.m_cwd = text(doc, "cwd");
    request.m_input = input;

    if (tool == QLatin1String("Bash"))
        request.m_detail = text(input, "command");
    for (const char* key : {"file_path", "notebook_path", "path", "url", "pattern"}) {
        if (request.m_detail.isEmpty())
            request.m_detail = text(input, key);
    }

    if (tool == QLatin1String("ExitPlanMode")) {
        // The client ignores an allow here.
        request.m_choices = {kDeny};
    } else if (tool == QLatin1String("AskUserQuestion")) {
        // Answered by naming an option; more than one question, or more
        // options than fit, are answered in the terminal.
        const json questions = input.value("questions", json());
        if (questions.is_array() && questions.size() == 1 && questions[0].is_object()) {
            const json options = questions[0].value("options", json());
            request.m_question = text(questions[0], "question");
            QStringList labels;
            if (options.is_array() && !options.empty() && options.size() <= kMaxOptions) {
                for (const json& option : options) {
                    const QString label = option.is_object() ? text(option, "label") : QString();
                    if (!label.isEmpty() && label != kDeny && !labels.contains(label))
                        labels << label;
                }
            }
            if (!request.m_question.isEmpty() && labels.size() == qsizetype(options.size()))
                request.m_choices = labels;
        }
        request.m_choices << kDeny;
    } else {
        request.m_choices = {kAllow, kDeny};
        const json suggestions = doc.value("permission_suggestions", json());
        if (suggestions.is_array() && !suggestions.empty()) {
            request.m_suggestions = suggestions;
            request.m_choices << kAlwaysAllow;
        }
    }
    request.m_tool = tool;
    return request;
}

QString PermissionRequest::summary() const
{
    if (!m_question.isEmpty())
        return m_question;
    if (!m_detail.isEmpty())
        return m_tool + QStringLiteral(": ") + m_detail.simplified();
    return m_tool;
}

QByteArray PermissionRequest::answer(const QString& choice) const
{
    if (!m_choices.contains(choice))
        return {};
    nlohmann::ordered_json decision;
    if (choice == kDeny) {
        decision = {{"behavior", "deny"}, {"message", "Denied from Korvane"}};
    } else if (choice == kAllow) {
        decision = {{"behavior", "allow"}};
    } else if (choice == kAlwaysAllow) {
        decision = {{"behavior", "allow"}, {"updatedPermissions", m_suggestions}};
    } else {
        json input = m_input;
        input["answers"] = {{m_question.toStdString(), choice.toStdString()}};
        decision = {{"behavior", "allow"}, {"updatedInput", input}};
    }
    const nlohmann::ordered_json output = {
        {"hookSpecificOutput", {{"hookEventName", "PermissionRequest"}, {"decision", decision}}}};
    return QByteArray::fromStdString(output.dump(-1, ' ', false, json::error_handler_t::replace));
}

} // namespace korvane
