#include "base/run_options.h"

RunOptionsRecord RunOptions;
wchar_t FileSpec1[kPathUnits];
wchar_t FileSpec2[kPathUnits];
wchar_t SearchFolder1[kPathUnits];
wchar_t SearchFolder2[kPathUnits];
wchar_t Pattern1[kPathUnits];
wchar_t Pattern2[kPathUnits];

void ResetRunOptions() {
  RunOptions = RunOptionsRecord();
  FileSpec1[0] = 0;
  FileSpec2[0] = 0;
}
