#include "platform/log.h"

Q_LOGGING_CATEGORY(lcStore, "vesker.store")
Q_LOGGING_CATEGORY(lcSettings, "vesker.settings")
Q_LOGGING_CATEGORY(lcApp, "vesker.app")
Q_LOGGING_CATEGORY(lcArrival, "vesker.arrival")
Q_LOGGING_CATEGORY(lcServer, "vesker.server")
Q_LOGGING_CATEGORY(lcDnsSd, "vesker.dnssd")
