// The process entry point: split the command line, run, exit with the run's code.
#include <windows.h>

#include "base/memory.h"
#include "console/control.h"
#include "run/command_line.h"
#include "run/run_main.h"

int wmain() {
  ArgumentVector args;
  SplitCommandLine(GetCommandLineW(), &args);
  int exitCode = RunMain(args.count, args.items);
  MemFree(args.buffer);
  WaitForControlHandler();
  ExitProcess(static_cast<UINT>(exitCode));
}
