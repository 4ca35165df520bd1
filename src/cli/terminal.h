#pragma once
// What the command line asks of the terminal, one backend file per platform.

#include <cstddef>
#include <cstdio>

namespace quarrow::cli {

// True when the stream is a terminal (a live progress line is drawn only there).
bool IsTerminal(std::FILE* stream);
// The terminal's width in columns; 80 when it cannot be told.
std::size_t TerminalWidth(std::FILE* stream);

}  // namespace quarrow::cli
