#include "platform/log.h"

Q_LOGGING_CATEGORY(lcStore, "vesker.store")
Q_LOGGING_CATEGORY(lcSettings, "vesker.settings")
Q_LOGGING_CATEGORY(lcApp, "vesker.app")
Q_LOGGING_CATEGORY(lcArrival, "vesker.arrival")
Q_LOGGING_CATEGORY(lcServer, "vesker.server")
Q_LOGGING_CATEGORY(lcDnsSd, "vesker.dnssd")
Q_LOGGING_CATEGORY(lcAccess, "vesker.access")
Q_LOGGING_CATEGORY(lcHttp, "vesker.http")
Q_LOGGING_CATEGORY(lcMedia, "vesker.media")
Q_LOGGING_CATEGORY(lcNotifications, "vesker.notifications")
Q_LOGGING_CATEGORY(lcSync, "vesker.sync")
Q_LOGGING_CATEGORY(lcRelay, "vesker.relay")
