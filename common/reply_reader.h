#pragma once
// Picks values out of the engine's JSON-style replies with one token scan, not a
// JSON parser: every token that follows a token equal to the key (letters A-Z
// compared without case) is a value, in reply order, at any depth. A value token
// is itself examined as a key, and a key that is the last token gives "".
#include <string>
#include <vector>

std::vector<std::wstring> GetReplyValues(const std::string& key, const std::wstring& reply);
