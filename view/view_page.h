// The live view as the browser gets it from "/": one HTML document with its
// style and script inside.
#pragma once

namespace view {

extern const char kViewPage[];

}  // namespace view
