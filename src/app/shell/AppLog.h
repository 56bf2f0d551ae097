#pragma once

#include <QLoggingCategory>

namespace korvane {
// "korvane.app": launch, quit, single instance. Debug lines are off unless enabled.
Q_DECLARE_LOGGING_CATEGORY(lcApp)
} // namespace korvane
