#pragma once

#include <string>

// Tells the user what a run from the command line has to say (a wrong command line, a refused
// job, a failed copy): on the standard error stream when the program was started with one (a
// console, a pipe or a file). Without one, an unattended run ("/run") writes it to the debugger
// output, since nobody may be there to answer a window; any other start shows a message box.
void ReportCommandLineError(const std::wstring& text, bool unattended);
// Writes `text` as it is to standard output (UTF-8 unless it is a console); false when there is none.
bool WriteStandardOutput(const std::wstring& text);
