// The message that ends an interactive batch run, from the window's texts:
// a finished run names how many were converted and how many failed, a
// stopped one how many of all were converted and how many were not.
#pragma once

#include "app/langtexts.h"

#include <QString>

struct BatchResult;

QString batchReportText(const BatchResult &result, const TextTable &texts);
