#include "store/barcode_search.h"

#include "platform/log.h"

#include <QDeadlineTimer>

#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vesker {

namespace {

// ZXing takes a few seconds on the largest photo we decode; a child still busy after this is
// stuck.
constexpr int kChildTimeoutMs = 60'000;

// As ZXing's own pyramid: a layer a third the size of the one before, while the last is still
// larger than this on its short side. A code that fills much of a large photo is found more
// surely, and far sooner, in a smaller copy.
constexpr int kLayerFactor = 3;
constexpr int kSmallestLayerSide = 500;
constexpr int kMaxLayers = 4;

// What the child writes for each code: the format, the length of the text, the text in
// UTF-8. A record of format None ends the list, so that a child that died half-way is told
// from one that found nothing.
void appendRecord(std::string& out, uint32_t format, const std::string& text)
{
    const uint32_t length = uint32_t(text.size());
    out.append(reinterpret_cast<const char*>(&format), sizeof format);
    out.append(reinterpret_cast<const char*>(&length), sizeof length);
    out.append(text);
}

bool writeAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

ZXing::DecodeHints searchHints()
{
    ZXing::DecodeHints hints;
    // Every format, and codes that are rotated, small or blurred.
    hints.setFormats(ZXing::BarcodeFormat::Any);
    hints.setTryHarder(true);
    hints.setTryRotate(true);
    // Our layers stand in for ZXing's: its own merge of what it finds in its downscaled copies
    // is where the failing assertion lies.
    hints.setTryDownscale(false);
    return hints;
}

// The child's whole life: ZXing over pixels made ready by the parent, and plain system calls.
// Nothing here may wait on another thread: the parent's other threads (Qt's pools among them)
// do not exist in the child, and whatever waited for them would wait for ever.
[[noreturn]] void searchInChild(const QList<QImage>& layers, bool oneCodePerLayer, int output)
{
    // The child shares every descriptor of the program: its listening sockets and open
    // connections among them. Held here, a closed connection would stay open for the peer
    // and a restarted server could not bind its port again until the child ends. Only the
    // standard streams and the pipe stay.
    constexpr int fd = 3;
    if (output != fd && ::dup2(output, fd) != fd)
        ::_exit(3);
    if (::close_range(fd + 1, ~0U, 0) != 0) {
        for (long other = fd + 1, end = ::sysconf(_SC_OPEN_MAX); other < end; ++other)
            ::close(int(other));
    }
    // A child killed by ZXing's assertion is expected; it must not leave a core dump behind.
    const rlimit noCore {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    try {
        const ZXing::DecodeHints hints = searchHints();
        std::string out;
        for (const QImage& layer : layers) {
            const ZXing::ImageView view(layer.constBits(), layer.width(), layer.height(),
                ZXing::ImageFormat::Lum, int(layer.bytesPerLine()));
            if (oneCodePerLayer) {
                const ZXing::Result result = ZXing::ReadBarcode(view, hints);
                if (result.isValid())
                    appendRecord(out, uint32_t(result.format()), result.text());
            } else {
                for (const ZXing::Result& result : ZXing::ReadBarcodes(view, hints)) {
                    if (result.isValid())
                        appendRecord(out, uint32_t(result.format()), result.text());
                }
            }
        }
        appendRecord(out, uint32_t(ZXing::BarcodeFormat::None), {});
        ::_exit(writeAll(fd, out) ? 0 : 1);
    } catch (...) {
        ::_exit(2);
    }
}

std::optional<QList<Recognizer::Barcode>> parseRecords(const std::string& data)
{
    QList<Recognizer::Barcode> found;
    size_t at = 0;
    while (data.size() - at >= 2 * sizeof(uint32_t)) {
        uint32_t format = 0;
        uint32_t length = 0;
        std::memcpy(&format, data.data() + at, sizeof format);
        std::memcpy(&length, data.data() + at + sizeof format, sizeof length);
        at += 2 * sizeof(uint32_t);
        if (length > data.size() - at)
            return std::nullopt;
        if (format == uint32_t(ZXing::BarcodeFormat::None))
            return at == data.size() && length == 0 ? std::optional(found) : std::nullopt;
        found.append(
            {ZXing::BarcodeFormat(format), QString::fromUtf8(data.data() + at, qsizetype(length))});
        at += length;
    }
    return std::nullopt;
}

} // namespace

BarcodeSearch::BarcodeSearch(const QImage& image)
{
    // Every image operation happens here in the parent: Qt converts and scales large images on
    // its own worker threads, which a child would not have.
    QImage layer = image.convertToFormat(QImage::Format_Grayscale8);
    for (int n = 0; n < kMaxLayers && !layer.isNull(); ++n) {
        m_layers.append(layer);
        if (std::min(layer.width(), layer.height()) <= kSmallestLayerSide)
            break;
        layer = layer.scaled(layer.width() / kLayerFactor, layer.height() / kLayerFactor,
            Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    start(Mode::everyCode);
}

BarcodeSearch::~BarcodeSearch()
{
    stop();
}

void BarcodeSearch::start(Mode mode)
{
    if (m_layers.isEmpty())
        return;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        searchInChild(m_layers, mode == Mode::oneCodePerLayer, fds[1]);
    }
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return;
    }
    m_child = pid;
    m_pipe = fds[0];
}

QList<Recognizer::Barcode> BarcodeSearch::results()
{
    if (m_child < 0) {
        // No child could be started (out of processes or memory): the photo keeps no codes
        // rather than risk the program on ZXing here.
        return {};
    }
    if (auto found = collect())
        return *found;
    qCWarning(lcStore).noquote() << "[recognizer] the barcode search" << m_outcome
                                 << "; searching again for one code per layer";
    start(Mode::oneCodePerLayer);
    if (m_child < 0)
        return {};
    return collect().value_or(QList<Recognizer::Barcode> {});
}

std::optional<QList<Recognizer::Barcode>> BarcodeSearch::collect()
{
    std::string data;
    const QDeadlineTimer deadline(kChildTimeoutMs);
    bool complete = false;
    for (;;) {
        pollfd readable {m_pipe, POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break; // timed out (or poll failed): the child is killed below
        char buffer[16384];
        const ssize_t n = ::read(m_pipe, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            complete = n == 0;
            break;
        }
        data.append(buffer, size_t(n));
    }
    stop();
    if (!complete)
        return std::nullopt;
    return parseRecords(data);
}

void BarcodeSearch::stop()
{
    if (m_pipe >= 0) {
        ::close(m_pipe);
        m_pipe = -1;
    }
    if (m_child > 0) {
        // A child that has finished is a zombie until reaped, and killing it does nothing; one
        // that has not is stuck or no longer wanted.
        ::kill(m_child, SIGKILL);
        int status = 0;
        while (::waitpid(m_child, &status, 0) < 0 && errno == EINTR) { }
        if (WIFSIGNALED(status))
            m_outcome = QStringLiteral("died of signal %1").arg(WTERMSIG(status));
        else if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
            m_outcome = QStringLiteral("failed with status %1").arg(WEXITSTATUS(status));
        else
            m_outcome = QStringLiteral("gave no answer");
        m_child = -1;
    }
}

} // namespace vesker
