// Text helpers shared by the subcommands: UTF-8 and the host's UTF-16,
// blanks and case, JSON strings and aligned tables.
#pragma once

#include "pluginterfaces/base/ftypes.h"

#include <string>
#include <vector>

namespace orvotool {

std::string toUtf8 (const Steinberg::char16* s);
std::u16string toUtf16 (const std::string& s);

std::string lower (std::string s);
// Without blanks (spaces, tabs) at either end.
std::string trim (const std::string& s);

// The key two names are compared by: lower case, without blanks, a comma
// read as a slash ("Polar Pattern L, R" and "polar pattern l/r" are one).
std::string nameKey (const std::string& name);

// A JSON string literal, quotes included.
std::string jsonString (const std::string& s);

// Prints rows with each column padded to its widest cell, counted in
// characters (not bytes).
void printTable (const std::vector<std::vector<std::string>>& rows);

} // namespace orvotool
