#include "card/item_row.h"

#include <QTimer>

namespace vesker {

void ItemRow::flashCopied()
{
    m_state->copiedFlash = true;
    Q_EMIT copiedFlashChanged(true);
    QTimer::singleShot(1200, this, [this] {
        m_state->copiedFlash = false;
        Q_EMIT copiedFlashChanged(false);
    });
}

} // namespace vesker
