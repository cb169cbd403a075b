// A class sending photos at once: 8 clients post 12 MP JPEGs of 4-6 MB to "/upload" of the real
// program (offscreen, recognition on arrival) over a store of 10,000 items, then the same bodies
// go by WebDAV PUT to nginx with one worker, in the same run. Prints uploads per second and the
// reply times (connect to the reply's end, p50 and p99) of both and their ratio, then waits for
// recognition to catch up and checks that every photo's code and printed word are stored; the
// time it took is counted from the last reply of ours (the nginx run falls within it).
//
//   build/bench/burst_bench [VESKER]     VESKER: the program to measure (default: the one built
//                                        beside this benchmark); BURST_UPLOADS per client (12);
//                                        BURST_PERF=FILE records the program's call graphs
//                                        during the burst (perf record -g) into FILE;
//                                        BURST_WAIT: seconds to wait for recognition (600);
//                                        BURST_PHOTOS=DIR writes the photos there as 0.jpg ...
//                                        with their codes and words in DIR/photos.txt, for
//                                        bench/recognize_bench to read them alone
#include "platform/clock.h"
#include "platform/defaults.h"
#include "store/index_journal.h"
#include "store/item_store.h"
#include "support/test_images.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vesker;

namespace {

constexpr int kClients = 8;
constexpr int kStoredItems = 10000;
constexpr int kPhotos = 8;

struct Photo {
    QByteArray jpeg;
    QString code;
    QString word;
};

// A page with one word in large print and a QR code, laid on a grainy table top: grain makes
// the JPEG as large as a phone's photo of a busy scene.
Photo makePhoto(int k)
{
    Photo photo;
    photo.code
        = QStringLiteral("BURST-%1-%2").arg(k).arg(QRandomGenerator::global()->bounded(1000000));
    static const char* const kWords[]
        = {"INVOICE", "PARCEL", "KITCHEN", "GARDEN", "WINDOW", "LIBRARY", "MARKET", "HARBOUR"};
    photo.word = QString::fromLatin1(kWords[k % kPhotos]);
    const QImage image = test::pageOnGrainyTable(
        photo.word, photo.code.toStdString(), *QRandomGenerator::global());
    for (int quality = 96; quality >= 60; quality -= 4) {
        photo.jpeg.clear();
        QBuffer buffer(&photo.jpeg);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG", quality);
        if (photo.jpeg.size() <= 6 * 1000 * 1000)
            break;
    }
    return photo;
}

quint16 freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

struct Exchange {
    double ms = 0;
    int status = 0;
    QByteArray body;
};

// One request on a connection of its own, timed from the connect to the reply's end.
Exchange exchange(quint16 port, const QByteArray& head, const QByteArray& body)
{
    Exchange result;
    QElapsedTimer timer;
    timer.start();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return result;
    }
    for (const QByteArray* part : {&head, &body}) {
        qsizetype sent = 0;
        while (sent < part->size()) {
            const ssize_t n
                = ::send(fd, part->constData() + sent, size_t(part->size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += n;
        }
    }
    QByteArray reply;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
        reply.append(buffer, n);
    ::close(fd);
    result.ms = timer.nsecsElapsed() / 1e6;
    if (reply.startsWith("HTTP/1.1 "))
        result.status = reply.mid(9, 3).toInt();
    result.body = reply.mid(reply.indexOf("\r\n\r\n") + 4);
    return result;
}

struct Burst {
    double perSecond = 0;
    double p50 = 0;
    double p99 = 0;
    int failed = 0;
    // Per upload: the photo sent and the reply's body.
    std::vector<std::pair<int, QByteArray>> replies;
};

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5))];
}

// `request(client, i)` gives the head of client's i-th upload and which photo it carries.
Burst burst(quint16 port, const std::vector<Photo>& photos, int perClient,
    const std::function<QByteArray(int client, int i, const QByteArray& body)>& head)
{
    Burst result;
    std::mutex lock;
    std::vector<double> times;
    QElapsedTimer wall;
    wall.start();
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            for (int i = 0; i < perClient; ++i) {
                const int k = (c + i) % kPhotos;
                const QByteArray& body = photos[size_t(k)].jpeg;
                const Exchange reply = exchange(port, head(c, i, body), body);
                const std::lock_guard guard(lock);
                if (reply.status / 100 == 2) {
                    times.push_back(reply.ms);
                    result.replies.emplace_back(k, reply.body);
                } else {
                    ++result.failed;
                }
            }
        });
    }
    for (std::thread& client : clients)
        client.join();
    const double seconds = wall.nsecsElapsed() / 1e9;
    result.perSecond = double(times.size()) / seconds;
    result.p50 = percentile(times, 0.5);
    result.p99 = percentile(times, 0.99);
    return result;
}

bool waitForPort(quint16 port, QProcess* process)
{
    for (int i = 0; i < 400; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool open = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (open)
            return true;
        if (process && process->state() == QProcess::NotRunning)
            return false;
        QThread::msleep(50);
    }
    return false;
}

void keepPhotos(const std::vector<Photo>& photos, const QString& folder)
{
    QDir().mkpath(folder);
    QFile list(folder + QStringLiteral("/photos.txt"));
    list.open(QIODevice::WriteOnly);
    for (size_t k = 0; k < photos.size(); ++k) {
        QFile file(QStringLiteral("%1/%2.jpg").arg(folder).arg(k));
        file.open(QIODevice::WriteOnly);
        file.write(photos[k].jpeg);
        list.write(QStringLiteral("%1 %2 %3\n")
                       .arg(file.fileName(), photos[k].code, photos[k].word)
                       .toUtf8());
    }
}

void print(const char* name, const Burst& b)
{
    std::printf("  %-28s %7.1f uploads/s   p50 %7.1f ms   p99 %7.1f ms   failed %d\n", name,
        b.perSecond, b.p50, b.p99, b.failed);
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Printing the word on the photos needs fonts.
    QGuiApplication app(argc, argv);
    const QString vesker = argc > 1
        ? QString::fromLocal8Bit(argv[1])
        : QCoreApplication::applicationDirPath() + QStringLiteral("/../src/vesker");
    const int perClient = qEnvironmentVariableIntValue("BURST_UPLOADS") > 0
        ? qEnvironmentVariableIntValue("BURST_UPLOADS")
        : 12;
    QTemporaryDir home;
    std::vector<Photo> photos;
    for (int k = 0; k < kPhotos; ++k)
        photos.push_back(makePhoto(k));
    if (const QString keep = qEnvironmentVariable("BURST_PHOTOS"); !keep.isEmpty())
        keepPhotos(photos, keep);
    qint64 smallest = photos.front().jpeg.size();
    qint64 largest = smallest;
    for (const Photo& photo : photos) {
        smallest = std::min<qint64>(smallest, photo.jpeg.size());
        largest = std::max<qint64>(largest, photo.jpeg.size());
    }

    // The stored items share one file: only their number matters here.
    const QString root = home.filePath(QStringLiteral("Pictures/Vesker"));
    {
        platform::Defaults scratch(
            home.filePath(QStringLiteral("scratch.json")), platform::Clock::system());
        ItemStore store(root, scratch, platform::Clock::system());
        const QString shared = home.filePath(QStringLiteral("stored.jpg"));
        QFile file(shared);
        file.open(QIODevice::WriteOnly);
        file.write(photos.front().jpeg);
        file.close();
        const SaveBatch batch(store);
        const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-30);
        for (int i = 0; i < kStoredItems; ++i) {
            ScreenItem item;
            item.id = QUuid::createUuid();
            item.receivedAt = start.addSecs(i * 60);
            item.filename
                = ItemStore::storedFileName(item.receivedAt, item.id, QStringLiteral("jpg"));
            item.sender = QStringLiteral("Phone %1").arg(i % 9);
            item.note = QStringLiteral("Shelf %1").arg(i);
            QFile::link(shared, store.fileURL(item));
            store.append(item);
        }
    }

    const quint16 port = freePort();
    QDir().mkpath(home.filePath(QStringLiteral(".config/Vesker")));
    QFile defaults(home.filePath(QStringLiteral(".config/Vesker/defaults.json")));
    defaults.open(QIODevice::WriteOnly);
    defaults.write(QJsonDocument(
        QJsonObject {{QStringLiteral("serverPort"), port},
            {QStringLiteral("advertiseOnNetwork"), false},
            {QStringLiteral("recognizeOnArrival"), true}, {QStringLiteral("didSeedWelcome"), true},
            {QStringLiteral("checkForUpdatesAutomatically"), false}})
                       .toJson());
    defaults.close();
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.setStandardOutputFile(QProcess::nullDevice());
    program.start(vesker, {});
    if (!waitForPort(port, &program)) {
        std::fprintf(stderr, "burst_bench: %s did not answer\n", qPrintable(vesker));
        return 1;
    }
    // Let the window finish starting before the burst.
    QThread::msleep(1500);
    QProcess perf;
    if (const QString perfFile = qEnvironmentVariable("BURST_PERF"); !perfFile.isEmpty()) {
        perf.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        perf.setStandardOutputFile(QProcess::nullDevice());
        perf.start(QStringLiteral("perf"),
            {QStringLiteral("record"), QStringLiteral("-g"), QStringLiteral("-o"), perfFile,
                QStringLiteral("-p"), QString::number(program.processId())});
        perf.waitForStarted();
        // The program's main thread has the process's id: perf report --tid=<it>.
        std::printf("recording the program (pid %lld) into %s\n", program.processId(),
            qPrintable(perfFile));
        QThread::msleep(500);
    }
    const Burst ours = burst(port, photos, perClient, [port](int, int, const QByteArray& body) {
        return QStringLiteral("POST /upload HTTP/1.1\r\nHost: 127.0.0.1:%1\r\nContent-Type: "
                              "image/jpeg\r\nContent-Length: %2\r\nConnection: close\r\n\r\n")
            .arg(port)
            .arg(body.size())
            .toLatin1();
    });
    QElapsedTimer sinceLastReply;
    sinceLastReply.start();

    if (perf.state() != QProcess::NotRunning) {
        ::kill(pid_t(perf.processId()), SIGINT);
        perf.waitForFinished(30000);
    }

    // nginx, one worker, storing the same bodies by WebDAV PUT.
    const quint16 nginxPort = freePort();
    const QString web = home.filePath(QStringLiteral("www"));
    QDir().mkpath(web + QStringLiteral("/up"));
    // Run as root, nginx's worker drops to another user and must still reach the folders.
    for (const QString& folder : {home.path(), web, web + QStringLiteral("/up")})
        QFile::setPermissions(folder, QFileDevice::Permissions(0x7777));
    QFile config(home.filePath(QStringLiteral("nginx.conf")));
    config.open(QIODevice::WriteOnly);
    config.write(QStringLiteral(
        "worker_processes 1;\ndaemon off;\npid %1/nginx.pid;\nerror_log %1/nginx-error.log warn;\n"
        "events { worker_connections 1024; }\nhttp {\n access_log off;\n"
        " client_body_temp_path %1/body;\n proxy_temp_path %1/proxy;\n"
        " fastcgi_temp_path %1/fastcgi;\n uwsgi_temp_path %1/uwsgi;\n scgi_temp_path %1/scgi;\n"
        " client_max_body_size 64m;\n server {\n  listen 127.0.0.1:%2;\n  root %3;\n"
        "  location /up/ { dav_methods PUT; create_full_put_path on; }\n }\n}\n")
                     .arg(home.path())
                     .arg(nginxPort)
                     .arg(web)
                     .toUtf8());
    config.close();
    QProcess nginx;
    nginx.setProcessChannelMode(QProcess::ForwardedChannels);
    nginx.start(QStringLiteral("nginx"),
        {QStringLiteral("-c"), config.fileName(), QStringLiteral("-p"), home.path()});
    Burst theirs;
    if (waitForPort(nginxPort, &nginx)) {
        theirs = burst(
            nginxPort, photos, perClient, [nginxPort](int c, int i, const QByteArray& body) {
                return QStringLiteral(
                    "PUT /up/%3-%4.jpg HTTP/1.1\r\nHost: 127.0.0.1:%1\r\nContent-Type: "
                    "image/jpeg\r\nContent-Length: %2\r\nConnection: close\r\n\r\n")
                    .arg(nginxPort)
                    .arg(body.size())
                    .arg(c)
                    .arg(i)
                    .toLatin1();
            });
        nginx.terminate();
        nginx.waitForFinished(5000);
    } else {
        std::fprintf(stderr, "burst_bench: nginx did not start\n");
    }

    std::printf("%d clients x %d uploads of 12 MP JPEGs (%.1f-%.1f MB) into a store of %d items\n",
        kClients, perClient, smallest / 1e6, largest / 1e6, kStoredItems);
    print("ours (/upload, recognition on)", ours);
    print("nginx (1 worker, WebDAV PUT)", theirs);
    if (theirs.perSecond > 0)
        std::printf("  ratio of rates (ours / nginx): %.2f   goal >= 0.5; goals p50 < 100 ms, "
                    "p99 < 300 ms\n",
            ours.perSecond / theirs.perSecond);

    // Recognition catches up: every photo's code and word in its record.
    QHash<QString, int> sent;
    for (const auto& [k, body] : ours.replies)
        sent.insert(
            QJsonDocument::fromJson(body).object().value(QStringLiteral("id")).toString(), k);
    const int waitSeconds = qEnvironmentVariableIntValue("BURST_WAIT") > 0
        ? qEnvironmentVariableIntValue("BURST_WAIT")
        : 600;
    int complete = 0, withoutCode = 0, withoutWord = 0;
    QDateTime lastRead;
    while (sinceLastReply.elapsed() < waitSeconds * 1000) {
        // Parsing 10,000 records takes CPU from the recognition it waits for: only an index
        // written anew, or one whose journal grew, is read again.
        const QFileInfo info(root + QStringLiteral("/index.json"));
        const QDateTime written = std::max(
            info.lastModified(), QFileInfo(root + QStringLiteral("/index.journal")).lastModified());
        if (written == lastRead) {
            QThread::msleep(200);
            continue;
        }
        lastRead = written;
        QFile index(info.filePath());
        complete = withoutCode = withoutWord = 0;
        if (index.open(QIODevice::ReadOnly)) {
            // The index with the changes its journal holds since it was last written whole.
            QHash<QString, QJsonObject> records;
            for (const QJsonValue& value : QJsonDocument::fromJson(index.readAll()).array())
                records.insert(value[QStringLiteral("id")].toString(), value.toObject());
            QFile journal(root + QStringLiteral("/index.journal"));
            if (journal.open(QIODevice::ReadOnly)) {
                for (const auto& [id, item] : IndexJournal::read(journal.readAll()).entries) {
                    if (item)
                        records.insert(uuidText(id), item->toJson());
                    else
                        records.remove(uuidText(id));
                }
            }
            for (const QJsonObject& record : std::as_const(records)) {
                const auto it = sent.constFind(record.value(QStringLiteral("id")).toString());
                if (it == sent.cend())
                    continue;
                const Photo& photo = photos[size_t(*it)];
                const bool code = record.value(QStringLiteral("barcodes"))
                                      .toVariant()
                                      .toStringList()
                                      .join(u'\n')
                                      .contains(photo.code);
                const bool word = record.value(QStringLiteral("recognizedText"))
                                      .toString()
                                      .contains(photo.word, Qt::CaseInsensitive);
                complete += code && word ? 1 : 0;
                withoutCode += code ? 0 : 1;
                withoutWord += word ? 0 : 1;
            }
        }
        if (complete == sent.size())
            break;
    }
    std::printf("  recognition: %d of %d photos with their code and word stored, %.1f s after "
                "the last reply (%d without their code, %d without their word)\n",
        complete, int(sent.size()), sinceLastReply.elapsed() / 1e3, withoutCode, withoutWord);
    program.terminate();
    program.waitForFinished(10000);
    return complete == sent.size() ? 0 : 1;
}
