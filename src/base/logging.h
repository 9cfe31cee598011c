#pragma once

#include <QLoggingCategory>

// One category per subsystem. Debug output is off by default and switched on with
// QT_LOGGING_RULES, e.g. QT_LOGGING_RULES="pelorin.network.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcNetwork)
Q_DECLARE_LOGGING_CATEGORY(lcRemoteTree)
Q_DECLARE_LOGGING_CATEGORY(lcLocalTree)
Q_DECLARE_LOGGING_CATEGORY(lcApp)
