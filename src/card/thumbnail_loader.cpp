#include "card/thumbnail_loader.h"

#include <QImageReader>
#include <QPointer>
#include <QtConcurrent>

namespace vesker {

ThumbnailLoader::ThumbnailLoader(int threads, QObject* parent)
    : QObject(parent)
{
    m_pool.setMaxThreadCount(threads);
}

ThumbnailLoader::~ThumbnailLoader() { m_pool.waitForDone(); }

ThumbnailLoader& ThumbnailLoader::shared()
{
    static ThumbnailLoader loader;
    return loader;
}

QImage ThumbnailLoader::makeThumbnail(const QString& path, int maxPixel)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (std::max(image.width(), image.height()) > maxPixel)
        image = image.scaled(maxPixel, maxPixel, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

ThumbnailLoader::Ticket ThumbnailLoader::load(const QString& path, int maxPixel,
    QObject* receiver, std::function<void(const QImage&)> done)
{
    static Ticket next = 0;
    QPointer<QObject> guard(receiver);
    (void)QtConcurrent::run(&m_pool, [path, maxPixel, guard, done] {
        const QImage image = makeThumbnail(path, maxPixel);
        QMetaObject::invokeMethod(QCoreApplication::instance(), [guard, done, image] {
            if (guard)
                done(image);
        });
    });
    return ++next;
}

void ThumbnailLoader::cancel(Ticket) { }

} // namespace vesker
