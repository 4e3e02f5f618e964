// The follow mode's picture: the last four input lines on rows 1 to 4.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

#include "platform/page_format.h"

namespace host {

constexpr std::size_t kColumns = page_format::kColumns;
constexpr std::size_t kRows = page_format::kRows;

// One input line as a row of exactly 80 cells: tabs expanded to the next
// multiple of 8 columns, NUL bytes shown as spaces (a NUL would end the
// driver's text early), then cut or padded with spaces.
std::string FitRow(const std::string& line);

// Adds `line` (fitted) below the others, keeping the last four.
void PushLine(std::deque<std::string>* window, const std::string& line);

// All four rows, 320 cells, top row first; rows not yet filled are blank.
// Written at column 1 of row 1 in one Write, it fills the screen exactly and
// rewrites the page once.
std::string ScreenText(const std::deque<std::string>& window);

}  // namespace host
