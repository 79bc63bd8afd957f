// The contract database: the DDL of its seven tables and their indexes, and the routine
// that creates a database with that schema when it is absent.
#pragma once

#include <string>
#include <vector>

namespace schema {

// CREATE TABLE / CREATE INDEX statements ("IF NOT EXISTS"), tables first, in the order they
// are executed. Declared types (INTEGER, DOUBLE, DATETIME, BOOLEAN, VARCHAR) make values
// read back typed; on PostgreSQL they are mapped by schema::ddlFor (schema/ddl.h).
const std::vector<std::string>& contractDdl();

// The seven contract tables, in creation order.
const std::vector<std::string>& contractTables();

// Creates the database file of a "sqlite:PATH" connection string, or the tables in the
// existing database of a "postgresql://" URI, when they are absent, in one transaction; an
// existing database keeps its data (tables or indexes that are missing are added).
void ensureContractDatabase(const std::string& connStr);

}  // namespace schema
