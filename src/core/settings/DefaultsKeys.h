#pragma once

#include "platform/UserDefaults.h"
#include "settings/OverlayMode.h"
#include "settings/OverlayOrientation.h"

namespace korvane {

// Every key the application keeps in the user defaults, with what a missing or
// unreadable value reads as. The names are the stored format: never rename one.
struct DefaultsKeys {
    // The preferences of AppSettings.
    static constexpr DefaultsKey<OverlayMode> mode{"OverlayMode", OverlayMode::Combined};
    static constexpr DefaultsKey<OverlayOrientation> orientation{"OverlayOrientation",
                                                                 OverlayOrientation::Vertical};
    static constexpr DefaultsKey<bool> showLabels{"OverlayShowLabels", true};
    static constexpr DefaultsKey<bool> perTab{"OverlayPerTab", false};
    static constexpr ClampedKey scale{{"OverlayScale", 1.0}, 0.5, 3.0};
    static constexpr DefaultsKey<NoFallback> lightOrder{"OverlayLightOrder"}; // absent: no order
    static constexpr DefaultsKey<bool> notifyWhenAgentNeedsYou{"NotifyWhenAgentNeedsYou", false};
    static constexpr DefaultsKey<bool> answerPermissionPrompts{"AnswerPermissionPrompts", true};
    static constexpr DefaultsKey<bool> answerFromNotifications{"AnswerPermissionPromptsFromNotifications",
                                                               true};

    static constexpr DefaultsKey<bool> overlayWasVisible{"OverlayWasVisible", false};

    // Where each floating light was left as "{x, y}" (absent: the default
    // place). A window's or tab's key is the prefix followed by its row id.
    static constexpr DefaultsKey<NoFallback> combinedOrigin{"OverlayOrigin"};
    static constexpr DefaultsKey<NoFallback> rowOrigin{"OverlayOriginRow"};
    static constexpr DefaultsKey<NoFallback> windowOriginPrefix{"OverlayOrigin::"};

    // The first launch has happened (the welcome is shown once).
    static constexpr DefaultsKey<bool> hasLaunched{"KorvaneHasLaunched", false};
};

} // namespace korvane
