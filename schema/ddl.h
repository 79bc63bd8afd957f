// One DDL text for both backends. Tables are written with the type names INTEGER, DOUBLE,
// DATETIME, BOOLEAN, VARCHAR(n) and TEXT; on PostgreSQL ddlFor maps them: DOUBLE to DOUBLE
// PRECISION, DATETIME to TIMESTAMP, BOOLEAN to BOOLINT (a whole number holding 1, 0 or -1,
// read back as a boolean), and an INTEGER PRIMARY KEY column (with or without
// AUTOINCREMENT) to an identity column filled by the database when the insert leaves it
// out. Every other word of the text stays as written.
#pragma once

#include <string>
#include <vector>

#include "platform/db/db.h"

namespace schema {

std::string ddlFor(ec::db::Backend backend, const std::string& statement);

// The objects a database of the backend needs before its tables (PostgreSQL: the BOOLINT
// domain and the comparison operators between text and numbers; none on SQLite). Each
// statement may run again on a database that has them.
const std::vector<std::string>& compatibilityDdl(ec::db::Backend backend);

// Creates the compatibility objects and runs the statements (mapped by ddlFor) on the
// database of connStr in one transaction, creating a SQLite file when it is absent.
void applyDdl(const std::string& connStr, const std::vector<std::string>& statements);

}  // namespace schema
