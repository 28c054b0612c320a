#include "imageio/textutil.h"

namespace lumora {

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string AsciiUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string_view ListItem(std::string_view list, int index) {
  size_t start = 0;
  for (int i = 0; i < index; ++i) {
    size_t semi = list.find(';', start);
    if (semi == std::string_view::npos) return {};
    start = semi + 1;
  }
  size_t end = list.find(';', start);
  return list.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

bool ListContains(std::string_view list, std::string_view item) {
  while (!list.empty()) {
    size_t semi = list.find(';');
    if (list.substr(0, semi) == item) return true;
    if (semi == std::string_view::npos) break;
    list.remove_prefix(semi + 1);
  }
  return false;
}

}  // namespace lumora
