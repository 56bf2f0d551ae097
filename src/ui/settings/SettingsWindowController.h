#pragma once

#include <QObject>
#include <QStringList>
#include <memory>

class QWidget;

namespace korvane {

class AppSettings;
class LightRows;

// Owns the one settings window. It is made on the first show(), centred once,
// and afterwards only hidden when closed, so the next show() brings back the
// same window where the user left it.
class SettingsWindowController : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "Korvane Settings";

    SettingsWindowController(AppSettings& settings, const LightRows& rows, QStringList agentNames = {},
                             QObject* parent = nullptr);
    ~SettingsWindowController() override;

    // Shows the window and brings the application to the front.
    void show();

    // nullptr until the first show().
    QWidget* window() const { return m_window.get(); }

private:
    void createWindow();

    AppSettings& m_settings;
    const LightRows& m_rows;
    QStringList m_agentNames;
    std::unique_ptr<QWidget> m_window;
};

} // namespace korvane
