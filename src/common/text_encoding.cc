#include "common/text_encoding.h"

namespace d2g {

bool is_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      ++i;
      continue;
    }
    std::size_t length;
    char32_t code, least;
    if ((byte & 0xE0) == 0xC0) {
      length = 2, code = byte & 0x1F, least = 0x80;
    } else if ((byte & 0xF0) == 0xE0) {
      length = 3, code = byte & 0x0F, least = 0x800;
    } else if ((byte & 0xF8) == 0xF0) {
      length = 4, code = byte & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::string as_utf8(std::string_view text) {
  if (is_utf8(text)) return std::string(text);
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | byte >> 6);
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return out;
}

}  // namespace d2g
