#include "inbox/preview_sheet.h"

#include "platform/thumbnail_loader.h"
#include "store/item_store.h"
#include "ui/text_style.h"
#include "ui/thumbnail_view.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace vesker {

// The picture fitted into whatever room the sheet leaves it, or a spinner until there is one.
class PreviewSheet::Picture : public QWidget {
public:
    explicit Picture(QWidget* parent)
        : QWidget(parent)
    {
        setObjectName(QStringLiteral("previewPicture"));
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        m_spin.setInterval(90);
        connect(&m_spin, &QTimer::timeout, this, [this] {
            ++m_phase;
            update();
        });
        m_spin.start();
    }

    void setImage(const QImage& image)
    {
        m_image = image;
        m_spin.stop();
        update();
    }
    const QImage& image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (m_image.isNull()) {
            paintSpinner(painter, rect(), m_phase, palette().color(QPalette::PlaceholderText));
            return;
        }
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QSizeF shown = QSizeF(m_image.size()).scaled(size(), Qt::KeepAspectRatio);
        const QRectF target(
            QPointF(rect().center()) - QPointF(shown.width() / 2, shown.height() / 2), shown);
        painter.drawImage(target, m_image);
    }

private:
    QImage m_image;
    QTimer m_spin;
    int m_phase = 0;
};

PreviewSheet::PreviewSheet(ItemStore& store, ThumbnailLoader& thumbnails, const ScreenItem& item,
    QWidget* parent, const QImage& shown)
    : QDialog(parent)
    , m_store(store)
    , m_thumbnails(thumbnails)
    , m_item(item)
{
    setObjectName(QStringLiteral("previewSheet"));
    setWindowModality(Qt::WindowModal);
    setMinimumSize(700, 560);

    auto* column = new QVBoxLayout(this);
    column->setSpacing(12);
    m_picture = new Picture(this);
    // The card's picture, enlarged, beats an empty sheet for the moment the photo takes.
    if (!shown.isNull())
        m_picture->setImage(shown);
    column->addWidget(m_picture, 1);

    auto* footer = new QHBoxLayout;
    auto* time
        = new QLabel(QLocale().toString(item.receivedAt.toLocalTime(), QLocale::ShortFormat), this);
    time->setObjectName(QStringLiteral("previewTime"));
    setSecondary(*time);
    footer->addWidget(time, 0, Qt::AlignVCenter);
    footer->addStretch(1);
    auto* open = new QPushButton(QStringLiteral("Open in Viewer"), this);
    open->setObjectName(QStringLiteral("openInViewerButton"));
    open->setAutoDefault(false);
    connect(open, &QPushButton::clicked, this,
        [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(m_store.fileURL(m_item))); });
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("closeButton"));
    close->setAutoDefault(false);
    // Escape is the dialog's own reject.
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    footer->addWidget(open);
    footer->addWidget(close);
    column->addLayout(footer);
}

void PreviewSheet::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (std::exchange(m_started, true))
        return;
    // One attempt: when the file yields nothing the spinner stays and the buttons still work.
    m_thumbnails.load(
        m_store.fileURL(m_item), kMaxPixel, m_picture, [picture = m_picture](const QImage& image) {
            if (!image.isNull())
                picture->setImage(image);
        });
}

} // namespace vesker
