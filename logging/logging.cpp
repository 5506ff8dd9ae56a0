#include "logging/logging.h"

Q_LOGGING_CATEGORY(lcPlano, "plano", QtWarningMsg)
