#include "settings/settings_bindings.h"

#include "platform/defaults.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

namespace vesker::settings {

QCheckBox* boundCheckBox(platform::Defaults& defaults, const QString& key, bool fallback,
    const QString& label, const QString& objectName, QWidget* parent)
{
    auto* box = new QCheckBox(label, parent);
    box->setObjectName(objectName);
    box->setAccessibleName(label);
    auto show = [box, &defaults, key, fallback] {
        const QSignalBlocker quiet(box);
        box->setChecked(defaults.boolValue(key, fallback));
    };
    show();
    QObject::connect(
        box, &QCheckBox::toggled, box, [&defaults, key](bool on) { defaults.set(key, on); });
    QObject::connect(&defaults, &platform::Defaults::changed, box, [show, key](const QString& k) {
        if (k == key)
            show();
    });
    return box;
}

QComboBox* boundPicker(platform::Defaults& defaults, const QString& key,
    const QList<Choice>& choices, const QString& fallback, const QString& objectName,
    QWidget* parent)
{
    auto* picker = new QComboBox(parent);
    picker->setObjectName(objectName);
    for (const Choice& choice : choices)
        picker->addItem(choice.label, choice.value);
    auto show = [picker, &defaults, key, fallback] {
        const QSignalBlocker quiet(picker);
        int index = picker->findData(defaults.string(key, fallback));
        if (index < 0)
            index = picker->findData(fallback);
        picker->setCurrentIndex(index);
    };
    show();
    QObject::connect(picker, &QComboBox::activated, picker, [picker, &defaults, key](int index) {
        defaults.set(key, picker->itemData(index).toString());
    });
    QObject::connect(
        &defaults, &platform::Defaults::changed, picker, [show, key](const QString& k) {
            if (k == key)
                show();
        });
    return picker;
}

QLineEdit* boundTextField(
    platform::Defaults& defaults, const QString& key, const QString& objectName, QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(objectName);
    field->setText(defaults.string(key));
    QObject::connect(field, &QLineEdit::textEdited, field,
        [&defaults, key](const QString& text) { defaults.set(key, text); });
    QObject::connect(
        &defaults, &platform::Defaults::changed, field, [field, &defaults, key](const QString& k) {
            // Writing back what the user is typing would move the cursor.
            if (k == key && field->text() != defaults.string(key))
                field->setText(defaults.string(key));
        });
    return field;
}

QLabel* problemLabel(const QString& objectName, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setStyleSheet(QStringLiteral("color: #d70015"));
    label->hide();
    return label;
}

} // namespace vesker::settings
