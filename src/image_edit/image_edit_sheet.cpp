#include "image_edit/image_edit_sheet.h"

#include "ui/symbol_icon.h"
#include "ui/text_style.h"
#include "ui/thumbnail_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace vesker {

namespace {

constexpr int kMaxPixel = 6000;
constexpr QSize kCanvasSize {640, 440};
constexpr qreal kHandle = 12;

} // namespace

// The photo fitted on black, everything outside the crop box dimmed, the box and its corner
// handles; a drag moves the box or one of its corners.
class CropCanvas : public QWidget {
public:
    CropCanvas(ImageEditSheet& sheet, QWidget* parent)
        : QWidget(parent)
        , m_sheet(sheet)
    {
        setObjectName(QStringLiteral("cropCanvas"));
        setFixedSize(kCanvasSize);
        m_spin.setInterval(90);
        connect(&m_spin, &QTimer::timeout, this, [this] {
            ++m_spinPhase;
            update();
        });
        m_spin.start();
    }

    void imageChanged()
    {
        m_fitted = {};
        if (!m_sheet.shownImage().isNull())
            m_spin.stop();
        update();
    }

    QRectF imageRect() const
    {
        const QImage& image = m_sheet.shownImage();
        if (image.isNull())
            return {};
        const QSizeF shown = QSizeF(image.size()).scaled(size(), Qt::KeepAspectRatio);
        return {QPointF((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown};
    }

    QRectF boxOnScreen() const
    {
        const QRectF image = imageRect();
        const QRectF crop = m_sheet.crop();
        return {image.x() + crop.x() * image.width(), image.y() + crop.y() * image.height(),
            crop.width() * image.width(), crop.height() * image.height()};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath rounded;
        rounded.addRoundedRect(QRectF(rect()), 8, 8);
        painter.setClipPath(rounded);
        painter.fillRect(rect(), Qt::black);
        const QImage& image = m_sheet.shownImage();
        if (image.isNull()) {
            paintSpinner(painter, rect(), m_spinPhase, Qt::white);
            return;
        }
        const QRectF target = imageRect();
        // A 6000-pixel photo drawn straight into 640 points would shimmer; scale it once.
        const QSize pixels = (target.size() * std::max<qreal>(1, devicePixelRatioF())).toSize();
        if (m_fitted.size() != pixels)
            m_fitted = image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        painter.drawImage(target, m_fitted);

        const QRectF box = boxOnScreen();
        QPainterPath outside;
        outside.setFillRule(Qt::OddEvenFill);
        outside.addRect(QRectF(rect()));
        outside.addRect(box);
        painter.fillPath(outside, QColor(0, 0, 0, int(0.55 * 255)));
        painter.setPen(QPen(Qt::white, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(box);
        painter.setPen(Qt::NoPen);
        for (const QPointF corner :
            {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight()}) {
            painter.setBrush(QColor(0, 0, 0, int(0.33 * 255)));
            painter.drawEllipse(corner, kHandle / 2 + 1, kHandle / 2 + 1);
            painter.setBrush(Qt::white);
            painter.drawEllipse(corner, kHandle / 2, kHandle / 2);
        }
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton || m_sheet.shownImage().isNull())
            return;
        m_start = event->position();
        m_startCrop = m_sheet.crop();
        m_mode = CropBox::hitTest(boxOnScreen(), *m_start);
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        const QRectF image = imageRect();
        if (!m_start || image.isEmpty())
            return;
        const QPointF moved = event->position() - *m_start;
        m_sheet.setCrop(CropBox::adjusted(
            m_startCrop, m_mode, moved.x() / image.width(), moved.y() / image.height()));
    }

    void mouseReleaseEvent(QMouseEvent*) override { m_start.reset(); }

private:
    ImageEditSheet& m_sheet;
    std::optional<QPointF> m_start;
    QRectF m_startCrop;
    CropBox::DragMode m_mode = CropBox::DragMode::move;
    QImage m_fitted;
    QTimer m_spin;
    int m_spinPhase = 0;
};

ImageEditSheet::ImageEditSheet(ThumbnailLoader& loader, const QString& path, const QString& title,
    SaveAction onSave, QWidget* parent)
    : QDialog(parent)
    , m_loader(loader)
    , m_path(path)
    , m_onSave(std::move(onSave))
{
    setObjectName(QStringLiteral("imageEditSheet"));
    setWindowModality(Qt::WindowModal);
    setWindowTitle(title);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(12);
    column->setSizeConstraint(QLayout::SetFixedSize);

    auto* heading = new QLabel(title, this);
    heading->setTextFormat(Qt::PlainText);
    QFont bold = vesker::font(TextStyle::title2, heading->font());
    bold.setBold(true);
    heading->setFont(bold);
    column->addWidget(heading);

    m_canvas = new CropCanvas(*this, this);
    column->addWidget(m_canvas);

    auto* controls = new QHBoxLayout;
    const auto button = [this, controls](const QString& text, const QString& symbol) {
        auto* made = new QPushButton(text, this);
        // Only Save may answer Return, and only when there is something to save.
        made->setAutoDefault(false);
        if (!symbol.isEmpty())
            made->setIcon(symbolIcon(symbol, palette()));
        controls->addWidget(made);
        return made;
    };
    QPushButton* left = button(QStringLiteral("Rotate left"), QStringLiteral("rotate.left"));
    left->setObjectName(QStringLiteral("rotateLeftButton"));
    connect(left, &QPushButton::clicked, this, [this] { turn(false); });
    QPushButton* right = button(QStringLiteral("Rotate right"), QStringLiteral("rotate.right"));
    right->setObjectName(QStringLiteral("rotateRightButton"));
    connect(right, &QPushButton::clicked, this, [this] { turn(true); });
    m_reset = button(QStringLiteral("Reset"), {});
    m_reset->setObjectName(QStringLiteral("editResetButton"));
    connect(m_reset, &QPushButton::clicked, this, &ImageEditSheet::reset);
    controls->addStretch(1);
    auto* hint = new QLabel(
        QStringLiteral("Drag the corners to crop, or drag inside the box to move it."), this);
    setTextStyle(*hint, TextStyle::caption);
    setSecondary(*hint);
    controls->addWidget(hint);
    controls->addStretch(1);
    QPushButton* cancel = button(QStringLiteral("Cancel"), {});
    cancel->setObjectName(QStringLiteral("editCancelButton"));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_save = button(QStringLiteral("Save"), {});
    m_save->setObjectName(QStringLiteral("editSaveButton"));
    m_save->setDefault(true);
    connect(m_save, &QPushButton::clicked, this, &ImageEditSheet::save);
    column->addLayout(controls);

    m_ticket = m_loader.load(m_path, kMaxPixel, this, [this](const QImage& image) {
        m_ticket = 0;
        m_original = image;
        m_canvas->imageChanged();
        refresh();
        Q_EMIT imageLoaded();
    });
    refresh();
}

ImageEditSheet::~ImageEditSheet()
{
    m_loader.cancel(m_ticket);
}

void ImageEditSheet::setCrop(const QRectF& crop)
{
    m_crop = crop;
    m_canvas->update();
    refresh();
}

void ImageEditSheet::refresh()
{
    const bool edited = !shownImage().isNull() && (m_crop != CropBox::full() || m_rotated);
    m_reset->setEnabled(edited);
    m_save->setEnabled(edited);
}

void ImageEditSheet::turn(bool clockwise)
{
    if (shownImage().isNull())
        return;
    m_working = ImageEditOperations::rotate(shownImage(), clockwise);
    m_crop = CropBox::full();
    m_rotated = true;
    m_canvas->imageChanged();
    refresh();
}

void ImageEditSheet::reset()
{
    m_working = {};
    m_crop = CropBox::full();
    m_rotated = false;
    m_canvas->imageChanged();
    refresh();
}

void ImageEditSheet::save()
{
    if (m_saved)
        return;
    std::optional<ImageEditOperations::Encoded> encoded;
    if (!shownImage().isNull()) {
        if (const std::optional<QImage> cropped = ImageEditOperations::crop(shownImage(), m_crop))
            encoded = ImageEditOperations::encode(*cropped, m_path);
    }
    if (encoded && m_onSave) {
        m_saved = true;
        m_onSave(*encoded);
    }
    accept();
}

} // namespace vesker
