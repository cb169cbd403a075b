#include "platform/dns_sd_browser.h"

#include "platform/avahi_browse.h"

namespace vesker::platform {

DnsSdBrowser::DnsSdBrowser(const QString& type, QObject* parent)
    : QObject(parent)
    , m_work(new AvahiBrowse(type))
{
    qRegisterMetaType<DnsSdFound>();
    // Connected before the work starts, queued to this thread (see DnsSdPublisher).
    connect(m_work, &AvahiBrowse::browsing, this, &DnsSdBrowser::browsing);
    connect(m_work, &AvahiBrowse::waiting, this, &DnsSdBrowser::waiting);
    connect(m_work, &AvahiBrowse::failed, this, &DnsSdBrowser::failed);
    connect(m_work, &AvahiBrowse::found, this, &DnsSdBrowser::found);
    connect(m_work, &AvahiBrowse::removed, this, &DnsSdBrowser::removed);
    m_work->start();
}

DnsSdBrowser::~DnsSdBrowser()
{
    m_work->deleteLater();
}

} // namespace vesker::platform
