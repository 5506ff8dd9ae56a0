// The message that ends an interactive batch run, from the window's texts.
#pragma once

#include "app/langtexts.h"

#include <QString>

struct BatchResult;

QString batchReportText(const BatchResult &result, const TextTable &texts);
