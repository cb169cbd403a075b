// Controls bound to one stored setting each: they show the stored value when made, write every
// change the user makes, and follow changes made elsewhere (menus, onboarding, another window).
#pragma once

#include "settings/settings_choices.h"

#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace vesker {

namespace platform {
class Defaults;
}

namespace settings {

QCheckBox* boundCheckBox(platform::Defaults& defaults, const QString& key, bool fallback,
    const QString& label, const QString& objectName, QWidget* parent);

// A stored value that matches no choice shows as the choice of `fallback`, which is what the
// readers of the setting take it for.
QComboBox* boundPicker(platform::Defaults& defaults, const QString& key,
    const QList<Choice>& choices, const QString& fallback, const QString& objectName,
    QWidget* parent);

QLineEdit* boundTextField(
    platform::Defaults& defaults, const QString& key, const QString& objectName, QWidget* parent);

// Not bound: a line in the warning colour that says why something cannot be done or is not
// working, plain text, hidden until there is something to say.
QLabel* problemLabel(const QString& objectName, QWidget* parent = nullptr);

} // namespace settings
} // namespace vesker
