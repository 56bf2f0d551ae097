#include "shell/AppLog.h"

namespace korvane {
Q_LOGGING_CATEGORY(lcApp, "korvane.app", QtInfoMsg)
} // namespace korvane
