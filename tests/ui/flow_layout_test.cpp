#include "ui/flow_layout.h"

#include <QSpacerItem>
#include <QWidget>

#include <gtest/gtest.h>

using namespace vesker;

namespace {

// Fixed-size items, laid out in a width; returns where each one went.
QList<QRect> placed(FlowLayout& layout, const QList<QSize>& sizes, int width)
{
    for (const QSize& size : sizes)
        layout.addItem(new QSpacerItem(size.width(), size.height()));
    layout.setGeometry(QRect(0, 0, width, layout.heightForWidth(width)));
    QList<QRect> rects;
    for (int i = 0; i < layout.count(); ++i)
        rects.append(layout.itemAt(i)->geometry());
    return rects;
}

} // namespace

TEST(FlowLayout, MeasuresAndPlacesRowByRow)
{
    struct Row {
        const char* name;
        QList<QSize> sizes;
        int width;
        int height;
        QList<QPoint> origins;
    };
    const QList<Row> rows {
        {"empty", {}, 300, 0, {}},
        {"third would end at 316", {{100, 20}, {100, 30}, {100, 20}}, 300, 58,
            {{0, 0}, {108, 0}, {0, 38}}},
        {"exact fit stays on the row", {{146, 20}, {146, 20}}, 300, 20, {{0, 0}, {154, 0}}},
        {"too wide takes its own row", {{50, 10}, {500, 40}, {50, 10}}, 300, 76,
            {{0, 0}, {0, 18}, {0, 66}}},
    };
    for (const Row& row : rows) {
        QWidget host;
        auto* layout = new FlowLayout(8, &host);
        const QList<QRect> rects = placed(*layout, row.sizes, row.width);
        EXPECT_EQ(layout->heightForWidth(row.width), row.height) << row.name;
        ASSERT_EQ(rects.size(), row.origins.size()) << row.name;
        for (qsizetype i = 0; i < rects.size(); ++i) {
            EXPECT_EQ(rects[i].topLeft(), row.origins[i]) << row.name << " item " << i;
            EXPECT_EQ(rects[i].size(), row.sizes[i]) << row.name << " is never shrunk";
        }
    }
}

TEST(FlowLayout, WithoutAProposedWidthMeasuresIn400)
{
    QWidget host;
    auto* layout = new FlowLayout(8, &host);
    EXPECT_EQ(layout->sizeHint(), QSize(400, 0));
    for (int i = 0; i < 5; ++i)
        layout->addItem(new QSpacerItem(100, 10));
    // Three fit in 400 (316), the fourth would end at 424.
    EXPECT_EQ(layout->sizeHint(), QSize(400, 28));
}
