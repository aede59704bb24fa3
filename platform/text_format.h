// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tg {

namespace detail {
template <typename T>
decltype(auto) printfArgument(const T& value) {
  if constexpr (std::is_same_v<T, std::string>) {
    return value.c_str();
  } else if constexpr (std::is_enum_v<T>) {
    return static_cast<long>(value);
  } else {
    return value;
  }
}
}  // namespace detail

/// Fills the printf-style template `format` (usually a catalogue text such as
/// "Unable to save file '%s'") with `args`. `std::string` arguments may be passed for "%s".
/// The caller passes arguments that match the directives, exactly as with printf; catalogue
/// translations are checked for matching directives when they are compiled.
template <typename... Args>
[[nodiscard]] std::string formatText(const std::string& format, const Args&... args) {
  if constexpr (sizeof...(Args) == 0) {
    return format;
  } else {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    const int length = std::snprintf(nullptr, 0, format.c_str(), detail::printfArgument(args)...);
    if (length <= 0) return {};
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::snprintf(buffer.data(), buffer.size(), format.c_str(), detail::printfArgument(args)...);
#pragma GCC diagnostic pop
    return std::string(buffer.data(), static_cast<size_t>(length));
  }
}

}  // namespace tg
