// The names a request may reach the view by. A web page can point a name of
// its own at 127.0.0.1 and read what answers (DNS rebinding), but it can't
// make a browser send an IP address or "localhost" as the request's Host.
#pragma once

#include <string>
#include <string_view>

namespace view {

// True for HOST or HOST:PORT where HOST is an IP address (IPv6 in brackets)
// or "localhost" in any case.
bool IsLocalAuthority(std::string_view authority);

// An absolute-form request target ("http://HOST:PORT/path?query") split into
// its authority and its path with the query ("/" when it has none); false
// for any other target, which is left to be a path.
bool SplitAbsoluteTarget(std::string_view target, std::string_view* authority,
                         std::string* path_and_query);

}  // namespace view
