#pragma once
// A 32-bit process on 64-bit Windows sees system32 redirected to syswow64, and the call that switches this
// off holds for the calling thread only. Every thread that resolves a path must see the same files, so once
// the program has switched redirection off, each thread started with StartThread switches it off as well.

// Switches redirection off on the calling thread and on every thread started from now on; 0 when the system
// has no such switch or refuses it (a 64-bit process, or Windows without 32-bit emulation).
int SwitchOffRedirectionOnEveryThread();
// On a thread just started: the same view of the file system as the thread that switched redirection off.
void TakeProgramFileSystemView();
