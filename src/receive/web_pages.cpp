#include "receive/web_pages.h"

#include "platform/log.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

namespace vesker {

namespace {

constexpr QStringView kNameToken = u"@@SCREEN_NAME@@";
constexpr QStringView kConfigToken = u"@@CONFIG@@";

// A template cut at its tokens: text pieces with the token that follows each.
struct Template {
    enum class Slot { none, name, config };
    QList<std::pair<QString, Slot>> pieces;
};

Template split(const QString& text)
{
    Template result;
    qsizetype from = 0;
    while (true) {
        const qsizetype name = text.indexOf(kNameToken, from);
        const qsizetype config = text.indexOf(kConfigToken, from);
        if (name < 0 && config < 0)
            break;
        const bool isName = name >= 0 && (config < 0 || name < config);
        const qsizetype at = isName ? name : config;
        result.pieces.append(
            {text.mid(from, at - from), isName ? Template::Slot::name : Template::Slot::config});
        from = at + (isName ? kNameToken.size() : kConfigToken.size());
    }
    result.pieces.append({text.mid(from), Template::Slot::none});
    return result;
}

Template load(const QString& resource)
{
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly)) {
        // Only a broken build lacks the pages.
        qCWarning(lcServer) << "[server] missing page" << resource;
        return {};
    }
    return split(QString::fromUtf8(file.readAll()));
}

QString fill(const Template& page, const QString& screenName, const QString& basePath)
{
    const QString name = htmlEscaped(screenName);
    const QString config = pageConfigJSON(screenName, basePath);
    QString out;
    for (const auto& [text, slot] : page.pieces) {
        out += text;
        if (slot == Template::Slot::name)
            out += name;
        else if (slot == Template::Slot::config)
            out += config;
    }
    return out;
}

} // namespace

QString htmlEscaped(const QString& text)
{
    return text.toHtmlEscaped().replace(u'\'', QLatin1String("&#39;"));
}

QString pageConfigJSON(const QString& screenName, const QString& basePath)
{
    const QString json = QString::fromUtf8(QJsonDocument(
        QJsonObject {{QStringLiteral("name"), screenName}, {QStringLiteral("base"), basePath}})
                                               .toJson(QJsonDocument::Compact));
    // These characters only occur inside the two strings, where an escape means the same.
    QString out;
    out.reserve(json.size() + 16);
    for (const QChar c : json) {
        switch (c.unicode()) {
        case u'<':
            out += QLatin1String("\\u003c");
            break;
        case u'>':
            out += QLatin1String("\\u003e");
            break;
        case u'&':
            out += QLatin1String("\\u0026");
            break;
        case 0x2028:
            out += QLatin1String("\\u2028");
            break;
        case 0x2029:
            out += QLatin1String("\\u2029");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString uploadPageHTML(const QString& screenName, const QString& basePath)
{
    static const Template page = load(QStringLiteral(":/web/upload.html"));
    return fill(page, screenName, basePath);
}

QString screenPageHTML(const QString& screenName, const QString& basePath)
{
    static const Template page = load(QStringLiteral(":/web/screen.html"));
    return fill(page, screenName, basePath);
}

} // namespace vesker
