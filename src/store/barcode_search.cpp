#include "store/barcode_search.h"

#include "platform/log.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>

#include <ZXing/BarcodeFormat.h>

namespace vesker {

namespace {

const QString kHelperName = QStringLiteral("vesker-barcodes");

// The payload as the helper escaped it: "\\", "\n" and "\r" stand for themselves.
std::optional<QByteArray> unescape(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        switch (text[i]) {
        case '\\':
            out += '\\';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            return std::nullopt;
        }
    }
    return out;
}

// "code FORMAT PAYLOAD" and "place LEFT TOP RIGHT BOTTOM" lines, one "searched" and a closing
// "end"; anything
// else means the helper is not the one we were built with, or died half-way.
std::optional<BarcodeSearch::Answer> parseAnswer(const QByteArray& output)
{
    QList<QByteArray> lines = output.split('\n');
    if (lines.size() < 2 || lines.takeLast() != "" || lines.takeLast() != "end")
        return std::nullopt;
    BarcodeSearch::Answer answer;
    for (const QByteArray& line : lines) {
        if (line == "searched")
            continue;
        if (line.startsWith("place ")) {
            const QList<QByteArray> numbers = line.mid(6).split(' ');
            bool valid = numbers.size() == 4;
            int edges[4] = {};
            for (qsizetype i = 0; valid && i < 4; ++i)
                edges[i] = numbers[i].toInt(&valid);
            if (!valid)
                return std::nullopt;
            answer.places.append(QRect(QPoint(edges[0], edges[1]), QPoint(edges[2], edges[3])));
            continue;
        }
        const qsizetype space = line.indexOf(' ', 5);
        if (!line.startsWith("code ") || space < 0)
            return std::nullopt;
        const auto format = ZXing::BarcodeFormatFromString(line.mid(5, space - 5).toStdString());
        const auto payload = unescape(line.mid(space + 1));
        if (format == ZXing::BarcodeFormat::None || !payload)
            return std::nullopt;
        answer.codes.append({format, QString::fromUtf8(*payload)});
    }
    return answer;
}

bool isExecutable(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

QString BarcodeSearch::defaultHelper()
{
    static const QString helper = [] {
        QStringList places;
        if (QCoreApplication::instance()) {
            // Beside the program in the build tree; installed, in the program's own libexec
            // folder, wherever the prefix is.
            const QString folder = QCoreApplication::applicationDirPath();
            places << folder + u'/' + kHelperName;
#ifdef VESKER_BARCODE_HELPER_FROM_BINDIR
            places << QDir::cleanPath(
                folder + QStringLiteral("/" VESKER_BARCODE_HELPER_FROM_BINDIR "/") + kHelperName);
#endif
        }
#ifdef VESKER_BARCODE_HELPER_BUILD_PATH
        places << QStringLiteral(VESKER_BARCODE_HELPER_BUILD_PATH);
#endif
        for (const QString& place : places) {
            if (isExecutable(place))
                return place;
        }
        qCWarning(lcStore).noquote()
            << "[recognizer] no" << kHelperName << "in" << places.join(QStringLiteral(" or "))
            << "; photos are read for text only";
        return QString();
    }();
    return helper;
}

BarcodeSearch::BarcodeSearch(const QString& imagePath, const QString& helper, qint64 maxPixels,
    std::chrono::milliseconds timeout)
    : m_imagePath(imagePath)
    , m_helper(helper)
    , m_maxPixels(maxPixels)
    , m_timeout(timeout)
{
    start(Mode::everyCode);
}

BarcodeSearch::~BarcodeSearch()
{
    stop();
}

void BarcodeSearch::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished();
    }
    m_process.reset();
}

void BarcodeSearch::start(Mode mode)
{
    stop();
    if (m_helper.isEmpty())
        return;
    m_process = std::make_unique<QProcess>();
    m_process->setStandardInputFile(QProcess::nullDevice());
    QStringList args;
    if (mode == Mode::oneCodePerLayer)
        args << QStringLiteral("--one-per-layer");
    args << QString::number(m_maxPixels) << m_imagePath;
    m_process->start(m_helper, args, QIODevice::ReadOnly);
    m_output.clear();
    m_deadline = QDeadlineTimer(m_timeout);
}

QList<QRect> BarcodeSearch::placesAtReadingSize()
{
    if (!m_process)
        return m_answer.places;
    // The helper says "searched" once it has searched the reduced picture, before it looks
    // closer at the full photo: what it found there is all the text reader needs to know.
    const auto marker
        = [this] { return m_output.startsWith("searched\n") || m_output.contains("\nsearched\n"); };
    while (!marker() && m_process->state() != QProcess::NotRunning
        && m_process->waitForReadyRead(int(std::max<qint64>(m_deadline.remainingTime(), 1)))) {
        m_output += m_process->readAllStandardOutput();
    }
    m_output += m_process->readAllStandardOutput();
    if (!marker())
        return {};
    const auto found = parseAnswer(m_output.left(m_output.indexOf("searched\n")) + "end\n");
    return found ? found->places : QList<QRect> {};
}

const BarcodeSearch::Answer& BarcodeSearch::answer()
{
    if (!m_process)
        return m_answer;
    Outcome outcome = Outcome::failed;
    auto found = collect(outcome);
    if (!found && outcome == Outcome::crashed) {
        qCInfo(lcStore) << "[recognizer] the barcode search died; searching again for one code"
                           " per layer";
        start(Mode::oneCodePerLayer);
        found = collect(outcome);
    }
    stop();
    if (found)
        m_answer = std::move(*found);
    return m_answer;
}

std::optional<BarcodeSearch::Answer> BarcodeSearch::collect(Outcome& outcome)
{
    QProcess& process = *m_process;
    outcome = Outcome::failed;
    if (!process.waitForFinished(int(m_timeout.count()))) {
        if (process.error() == QProcess::FailedToStart) {
            qCWarning(lcStore).noquote()
                << "[recognizer] cannot start" << m_helper << ":" << process.errorString();
        } else {
            qCWarning(lcStore).noquote() << "[recognizer] the barcode search gave no answer in"
                                         << m_timeout.count() << "ms; stopped";
            process.kill();
            process.waitForFinished();
        }
        return std::nullopt;
    }
    if (process.exitStatus() == QProcess::CrashExit) {
        outcome = Outcome::crashed;
        return std::nullopt;
    }
    m_output += process.readAllStandardOutput();
    const auto found = parseAnswer(m_output);
    if (process.exitCode() != 0 || !found) {
        qCWarning(lcStore).noquote()
            << "[recognizer] the barcode search failed with status" << process.exitCode() << ":"
            << QString::fromLocal8Bit(process.readAllStandardError().trimmed().left(200));
        return std::nullopt;
    }
    outcome = Outcome::answered;
    return found;
}

} // namespace vesker
