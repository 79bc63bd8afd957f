// Reading the suite-data file that `econtract suite load` stores: the checks that name the
// position of a bad entry ("products[3].id: expected an integer") and the rows one file
// writes. The master-data sections are read by the master-data store; the shipped
// components (backend systems, approval chains, quotations, collaboration) read their own
// sections and create their own tables in the suite database through SuiteSection.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/variant.h"

namespace suite {

class SuiteDataReader {
 public:
  explicit SuiteDataReader(std::string file) : file_(std::move(file)) {}

  // Invalid procedure call or argument (5), source "econtract.suite": "FILE: where: what".
  [[noreturn]] void fail(const std::string& where, const std::string& what) const;
  // Checks that entry is an object holding only the allowed members.
  void checkEntry(const nlohmann::json& entry, const std::string& where,
                  std::initializer_list<const char*> allowed) const;
  // The member key of entry; a missing required member fails, an optional one gives null.
  const nlohmann::json* get(const nlohmann::json& entry, const std::string& where, const char* key,
                            bool required) const;
  // A required 32-bit whole number.
  int32_t integer(const nlohmann::json& entry, const std::string& where, const char* key) const;
  // A text without NUL characters.
  std::optional<std::string> str(const nlohmann::json& entry, const std::string& where, const char* key,
                                 bool required) const;
  // The array doc[name]; an empty array when absent.
  const nlohmann::json& section(const nlohmann::json& doc, const char* name) const;

 private:
  std::string file_;
};

// The rows of one file, checked, in the order they are written (all in one transaction).
struct SuiteDataBatch {
  struct Row {
    std::string table;
    std::vector<std::string> columns;
    std::vector<ec::Variant> values;
  };
  // The deletes of a step remove the stored entry its rows replace.
  struct Step {
    std::vector<std::string> deletes;
    std::vector<Row> rows;
  };
  std::vector<Step> steps;
  struct RateCheck {
    std::string where, from, to;
  };
  std::vector<RateCheck> rateChecks;
};

// A section of the file read by a shipped component, and the tables of its state.
struct SuiteSection {
  const char* name;  // member of the file ("backendSystems", ...)
  // Reads the member into batch steps; null for a component without a section.
  void (*read)(const SuiteDataReader& reader, const nlohmann::json& member, SuiteDataBatch& batch);
  // "CREATE TABLE IF NOT EXISTS ..." / "CREATE INDEX IF NOT EXISTS ..." statements of the
  // component's tables; null for none. One text serves both backends (the suite database
  // may be SQLite or PostgreSQL): write the column types INTEGER, DOUBLE, DATETIME,
  // BOOLEAN, VARCHAR(n) or TEXT, which schema::ddlFor maps for PostgreSQL (schema/ddl.h);
  // an INTEGER PRIMARY KEY becomes an identity there, filled when an insert leaves it out
  // (do not mix given and generated ids in one table). The component's own statements
  // must run on both as well: no INSERT OR REPLACE / OR IGNORE (use ON CONFLICT ... DO, or
  // DELETE then INSERT), no rowid or last_insert_rowid() (read generated ids back through
  // PhysicalConnection::insertRow or an updatable cursor), no SQLite date functions, and
  // ORDER BY wherever the order matters.
  std::vector<std::string> (*ddl)();
};

// The sections of the shipped components, in the order they are read (suite/sections.cpp).
const std::vector<SuiteSection>& componentSections();

}  // namespace suite
