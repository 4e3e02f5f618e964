// Where --png puts the picture: a file, put in place whole or not at all, or
// standard output for "-".
#pragma once

#include <string>

namespace view {

// The name that stands for standard output.
constexpr char kStandardOutputName[] = "-";

// Why the picture can't go to `name`, found before anything is read or
// written: "" when it can.
std::string WhyNoPictureFile(const std::string& name);

// Puts `png` at `name`: written beside it and renamed over it, so that a
// failure leaves what was there as it was and removes only what it made.
// False with the reason in *why.
bool SavePicture(const std::string& name, const std::string& png, std::string* why);

}  // namespace view
