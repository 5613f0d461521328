#pragma once
#include <optional>
#include <string>
#include <string_view>

// Standard alphabet, '=' padding to a multiple of 4, no line breaks: the form
// the agent sends. Anything else is nullopt.
std::optional<std::string> DecodeBase64(std::string_view text);
