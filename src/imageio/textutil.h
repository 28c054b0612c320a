// ASCII case folding and ";"-separated lists, as format names and
// extensions use them.
#pragma once

#include <string>
#include <string_view>

namespace lumora {

std::string AsciiLower(std::string_view s);
std::string AsciiUpper(std::string_view s);
// The n-th item (from 0) of a ";" list; empty when the list runs out.
std::string_view ListItem(std::string_view list, int index);
// Whether one item of a ";" list equals `item` exactly.
bool ListContains(std::string_view list, std::string_view item);

}  // namespace lumora
