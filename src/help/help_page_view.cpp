#include "help/help_page_view.h"

#include "help/help_topics.h"
#include "platform/service_hosts.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

namespace vesker {

namespace {

constexpr int kPageWidth = 620;
constexpr int kMargin = 28;
constexpr int kSpacing = 14;
constexpr int kKeyCapMinWidth = 54;

QLabel* paragraph(const QString& text, QWidget* parent)
{
    QLabel* label = plainLabel(text, parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLabel* secondaryLabel(const QString& text, QWidget* parent)
{
    QLabel* label = paragraph(text, parent);
    setSecondary(*label);
    return label;
}

// A row of a leading mark and wrapping text, the mark level with the text's first line.
QHBoxLayout* markedRow(QWidget* mark, QWidget* text)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(mark, 0, Qt::AlignTop);
    row->addWidget(text, 1);
    return row;
}

QLabel* keyCap(const QString& keys, QWidget* parent)
{
    auto* cap = new QLabel(keys, parent);
    cap->setTextFormat(Qt::PlainText);
    cap->setAlignment(Qt::AlignCenter);
    cap->setMinimumWidth(kKeyCapMinWidth);
    QFont semibold = cap->font();
    semibold.setWeight(QFont::DemiBold);
    cap->setFont(semibold);
    const QPalette& palette = cap->palette();
    cap->setStyleSheet(
        QStringLiteral("QLabel { padding: 3px 8px; border-radius: 6px;"
                       " border: 1px solid %1; background: %2; }")
            .arg(separatorColor(palette).name(), palette.color(QPalette::Button).name()));
    return cap;
}

QLabel* link(const QString& title, const char* address, QWidget* parent)
{
    auto* label = new QLabel(
        QStringLiteral("<a href=\"%1\">%2</a>").arg(QLatin1String(address), title), parent);
    label->setTextFormat(Qt::RichText);
    label->setFont(vesker::font(TextStyle::callout, label->font()));
    label->setAccessibleName(title);
    QObject::connect(label, &QLabel::linkActivated, label,
        [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); });
    return label;
}

void addBlock(const HelpBlock& block, QVBoxLayout& column, QWidget* page)
{
    switch (block.kind) {
    case HelpBlock::Kind::heading: {
        QLabel* heading = paragraph(block.strings.value(0), page);
        QFont bold = vesker::font(TextStyle::title3, heading->font());
        bold.setBold(true);
        heading->setFont(bold);
        column.addSpacing(8);
        column.addWidget(heading);
        break;
    }
    case HelpBlock::Kind::text:
        column.addWidget(paragraph(block.strings.value(0), page));
        break;
    case HelpBlock::Kind::bullets: {
        auto* list = new QVBoxLayout;
        list->setSpacing(6);
        for (const QString& item : block.strings)
            list->addLayout(
                markedRow(secondaryLabel(QStringLiteral("•"), page), paragraph(item, page)));
        column.addLayout(list);
        break;
    }
    case HelpBlock::Kind::keys: {
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        row->addWidget(keyCap(block.strings.value(0), page));
        row->addWidget(secondaryLabel(block.strings.value(1), page), 1);
        column.addLayout(row);
        break;
    }
    case HelpBlock::Kind::note: {
        auto* symbol = new QLabel(page);
        const int size = symbol->fontMetrics().height();
        symbol->setPixmap(
            symbolIcon(QStringLiteral("info.circle"), symbol->palette(), QPalette::PlaceholderText)
                .pixmap(size, size));
        column.addSpacing(4);
        column.addLayout(markedRow(symbol, secondaryLabel(block.strings.value(0), page)));
        break;
    }
    }
}

} // namespace

HelpPageView::HelpPageView(const HelpTopic& topic, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("helpPage"));
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    auto* page = new QWidget(this);
    page->setMaximumWidth(kPageWidth);
    // Not aligned: an aligned page would be laid out at its narrow guess of a width, and its
    // wrapped paragraphs too short for their lines.
    outer->addWidget(page, 1);
    outer->addStretch(0);

    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(kSpacing);

    QLabel* title = paragraph(topic.title, page);
    title->setObjectName(QStringLiteral("helpPageTitle"));
    QFont large = vesker::font(TextStyle::title, title->font());
    large.setBold(true);
    title->setFont(large);
    column->addWidget(title);

    for (const HelpBlock& block : topic.blocks)
        addBlock(block, *column, page);

    column->addSpacing(8);
    column->addWidget(makeDivider(page));
    auto* footer = new QHBoxLayout;
    footer->setSpacing(16);
    footer->addWidget(link(QStringLiteral("Support"), kSupportPageAddress, page));
    footer->addWidget(link(QStringLiteral("Privacy"), kPrivacyPageAddress, page));
    footer->addStretch(1);
    column->addLayout(footer);
    column->addStretch(1);
}

} // namespace vesker
