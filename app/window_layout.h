#pragma once
// The window's layout across restarts: its size and place, the grid's column widths
// (the stretched last column excepted), the sort, the chosen view and the filter's two
// options. Kept in veltran.ini, never in options.dat.

class SettingsFile;
class StringGrid;
class TForm1;

// Sets what the file holds; what it lacks, or holds out of range, stays as it is.
void restoreWindowLayout(TForm1& window, const SettingsFile& file);
// The grid's column widths, for a grid made after the rest was restored.
void restoreGridLayout(StringGrid& grid, const SettingsFile& file);
// Writes the layout; false when the file could not be written (file.error() says why).
bool saveWindowLayout(const TForm1& window, SettingsFile& file);
