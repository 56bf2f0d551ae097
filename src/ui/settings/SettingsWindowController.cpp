#include "settings/SettingsWindowController.h"

#include "settings/SettingsView.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

namespace korvane {

SettingsWindowController::SettingsWindowController(AppSettings& settings, const LightRows& rows,
                                                   QStringList agentNames, QObject* parent)
    : QObject(parent), m_settings(settings), m_rows(rows), m_agentNames(std::move(agentNames))
{}

SettingsWindowController::~SettingsWindowController() = default;

void SettingsWindowController::createWindow()
{
    // Title bar, close and minimise; no maximise, and the fixed size rules out resizing.
    m_window =
        std::make_unique<QWidget>(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                               Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    m_window->setObjectName(QStringLiteral("settingsWindow"));
    m_window->setWindowTitle(QString::fromLatin1(kTitle));
    // Closing hides; the window lives as long as the controller.
    m_window->setAttribute(Qt::WA_DeleteOnClose, false);
    m_window->setAttribute(Qt::WA_QuitOnClose, false);

    auto* view = new SettingsView(m_settings, m_rows, m_agentNames, m_window.get());
    auto* layout = new QVBoxLayout(m_window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view, 0, Qt::AlignCenter);
    m_window->setFixedSize(SettingsView::kWidth, SettingsView::kHeight);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), m_window->size());
        frame.moveCenter(screen->availableGeometry().center());
        m_window->move(frame.topLeft());
    }
}

void SettingsWindowController::show()
{
    if (!m_window)
        createWindow();
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

} // namespace korvane
