#pragma once

#include "inbox/speed_review.h"

#include <QDialog>
#include <QPointer>

class QLabel;
class QMessageBox;
class QPushButton;
class QStackedWidget;

namespace vesker {

class ItemStore;
class ThumbnailLoader;

// The Archive one item at a time, from the keyboard: Right keeps, Backspace marks to delete,
// Left goes back, Escape stops. The marked items go only once the user confirms at the end,
// and the confirmation's default answer deletes nothing.
class SpeedReviewSheet : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxPixel = 1600;

    SpeedReviewSheet(ItemStore& store, ThumbnailLoader& thumbnails, QList<ScreenItem> items,
        QWidget* parent = nullptr);

    const SpeedReview& review() const { return m_review; }
    // The question asked before deleting; none while it is not open.
    QMessageBox* confirmation() const;

    void decide(bool remove);
    void previous();
    // Closes at once with nothing marked, else asks first.
    void finish();

public Q_SLOTS:
    // Escape and the window's close button stop the review the way "Exit" does.
    void reject() override;

private:
    void refresh();
    QWidget* makeItemView(const ScreenItem& item);
    QWidget* makeEndCard();

    ItemStore& m_store;
    ThumbnailLoader& m_thumbnails;
    SpeedReview m_review;
    QLabel* m_progress = nullptr;
    QLabel* m_marks = nullptr;
    QStackedWidget* m_area = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_keep = nullptr;
    QPushButton* m_finish = nullptr;
    QPointer<QMessageBox> m_confirmation;
};

} // namespace vesker
