// The live view as the browser gets it from "/": one HTML document with its
// style and script inside, put together at build time from the files of
// view/page/ (view/page/embed_page.cmake).
#pragma once

namespace view {

extern const char kViewPage[];

}  // namespace view
