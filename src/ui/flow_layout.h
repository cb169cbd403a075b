#pragma once

#include <QLayout>
#include <QList>

namespace vesker {

// Lays widgets of different widths left to right and starts a new row when the next one would
// not fit, like words in a paragraph; one spacing between neighbours and between rows. A widget
// wider than the row takes a row of its own and is not shrunk.
class FlowLayout : public QLayout {
public:
    explicit FlowLayout(int spacing, QWidget* parent = nullptr);
    ~FlowLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    int place(const QRect& rect, bool apply) const;

    QList<QLayoutItem*> m_items;
    int m_spacing;
};

} // namespace vesker
