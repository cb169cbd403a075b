#include "settings/display_settings_view.h"

#include "platform/defaults.h"
#include "settings/settings_bindings.h"
#include "store/blur_rules.h"
#include "ui/text_style.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesker {

DisplaySettingsView::DisplaySettingsView(platform::Defaults& defaults, QWidget* parent)
    : QWidget(parent)
    , m_defaults(defaults)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makeBlurGroup());
    layout->addWidget(makeCleanupGroup());
    auto* barcodes = new QGroupBox(QStringLiteral("Barcodes"), this);
    auto* barcodeForm = new QFormLayout(barcodes);
    barcodeForm->addRow(settings::boundCheckBox(m_defaults, QStringLiteral("autoCopyBarcode"),
        false, QStringLiteral("Copy a barcode to the clipboard as it arrives"),
        QStringLiteral("autoCopyBarcodeCheck"), barcodes));
    layout->addWidget(barcodes);
    layout->addStretch();
}

QWidget* DisplaySettingsView::makeBlurGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Blurred photos"), this);
    auto* form = new QFormLayout(group);
    form->addRow(settings::boundCheckBox(m_defaults, QStringLiteral("blurAll"), false,
        QStringLiteral("Blur every photo until it is revealed"), QStringLiteral("blurAllCheck"),
        group));
    auto* senders = settings::boundTextField(
        m_defaults, QStringLiteral("blurSenders"), QStringLiteral("blurSendersField"), group);
    senders->setPlaceholderText(QStringLiteral("Names, separated by commas"));
    senders->setAccessibleName(QStringLiteral("Blur photos from"));
    form->addRow(QStringLiteral("Blur photos from:"), senders);
    auto* note = new QLabel(QStringLiteral("Senders marked as known (“Always show from …” on a "
                                           "card) are never blurred:"),
        group);
    // Unwrapped: a wrapping label spanning a form row takes the height of its narrowest layout.
    setTextStyle(*note, TextStyle::caption);
    setSecondary(*note);
    note->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    form->addRow(note);

    auto* known = new QListWidget(group);
    known->setObjectName(QStringLiteral("knownSenderList"));
    known->setAccessibleName(QStringLiteral("Known senders"));
    // A short list of its own height: a stretching one spreads the whole group apart.
    known->setFixedHeight(known->fontMetrics().height() * 4 + 2 * known->frameWidth() + 4);
    auto* forget = new QPushButton(QStringLiteral("Blur Again"), group);
    forget->setObjectName(QStringLiteral("forgetKnownSenderButton"));
    auto list = [this, known, forget] {
        known->clear();
        for (const QJsonValue& key : m_defaults.value(QStringLiteral("knownSenders")).toArray()) {
            if (key.isString())
                known->addItem(key.toString());
        }
        forget->setEnabled(known->currentItem() != nullptr);
    };
    list();
    connect(known, &QListWidget::currentItemChanged, forget,
        [forget](QListWidgetItem* current) { forget->setEnabled(current != nullptr); });
    connect(forget, &QPushButton::clicked, this, [this, known] {
        if (QListWidgetItem* item = known->currentItem())
            BlurRules(m_defaults).setKnown(item->text(), false);
    });
    connect(&m_defaults, &platform::Defaults::changed, known, [list](const QString& key) {
        if (key == QLatin1String("knownSenders"))
            list();
    });
    auto* row = new QHBoxLayout;
    row->addWidget(known, 1);
    row->addWidget(forget, 0, Qt::AlignTop);
    form->addRow(row);
    return group;
}

QWidget* DisplaySettingsView::makeCleanupGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Clean up the Inbox"), this);
    auto* form = new QFormLayout(group);
    // The store cleans up as soon as either choice is written.
    auto* age = settings::boundPicker(m_defaults, QStringLiteral("cleanupAge"),
        settings::cleanupAgeChoices(), QStringLiteral("never"), QStringLiteral("cleanupAgePicker"),
        group);
    age->setAccessibleName(QStringLiteral("Clean up items"));
    form->addRow(QStringLiteral("Clean up items:"), age);
    auto* action = settings::boundPicker(m_defaults, QStringLiteral("cleanupAction"),
        settings::cleanupActionChoices(), QStringLiteral("archive"),
        QStringLiteral("cleanupActionPicker"), group);
    action->setAccessibleName(QStringLiteral("What to do with them"));
    form->addRow(QStringLiteral("What to do with them:"), action);
    auto followAge = [age, action] {
        action->setEnabled(age->currentData().toString() != QLatin1String("never"));
    };
    followAge();
    connect(age, &QComboBox::currentIndexChanged, action, followAge);
    return group;
}

} // namespace vesker
