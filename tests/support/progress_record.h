// A progress sink for tests: records every position an operation reports.
#pragma once

#include <vector>

#include "zembra/engine/progress.h"

struct ProgressRecord {
  std::vector<int> positions;
  ProgressSink sink() {
    return [this](int position) { positions.push_back(position); };
  }
  int last() const { return positions.empty() ? -1 : positions.back(); }
};
