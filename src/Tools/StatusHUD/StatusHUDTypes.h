#pragma once
// The settings vocabulary of the progress HUD. Each case can be written plainly
// (`StatusHUDMode::text`); the cases with a payload have a named maker.
#include <QPointer>
#include <QWidget>

#include "platform/appkit/Color.h"

namespace pex {

// What the HUD shows above its text.
struct StatusHUDMode {
    enum Kind { custom, indeterminate, determinate, info, success, error, text };
    StatusHUDMode(Kind kind) : kind(kind) {}  // NOLINT: plain cases convert implicitly
    // A view of the caller's; the HUD takes it over while it shows it and deletes it when it
    // takes it down.
    static StatusHUDMode customView(QWidget* view) {
        StatusHUDMode mode(custom);
        mode.view = view;
        return mode;
    }
    Kind kind;
    QPointer<QWidget> view;
};

enum class StatusHUDPosition { top, center, bottom };

// What is drawn around the box, and whether clicks on the HUD reach the view underneath.
struct StatusHUDMaskType {
    enum Kind { custom, none, clear, black };
    StatusHUDMaskType(Kind kind) : kind(kind) {}  // NOLINT
    static StatusHUDMaskType customColor(const Color& color) {
        StatusHUDMaskType mask(custom);
        mask.color = color;
        return mask;
    }
    Kind kind;
    Color color;
};

// Colours of the box, the text and the icons.
struct StatusHUDStyle {
    enum Kind { custom, light, dark };
    StatusHUDStyle(Kind kind) : kind(kind) {}  // NOLINT
    static StatusHUDStyle customColors(const Color& foreground, const Color& background) {
        StatusHUDStyle style(custom);
        style.foreground = foreground;
        style.background = background;
        return style;
    }
    Kind kind;
    Color foreground;
    Color background;
};

}  // namespace pex
