// The recognizer's half of bench/recognize_bench.sh.
//
//   recognize_bench corpus DIR                draws the photos (see recognize_corpus.cpp) and
//                                             prints their names
//   recognize_bench time PHOTO RUNS           recognises the photo RUNS times and prints
//                                             "first MS", "median MS", then "code ENTRY" and
//                                             "payload PAYLOAD" per barcode and the text after
//                                             a "text" line
//   recognize_bench read PHOTO                reads the photo once, as the program does on
//                                             arrival (its recognition pool, its text engine
//                                             settings), and prints what it read as `time` does
//   recognize_bench sheet SEED PHOTO          draws the sheet of QR labels of that seed (see
//                                             tests/support/label_sheets.h) as a PNG and prints
//                                             the payloads of its codes
//   recognize_bench score TEXT.txt READ.txt   prints the share of the page's words found in
//                                             READ.txt, in their order (a longest common
//                                             subsequence of words)
#include "recognize_corpus.h"

#include "store/recognizer.h"
#include "support/label_sheets.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace vesker;

namespace {

void printResult(const Recognizer::Result& result)
{
    for (const QString& code : result.barcodes) {
        std::printf("code %s\n", qPrintable(code));
        std::printf("payload %s\n", qPrintable(Recognizer::payload(code)));
    }
    std::printf("text\n%s\n", qPrintable(result.text));
}

int timeRecognizer(const QString& path, int runs)
{
    std::vector<double> times;
    Recognizer::Result result;
    for (int i = 0; i < std::max(1, runs); ++i) {
        QElapsedTimer timer;
        timer.start();
        result = Recognizer::recognizeNow(path);
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    const double first = times.front();
    std::sort(times.begin(), times.end());
    std::printf("first %.0f\nmedian %.0f\n", first, times[times.size() / 2]);
    printResult(result);
    return 0;
}

QStringList words(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression space(QStringLiteral("\\s+"));
    return QString::fromUtf8(file.readAll()).split(space, Qt::SkipEmptyParts);
}

int score(const QString& expectedPath, const QString& readPath)
{
    const QStringList expected = words(expectedPath);
    const QStringList read = words(readPath);
    // Longest common subsequence of words: what was read correctly and in order.
    std::vector<int> previous(read.size() + 1, 0), current(read.size() + 1, 0);
    for (const QString& word : expected) {
        for (qsizetype j = 0; j < read.size(); ++j)
            current[j + 1]
                = word == read[j] ? previous[j] + 1 : std::max(previous[j + 1], current[j]);
        std::swap(previous, current);
    }
    const double share = expected.isEmpty() ? 0 : 100.0 * previous.back() / expected.size();
    std::printf("%.1f\n", share);
    return 0;
}

int drawSheet(quint32 seed, const QString& path)
{
    const test::LabelSheet sheet = test::labelSheet(seed);
    if (!sheet.page.save(path))
        return 1;
    for (const QString& payload : sheet.payloads)
        std::printf("%s\n", qPrintable(payload));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == u"corpus")
        return makeCorpus(args[2]);
    if (args.size() == 4 && args[1] == u"time")
        return timeRecognizer(args[2], args[3].toInt());
    if (args.size() == 3 && args[1] == u"read")
        return printResult(Recognizer::recognize(args[2]).result()), 0;
    if (args.size() == 4 && args[1] == u"sheet")
        return drawSheet(args[2].toUInt(), args[3]);
    if (args.size() == 4 && args[1] == u"score")
        return score(args[2], args[3]);
    std::fprintf(stderr,
        "usage: recognize_bench corpus DIR | time PHOTO RUNS | read PHOTO | sheet SEED PHOTO | "
        "score TEXT READ\n");
    return 2;
}
