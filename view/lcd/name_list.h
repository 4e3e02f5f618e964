// Names for a message, as a person lists them: "a, b or c".
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace view {

inline std::string NameList(const std::vector<const char*>& names) {
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i)
        list += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + std::string(names[i]);
    return list;
}

}  // namespace view
