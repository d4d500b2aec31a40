#include "CScanOptions.h"

CScanOptions& GetScanOptions() {
  static CScanOptions options;
  return options;
}
