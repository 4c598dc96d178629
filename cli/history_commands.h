#pragma once
// veltran-scan --record and --history: the recorder without the window, and the history printed.

struct ScanArguments;

// Scans this computer every interval and records it until SIGINT or SIGTERM; 0 when stopped.
int recordHistory(const ScanArguments& arguments);
// Prints the recorded connections of the range; 1 when there is no history to read.
int printHistory(const ScanArguments& arguments);
