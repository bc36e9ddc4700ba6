#pragma once
// Gives up the rest of the time slice now and then while the matching loop runs, so the console and the
// control handler stay responsive; at most once per clock tick, since on a busy machine every yield can
// hand the processor away for a whole slice.
void YieldTimeSlice();
