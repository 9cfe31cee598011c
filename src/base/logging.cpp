#include "logging.h"

Q_LOGGING_CATEGORY(lcNetwork, "pelorin.network", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRemoteTree, "pelorin.remotetree", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLocalTree, "pelorin.localtree", QtInfoMsg)
Q_LOGGING_CATEGORY(lcApp, "pelorin.app", QtInfoMsg)
