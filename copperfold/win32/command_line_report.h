#pragma once

#include <string>

// Tells the user what was wrong with the command line: on the standard error stream when the
// program was started with one (a console, a pipe or a file), else in a message box.
void ReportCommandLineError(const std::wstring& text);
