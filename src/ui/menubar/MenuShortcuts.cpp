#include "menubar/MenuShortcuts.h"

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QMenu>

namespace korvane {

MenuShortcuts::MenuShortcuts(QList<QMenu*> menus, QObject* parent)
    : QObject(parent), m_menus(std::move(menus))
{
    for (QMenu* menu : std::as_const(m_menus))
        menu->installEventFilter(this);
}

bool MenuShortcuts::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !m_menus.contains(watched))
        return QObject::eventFilter(watched, event);
    QAction* action = actionFor(*static_cast<QKeyEvent*>(event));
    if (!action)
        return false;
    for (QMenu* menu : std::as_const(m_menus))
        menu->hide();
    action->trigger();
    return true;
}

QAction* MenuShortcuts::actionFor(const QKeyEvent& event) const
{
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    if (!(modifiers & Qt::ControlModifier))
        return nullptr;
    QList<QKeySequence> candidates = {QKeySequence(QKeyCombination(modifiers, Qt::Key(event.key())))};
    // "=" and "-" need Shift on some layouts; the item is still meant.
    const bool letter = event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z;
    if ((modifiers & Qt::ShiftModifier) && !letter)
        candidates.append(
            QKeySequence(QKeyCombination(modifiers & ~Qt::ShiftModifier, Qt::Key(event.key()))));
    for (const QKeySequence& wanted : std::as_const(candidates)) {
        for (const QMenu* menu : m_menus) {
            for (QAction* action : menu->actions()) {
                if (!action->shortcut().isEmpty() && action->shortcut() == wanted && action->isEnabled())
                    return action;
            }
        }
    }
    return nullptr;
}

} // namespace korvane
