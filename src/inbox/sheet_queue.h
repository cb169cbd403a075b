#pragma once

#include <QDialog>
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

namespace vesker {

// The window shows one sheet at a time: a sheet asked for while another is open waits and opens
// when that one closes, in the order asked. Each sheet is made only when its turn comes and
// goes with deleteLater() once closed.
class SheetQueue : public QObject {
    Q_OBJECT
public:
    // Makes the sheet when its turn comes; may give none, when it is no longer wanted.
    using Maker = std::function<QDialog*()>;

    using QObject::QObject;

    void present(Maker make);
    QDialog* current() const { return m_current; }
    qsizetype waiting() const { return m_waiting.size(); }

private:
    void openNext();

    QPointer<QDialog> m_current;
    QList<Maker> m_waiting;
};

} // namespace vesker
