#include "store/barcode_search.h"

#include "platform/log.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <optional>
#include <utility>

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

// What a run of the helper printed: "code FORMAT PAYLOAD" and "place LEFT TOP RIGHT BOTTOM"
// lines, "step N" before each step, one "searched" and a closing "end".
struct Reading {
    BarcodeSearch::Answer answer;
    int lastStep = 0;
    bool ended = false;
};

// What the whole lines of `output` say; nothing when one of them is not what our helper
// writes (it is not the one we were built with).
std::optional<Reading> parseOutput(const QByteArray& output)
{
    QList<QByteArray> lines = output.split('\n');
    // Unfinished: the helper was stopped while writing it.
    lines.removeLast();
    Reading reading;
    for (const QByteArray& line : lines) {
        if (reading.ended)
            return std::nullopt;
        if (line == "searched")
            continue;
        if (line == "end") {
            reading.ended = true;
            continue;
        }
        if (line.startsWith("step ")) {
            bool valid = false;
            reading.lastStep = line.mid(5).toInt(&valid);
            if (!valid)
                return std::nullopt;
            continue;
        }
        if (line.startsWith("place ")) {
            const QList<QByteArray> numbers = line.mid(6).split(' ');
            bool valid = numbers.size() == 4;
            int edges[4] = {};
            for (qsizetype i = 0; valid && i < 4; ++i)
                edges[i] = numbers[i].toInt(&valid);
            if (!valid)
                return std::nullopt;
            reading.answer.places.append(
                QRect(QPoint(edges[0], edges[1]), QPoint(edges[2], edges[3])));
            continue;
        }
        const qsizetype space = line.indexOf(' ', 5);
        if (!line.startsWith("code ") || space < 0)
            return std::nullopt;
        const auto format = ZXing::BarcodeFormatFromString(line.mid(5, space - 5).toStdString());
        const auto payload = unescape(line.mid(space + 1));
        if (format == ZXing::BarcodeFormat::None || !payload)
            return std::nullopt;
        reading.answer.codes.append({format, QString::fromUtf8(*payload)});
    }
    return reading;
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
    , m_deadline(timeout)
{
    start();
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

void BarcodeSearch::start()
{
    stop();
    if (m_helper.isEmpty())
        return;
    m_process = std::make_unique<QProcess>();
    m_process->setStandardInputFile(QProcess::nullDevice());
    QStringList args;
    if (!m_avoid.isEmpty()) {
        QStringList steps;
        for (const int step : std::as_const(m_avoid))
            steps.append(QString::number(step));
        args << QStringLiteral("--avoid") << steps.join(u',');
    }
    args << QString::number(m_maxPixels) << m_imagePath;
    m_process->start(m_helper, args, QIODevice::ReadOnly);
    m_output.clear();
    ++m_runs;
}

QList<QRect> BarcodeSearch::placesAtReadingSize()
{
    // The helper says "searched" once it has searched the reduced picture, before it looks
    // closer at the full photo: what it found there is all the text reader needs to know.
    // A payload may hold the word: the marker is a line of its own. Where it begins; -1 until
    // it came.
    const auto marker = [this]() -> qsizetype {
        if (m_output.startsWith("searched\n"))
            return 0;
        const qsizetype at = m_output.indexOf("\nsearched\n");
        return at < 0 ? at : at + 1;
    };
    while (m_process) {
        while (marker() < 0 && m_process->state() != QProcess::NotRunning
            && m_process->waitForReadyRead(int(std::max<qint64>(m_deadline.remainingTime(), 1)))) {
            m_output += m_process->readAllStandardOutput();
        }
        m_output += m_process->readAllStandardOutput();
        if (const qsizetype at = marker(); at >= 0) {
            QList<QRect> places = m_answer.places;
            if (const auto found = parseOutput(m_output.left(at))) {
                for (const QRect& place : found->answer.places) {
                    if (!places.contains(place))
                        places.append(place);
                }
            }
            return places;
        }
        // Ended or out of time before it had searched the reduced picture: a run that died
        // there is followed by one that may get further.
        finishRun();
    }
    return m_answer.places;
}

const BarcodeSearch::Answer& BarcodeSearch::answer()
{
    while (m_process)
        finishRun();
    return m_answer;
}

void BarcodeSearch::keep(const Answer& found)
{
    for (const Recognizer::Barcode& code : found.codes) {
        if (std::none_of(m_answer.codes.begin(), m_answer.codes.end(), [&](const auto& known) {
                return known.format == code.format && known.payload == code.payload;
            }))
            m_answer.codes.append(code);
    }
    for (const QRect& place : found.places) {
        if (!m_answer.places.contains(place))
            m_answer.places.append(place);
    }
}

void BarcodeSearch::finishRun()
{
    QProcess& process = *m_process;
    if (process.state() != QProcess::NotRunning)
        process.waitForFinished(int(std::max<qint64>(m_deadline.remainingTime(), 1)));
    m_output += process.readAllStandardOutput();
    const auto reading = parseOutput(m_output);
    const QString said
        = QString::fromLocal8Bit(process.readAllStandardError().trimmed().split('\n').last())
              .left(200);

    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        if (reading)
            keep(reading->answer);
        qCWarning(lcStore).noquote().nospace()
            << "[recognizer] the barcode search gave no answer in " << m_timeout.count()
            << " ms; stopped it with " << m_answer.codes.size() << " codes found";
    } else if (process.error() == QProcess::FailedToStart) {
        qCWarning(lcStore).noquote()
            << "[recognizer] cannot start" << m_helper << ":" << process.errorString();
    } else if (process.exitStatus() == QProcess::CrashExit) {
        if (reading)
            keep(reading->answer);
        // Each run takes the same steps as the one before up to the one that killed it: a
        // step it avoided already, or none at all, would kill it again.
        const int step = reading ? reading->lastStep : 0;
        const bool again
            = step > 0 && !m_avoid.contains(step) && m_runs < kMaxRuns && !m_deadline.hasExpired();
        QString message = QStringLiteral("[recognizer] the barcode search died ")
            + (step > 0 ? QStringLiteral("in step %1").arg(step)
                        : QStringLiteral("before its first step"));
        if (!said.isEmpty())
            message += QStringLiteral(" (%1)").arg(said);
        if (again) {
            qCInfo(lcStore).noquote() << message
                    + QStringLiteral("; searching again another way, %1 codes found so far")
                          .arg(m_answer.codes.size());
            m_avoid.append(step);
            start();
            return;
        }
        if (step > 0)
            message += QStringLiteral(", run %1 of at most %2").arg(m_runs).arg(kMaxRuns);
        qCWarning(lcStore).noquote()
            << message + QStringLiteral("; keeping the %1 codes found").arg(m_answer.codes.size());
    } else if (process.exitCode() != 0 || !reading || !reading->ended) {
        qCWarning(lcStore).noquote() << "[recognizer] the barcode search failed with status"
                                     << process.exitCode() << ":" << said;
    } else {
        keep(reading->answer);
        if (m_runs > 1) {
            qCInfo(lcStore).noquote().nospace()
                << "[recognizer] the barcode search found " << m_answer.codes.size() << " codes in "
                << m_runs << " runs";
        }
    }
    stop();
}

} // namespace vesker
