#pragma once
// The body of a "/DBase/" request: Base64 of {"root":"…","sql":"…"}.
#include <optional>
#include <string>
#include <string_view>

struct DatabaseQuery {
    std::string root;
    std::string sql;
};

// nullopt when the body is not Base64 of a JSON object whose members "root" and
// "sql" are strings.
std::optional<DatabaseQuery> ParseDatabaseQuery(std::string_view body);
