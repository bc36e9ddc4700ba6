#include "console/console_state.h"

volatile LONG CancelRequested = 0;
ConsoleContext* Console = nullptr;
