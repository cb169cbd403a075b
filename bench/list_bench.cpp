// The Inbox's card list over 10,000 photos: 12-megapixel JPEGs on disk (hard links to three
// files), cards that load their thumbnails on a pool of their own, in a 1100x760 window on the
// offscreen platform. Prints the time to the first paint, the most card widgets alive while
// scrolling from top to bottom a screen at a time, the relist after a search keystroke, the time
// from an arrival to its card on screen, and the peak resident memory.
//
// The cards are a stand-in of this file (a thumbnail, a line of text and a note field) wired
// the way the Inbox window wires its list: tab, search and arrival through InboxState.
#include "bench_receiver.h"
#include "inbox/card_list_view.h"
#include "inbox/inbox_state.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPointer>
#include <QScrollBar>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent>

#include <atomic>
#include <cstdio>
#include <functional>

#include <sys/resource.h>
#include <unistd.h>

using namespace vesker;
using namespace vesker::bench;

namespace {

constexpr int kItems = 10000;
constexpr int kSources = 3;
constexpr int kTextHeight = 90;

class BenchCard : public QFrame {
public:
    BenchCard(QThreadPool& pool, ItemStore& store, QWidget* parent)
        : QFrame(parent)
        , m_pool(pool)
        , m_store(store)
    {
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(m_photo);
        layout->addWidget(m_text);
        layout->addWidget(m_note);
        m_photo->setAlignment(Qt::AlignCenter);
    }

    void showItem(const ScreenItem& item)
    {
        // A request still queued for the item shown before is dropped, a late result ignored.
        m_generation = std::make_shared<std::atomic_bool>(true);
        m_photo->clear();
        m_text->setText(item.sender + QStringLiteral(" · ") + item.note);
        m_note->setText(item.note);
        const QString path = m_store.fileURL(item);
        const QSize size(width() - 40, (width() - 40) * 3 / 4);
        m_photo->setFixedHeight(size.height());
        const auto wanted = m_generation;
        QPointer<BenchCard> self(this);
        QThreadPool* pool = &m_pool;
        QtConcurrent::run(pool, [path, size, wanted, self] {
            if (!*wanted)
                return;
            QImageReader reader(path);
            reader.setAutoTransform(true);
            reader.setScaledSize(reader.size().scaled(size, Qt::KeepAspectRatio));
            const QImage image = reader.read();
            QMetaObject::invokeMethod(
                qApp,
                [image, wanted, self] {
                    if (self && *wanted)
                        self->m_photo->setPixmap(QPixmap::fromImage(image));
                },
                Qt::QueuedConnection);
        });
    }
    void drop()
    {
        if (m_generation)
            *m_generation = false;
    }

    static int heightFor(int width) { return (width - 40) * 3 / 4 + kTextHeight; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return heightFor(width); }

private:
    QThreadPool& m_pool;
    ItemStore& m_store;
    QLabel* m_photo = new QLabel(this);
    QLabel* m_text = new QLabel(this);
    QLineEdit* m_note = new QLineEdit(this);
    std::shared_ptr<std::atomic_bool> m_generation;
};

class BenchFactory : public CardFactory {
public:
    explicit BenchFactory(ItemStore& store)
        : m_store(store)
    {
        m_pool.setMaxThreadCount(3);
    }
    QWidget* create(const ScreenItem& item, bool isFirst, QWidget* parent) override
    {
        auto* card = new BenchCard(m_pool, m_store, parent);
        card->resize(parent->width() - 32, 10);
        reuse(card, item, isFirst);
        return card;
    }
    void reuse(QWidget* card, const ScreenItem& item, bool) override
    {
        static_cast<BenchCard*>(card)->drop();
        static_cast<BenchCard*>(card)->showItem(item);
    }
    int estimateHeight(const ScreenItem&, int width) const override
    {
        return BenchCard::heightFor(width);
    }
    void forget(const QUuid&) override { }

    QThreadPool m_pool;

private:
    ItemStore& m_store;
};

double msSince(const QElapsedTimer& timer)
{
    return timer.nsecsElapsed() / 1e6;
}

// Runs the event loop until `done` holds; the time it took.
double waitFor(const std::function<bool()>& done, const QElapsedTimer& since)
{
    while (!done() && since.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return msSince(since);
}

bool onScreen(const CardListView& list, const QUuid& id)
{
    const QWidget* card = list.cardFor(id);
    return card && card->isVisible() && card->geometry().intersects(list.viewport()->rect());
}

ScreenItem photoItem(ItemStore& store, const QStringList& sources, const QDateTime& at, int i)
{
    ScreenItem item;
    item.id = QUuid::createUuid();
    item.receivedAt = at;
    item.filename = ItemStore::storedFileName(at, item.id, QStringLiteral("jpg"));
    item.sender = QStringLiteral("Phone %1").arg(i % 9);
    item.note = QStringLiteral("Shelf %1").arg(i);
    const QByteArray target = QFile::encodeName(store.fileURL(item));
    if (::link(QFile::encodeName(sources[i % kSources]).constData(), target.constData()) != 0)
        std::fprintf(stderr, "could not link %s\n", target.constData());
    return item;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("vesker.*.info=false\nvesker.*.debug=false"));
    QTemporaryDir dir;
    platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    ItemStore store(dir.filePath(QStringLiteral("store")), &defaults);

    QStringList sources;
    for (int k = 0; k < kSources; ++k) {
        sources.append(dir.filePath(QStringLiteral("source-%1.jpg").arg(k)));
        QFile file(sources.last());
        if (file.open(QIODevice::WriteOnly))
            file.write(noisyJpeg(4000, 3000, 32));
    }
    const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-30);
    {
        const SaveBatch batch(store);
        for (int i = 0; i < kItems; ++i)
            store.append(photoItem(store, sources, start.addSecs(i * 60), i));
    }
    store.flush();

    InboxState state(store, defaults);
    BenchFactory factory(store);
    QWidget window;
    window.resize(1100, 760);
    auto* layout = new QVBoxLayout(&window);
    auto* search = new QLineEdit(&window);
    search->setObjectName(QStringLiteral("searchField"));
    layout->addWidget(search);

    QElapsedTimer timer;
    timer.start();
    auto* list = new CardListView(factory, &window);
    layout->addWidget(list);
    bool painted = false;
    struct PaintSpy : QObject {
        bool& painted;
        explicit PaintSpy(bool& flag)
            : painted(flag)
        { }
        bool eventFilter(QObject*, QEvent* event) override
        {
            painted |= event->type() == QEvent::Paint;
            return false;
        }
    } paintSpy(painted);
    list->viewport()->installEventFilter(&paintSpy);
    const auto relist = [&] { list->setItems(state.listedItems()); };
    QObject::connect(&store, &ItemStore::itemsChanged, list, relist);
    QObject::connect(&state, &InboxState::changed, list, relist);
    QObject::connect(search, &QLineEdit::textChanged, &state, &InboxState::setSearch);
    QObject::connect(&state, &InboxState::arrivalRequested, list, [&](const QUuid& id) {
        QTimer::singleShot(50, list, [&, id] {
            if (const auto target = state.scrollTarget(id))
                list->scrollToId(*target, true);
        });
    });
    relist();
    window.show();
    const double firstPaint = waitFor([&] { return painted; }, timer);

    QScrollBar* bar = list->verticalScrollBar();
    int mostCards = 0;
    int steps = 0;
    timer.restart();
    while (bar->value() < bar->maximum()) {
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCoreApplication::processEvents();
        mostCards = std::max(mostCards, list->cardWidgetCount());
        ++steps;
    }
    const double scrollMs = msSince(timer);
    factory.m_pool.waitForDone();
    QCoreApplication::processEvents();
    int widgetsAlive = 0;
    for (QObject* child : list->viewport()->children())
        widgetsAlive += child->isWidgetType();

    bar->setValue(0);
    QCoreApplication::processEvents();
    const QString query = QStringLiteral("Shelf 4242");
    const QUuid wanted = store.items(ItemStatus::inbox, ItemFilter::all(), query).value(0).id;
    timer.restart();
    search->setText(query);
    const double keystroke = waitFor([&] { return onScreen(*list, wanted); }, timer);
    const QUuid newest = store.items(ItemStatus::inbox).value(0).id;
    timer.restart();
    search->clear();
    const double clearSearch = waitFor([&] { return onScreen(*list, newest); }, timer);

    timer.restart();
    ScreenItem arrival = photoItem(store, sources, QDateTime::currentDateTimeUtc(), kItems);
    store.append(arrival);
    const double arrivalAtTop = waitFor([&] { return onScreen(*list, arrival.id); }, timer);

    bar->setValue(bar->maximum() / 2);
    QCoreApplication::processEvents();
    timer.restart();
    arrival = photoItem(store, sources, QDateTime::currentDateTimeUtc().addSecs(1), kItems + 1);
    store.append(arrival);
    const double arrivalScrolled = waitFor([&] { return onScreen(*list, arrival.id); }, timer);
    factory.m_pool.waitForDone();

    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("items:                                   %d photos of 12 MP\n", kItems);
    std::printf("first paint (ms):                        %.1f   goal < 1000\n", firstPaint);
    std::printf("most card widgets alive while scrolling: %d   goal <= 40  (%d screens, %.2f ms "
                "each; %d widgets under the list after)\n",
        mostCards, steps, steps ? scrollMs / steps : 0.0, widgetsAlive);
    std::printf("search keystroke to relisted (ms):       %.1f   goal < 100\n", keystroke);
    std::printf("search cleared to all listed (ms):       %.1f\n", clearSearch);
    std::printf("arrival to card on screen, at top (ms):  %.1f   goal < 300\n", arrivalAtTop);
    std::printf("arrival, list scrolled halfway (ms):     %.1f   (0.05 s wait + 0.25 s scroll)\n",
        arrivalScrolled);
    std::printf(
        "peak RSS (MB):                           %.1f   goal < 400\n", usage.ru_maxrss / 1024.0);
    return 0;
}
