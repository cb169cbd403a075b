#include "avahi_finder.h"

#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <sys/prctl.h>

namespace vesker::test {

namespace {

// avahi-browse writes a byte outside printable ASCII as \DDD, in decimal, and puts a backslash
// before its separators.
QString unescape(const QByteArray& text)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QByteArray code = text.mid(i + 1, 3);
        if (text[i] != '\\') {
            bytes += text[i];
        } else if (code.size() == 3 && std::all_of(code.begin(), code.end(), ::isdigit)) {
            bytes += char(code.toInt());
            i += 3;
        } else {
            bytes += text.mid(++i, 1);
        }
    }
    return QString::fromUtf8(bytes);
}

} // namespace

AvahiFinder::AvahiFinder(const QString& type)
{
    m_browse.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_browse.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    QObject::connect(&m_browse, &QProcess::readyReadStandardOutput, [this] { read(); });
    m_browse.start(QStringLiteral("avahi-browse"),
        {QStringLiteral("--resolve"), QStringLiteral("--parsable"), type});
}

AvahiFinder::~AvahiFinder()
{
    m_browse.kill();
    m_browse.waitForFinished();
}

// "=;lo;IPv4;name;type;domain;host;address;port;"key=value" ..." for each resolved service,
// "-;lo;IPv4;name;..." when it goes.
void AvahiFinder::read()
{
    static const QRegularExpression entry(QStringLiteral(R"re("((?:[^"\\]|\\.)*)")re"));
    while (m_browse.canReadLine()) {
        const QList<QByteArray> fields = m_browse.readLine().trimmed().split(';');
        const QString name = unescape(fields.value(3));
        if (fields[0] == "-") {
            m_found.remove(name);
        } else if (fields[0] == "=" && fields.size() >= 10) {
            FoundService& found = m_found[name] = {quint16(fields[8].toUInt()), {}};
            const QString txt = QString::fromLatin1(fields.mid(9).join(';'));
            for (const QRegularExpressionMatch& match : entry.globalMatch(txt)) {
                const QString text = unescape(match.captured(1).toLatin1());
                found.txt.insert(text.section(u'=', 0, 0), text.section(u'=', 1));
            }
        }
    }
}

std::optional<FoundService> AvahiFinder::waitFor(const QString& name, int timeoutMs)
{
    if (!QTest::qWaitFor([&] { return m_found.contains(name); }, timeoutMs))
        return std::nullopt;
    return m_found.value(name);
}

bool AvahiFinder::waitUntilGone(const QString& name, int timeoutMs)
{
    return QTest::qWaitFor([&] { return !m_found.contains(name); }, timeoutMs);
}

} // namespace vesker::test
