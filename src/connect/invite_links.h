#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace vesker {

// Invite links found in text that people send: "vesker://invite/CODE" or a secure web address
// of the invite service whose path begins "/i/".
struct InviteLinks {
    // The one rule for "this is an invite link", shared with the handler of opened links: the
    // whole text is one, on this program's scheme or on the invite service's own host.
    static bool isInviteLink(const QString& text);
    // The first word of `text` (stripped of the quotes, brackets and punctuation around it) that
    // is a well-formed invite link; none when there is none.
    static std::optional<QUrl> extract(const QString& text);
};

} // namespace vesker
