#pragma once

#include <QString>
#include <QStringList>

namespace vesker {

namespace platform {
class Defaults;
} // namespace platform

// Whether a photo is shown blurred, by its sender alone: "blurAll", the typed list
// "blurSenders" and the list "knownSenders" of people who are never blurred. Senders are
// compared by key (trimmed, lower-cased). The rules are nothing but those settings, so a view
// follows them through the settings' changed(key) with readsSetting(key), whoever wrote them.
// Main thread only.
class BlurRules {
public:
    explicit BlurRules(platform::Defaults& defaults);

    static QString senderKey(const QString& sender);
    // Whether a change of the setting `key` can change what is blurred.
    static bool readsSetting(const QString& key);

    // The keys of "blurSenders", in the order typed.
    QStringList blurSenders() const;
    bool isKnown(const QString& sender) const;
    bool shouldBlur(const QString& sender) const;
    // "blurAll": every photo of a sender not known is blurred, whatever "blurSenders" names.
    bool blursEveryPhoto() const;
    // Adds or removes the sender in "knownSenders"; a blank name changes nothing.
    void setKnown(const QString& sender, bool known);

private:
    platform::Defaults& m_defaults;
};

} // namespace vesker
