#include "store/blur_rules.h"

#include "platform/defaults.h"

namespace vesker {

namespace {

const QString kBlurAll = QStringLiteral("blurAll");
const QString kBlurSenders = QStringLiteral("blurSenders");
const QString kKnownSenders = QStringLiteral("knownSenders");

} // namespace

BlurRules::BlurRules(platform::Defaults& defaults)
    : m_defaults(defaults)
{ }

QString BlurRules::senderKey(const QString& sender)
{
    return sender.trimmed().toLower();
}

bool BlurRules::readsSetting(const QString& key)
{
    return key == kBlurAll || key == kBlurSenders || key == kKnownSenders;
}

QStringList BlurRules::blurSenders() const
{
    QStringList keys;
    const QStringList pieces = m_defaults.string(kBlurSenders).split(u',', Qt::SkipEmptyParts);
    for (const QString& piece : pieces) {
        QString key = senderKey(piece);
        if (!key.isEmpty())
            keys.append(std::move(key));
    }
    return keys;
}

bool BlurRules::isKnown(const QString& sender) const
{
    // Entries are stored as keys; one written in capitals elsewhere never matches.
    return m_defaults.stringList(kKnownSenders).contains(senderKey(sender));
}

bool BlurRules::shouldBlur(const QString& sender) const
{
    if (isKnown(sender))
        return false;
    if (blursEveryPhoto())
        return true;
    return blurSenders().contains(senderKey(sender));
}

bool BlurRules::blursEveryPhoto() const
{
    return m_defaults.boolValue(kBlurAll, false);
}

void BlurRules::setKnown(const QString& sender, bool known)
{
    const QString key = senderKey(sender);
    if (key.isEmpty())
        return;
    QStringList list = m_defaults.stringList(kKnownSenders);
    list.removeAll(key);
    if (known)
        list.append(key);
    m_defaults.setStringList(kKnownSenders, list);
}

} // namespace vesker
