#pragma once

#include <span>
#include <string_view>

#include "store/sqlite.h"

namespace vocalis {

// The store's schema as the steps that built it, oldest first: step n takes the file from
// version n (PRAGMA user_version) to n + 1. A released step is never changed; a new version
// appends one.
std::span<const std::string_view> schemaSteps();

// Brings the file to the last version of `steps`, each step in a transaction of its own. A file
// of a newer version throws an Error with SQLITE_NOTADB: this player cannot read it.
void migrate(sqlite::Database& db, std::span<const std::string_view> steps = schemaSteps());

}  // namespace vocalis
