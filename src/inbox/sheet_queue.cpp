#include "inbox/sheet_queue.h"

#include <QTimer>

namespace vesker {

void SheetQueue::present(Maker make)
{
    m_waiting.append(std::move(make));
    if (!m_current)
        openNext();
}

void SheetQueue::openNext()
{
    while (!m_current && !m_waiting.isEmpty()) {
        QDialog* sheet = m_waiting.takeFirst()();
        if (!sheet)
            continue;
        m_current = sheet;
        connect(sheet, &QDialog::finished, this, [this, sheet] {
            sheet->deleteLater();
            if (m_current == sheet)
                m_current = nullptr;
            // The next sheet waits until the closing one has finished going.
            QTimer::singleShot(0, this, &SheetQueue::openNext);
        });
        // A sheet taken down with its window never finishes; the queue must not stall on it.
        connect(sheet, &QObject::destroyed, this,
            [this] { QTimer::singleShot(0, this, &SheetQueue::openNext); });
        sheet->open();
    }
}

} // namespace vesker
