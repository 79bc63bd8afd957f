#include "suite/master_data.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "platform/db/db.h"
#include "platform/error.h"
#include "schema/ddl.h"
#include "suite/configuration.h"
#include "suite/currency.h"
#include "suite/json_text.h"
#include "suite/sql_literals.h"
#include "suite/suite_data.h"

namespace suite {

using ec::Variant;
using nlohmann::json;
namespace pe = ec::platform_errors;

namespace {

const char* const kDdl[] = {
    "CREATE TABLE IF NOT EXISTS BUSINESSPARTNER (BUSINESSPARTNERID INTEGER PRIMARY KEY, NAME TEXT NOT NULL, "
    "SUPPLIERCODE TEXT, CUSTOMERCODE TEXT, DUNSNUMBER TEXT, CLASSIFICATIONCODE TEXT)",
    "CREATE TABLE IF NOT EXISTS CATEGORY (CATEGORYID INTEGER PRIMARY KEY, NAME TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS CATEGORYFIELD (CATEGORYID INTEGER NOT NULL, FIELDNAME TEXT NOT NULL, "
    "FIELDKIND TEXT NOT NULL, FIELDVALUE TEXT, PRIMARY KEY (CATEGORYID, FIELDNAME))",
    "CREATE TABLE IF NOT EXISTS CURRENCY (CURRENCYCODE TEXT PRIMARY KEY, NAME TEXT NOT NULL)",
    // Dates as YYYY-MM-DD text and rates as the decimal text loaded, so that both compare and
    // convert exactly.
    "CREATE TABLE IF NOT EXISTS EXCHANGERATE (FROMCURRENCY TEXT NOT NULL, TOCURRENCY TEXT NOT NULL, "
    "RATEDATE TEXT NOT NULL, RATE TEXT NOT NULL, PRIMARY KEY (FROMCURRENCY, TOCURRENCY, RATEDATE))",
    "CREATE TABLE IF NOT EXISTS UNIT (UNITCODE TEXT PRIMARY KEY, NAME TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS PRODUCT (PRODUCTID INTEGER PRIMARY KEY, NAME TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS PRODUCTFIELD (PRODUCTID INTEGER NOT NULL, FIELDNAME TEXT NOT NULL, "
    "FIELDKIND TEXT NOT NULL, FIELDVALUE TEXT, PRIMARY KEY (PRODUCTID, FIELDNAME))",
    "CREATE TABLE IF NOT EXISTS SUITEUSER (USERID TEXT PRIMARY KEY, CONTACT TEXT)",
    "CREATE TABLE IF NOT EXISTS USERATTRIBUTE (USERID TEXT NOT NULL, ATTRIBUTENAME TEXT NOT NULL, "
    "ORDINAL INTEGER NOT NULL, ATTRIBUTEVALUE TEXT NOT NULL, PRIMARY KEY (USERID, ATTRIBUTENAME, ORDINAL))",
    "CREATE TABLE IF NOT EXISTS REQUISITIONREFERENCE (CONTRACTHEADERID INTEGER NOT NULL, "
    "CONTRACTLINEID INTEGER NOT NULL, REQUISITION TEXT NOT NULL, "
    "PRIMARY KEY (CONTRACTHEADERID, CONTRACTLINEID, REQUISITION))",
};

// ---- reading ------------------------------------------------------------------------

ec::db::ResultSet query(const std::string& conn, const std::string& sql, int64_t maxRows) {
  auto c = std::make_shared<ec::db::Connection>();
  c->openUnenlisted(conn);
  ec::db::Recordset rs;
  rs.maxRecords = maxRows;
  try {
    rs.open(sql, c);
  } catch (...) {
    c->close();
    throw;
  }
  ec::db::ResultSet result = rs.result();
  rs.close();
  c->close();
  return result;
}

bool any(const std::string& conn, const std::string& sql) { return query(conn, sql, 1).rowCount() > 0; }

std::string text(const Variant& v) { return v.isNull() ? std::string() : v.toString(); }

// A field value from its stored kind and text.
Variant fieldValue(const std::string& kind, const Variant& stored) {
  if (kind == "null" || stored.isNull()) return Variant::null();
  const std::string t = stored.toString();
  if (kind == "integer") return Variant(stored.toInt32());
  if (kind == "double") return Variant(*ec::parseNumber(t));
  if (kind == "boolean") return Variant(t == "True");
  return Variant(t);
}

std::optional<MasterData::Fields> fields(const std::string& conn, const std::string& owner, const std::string& fieldTable,
                                         const std::string& idColumn, int32_t id) {
  if (!any(conn, "SELECT 1 FROM " + owner + " WHERE " + idColumn + "=" + sqlNumberLiteral(id))) return std::nullopt;
  const auto rs = query(conn,
                        "SELECT FIELDNAME, FIELDKIND, FIELDVALUE FROM " + fieldTable + " WHERE " + idColumn + "=" +
                            sqlNumberLiteral(id) + " ORDER BY FIELDNAME",
                        0);
  MasterData::Fields out;
  for (size_t r = 0; r < rs.rowCount(); ++r)
    out.emplace_back(rs.values[r * 3].toString(), fieldValue(rs.values[r * 3 + 1].toString(), rs.values[r * 3 + 2]));
  return out;
}

// ---- loading ------------------------------------------------------------------------

using Loader = SuiteDataReader;
using Batch = SuiteDataBatch;

struct FieldRow {
  std::string name, kind;
  Variant value;  // String or Null
};

std::vector<FieldRow> readFields(const Loader& L, const json& entry, const std::string& where) {
  std::vector<FieldRow> out;
  auto it = entry.find("fields");
  if (it == entry.end()) return out;
  if (!it->is_object()) L.fail(where + ".fields", "expected an object");
  for (const auto& [name, v] : it->items()) {
    const std::string fw = where + ".fields." + name;
    FieldRow f{name, "", Variant()};
    if (v.is_null()) {
      f.kind = "null";
      f.value = Variant::null();
    } else if (v.is_boolean()) {
      f.kind = "boolean";
      f.value = Variant(v.get<bool>() ? "True" : "False");
    } else if (v.is_number_integer() && !v.is_number_unsigned() && v.get<int64_t>() >= std::numeric_limits<int32_t>::min() &&
               v.get<int64_t>() <= std::numeric_limits<int32_t>::max()) {
      f.kind = "integer";
      f.value = Variant(std::to_string(v.get<int64_t>()));
    } else if (v.is_number_unsigned() && v.get<uint64_t>() <= 2147483647u) {
      f.kind = "integer";
      f.value = Variant(std::to_string(v.get<uint64_t>()));
    } else if (v.is_number()) {
      f.kind = "double";
      f.value = Variant(sqlDoubleLiteral(v.get<double>()));
    } else if (v.is_string()) {
      f.kind = "text";
      f.value = Variant(v.get<std::string>());
      if (v.get<std::string>().find('\0') != std::string::npos) L.fail(fw, "a text may not hold a NUL character");
    } else {
      L.fail(fw, "expected a text, a number, a boolean or null");
    }
    out.push_back(std::move(f));
  }
  return out;
}

Variant optText(const std::optional<std::string>& s) { return s ? Variant(*s) : Variant::null(); }

void addFieldRows(Batch::Step& step, const char* table, const char* idColumn, int32_t id,
                  const std::vector<FieldRow>& fields) {
  for (const auto& f : fields)
    step.rows.push_back({table, {idColumn, "FIELDNAME", "FIELDKIND", "FIELDVALUE"},
                         {Variant(id), Variant(f.name), Variant(f.kind), f.value}});
}

Batch readBatch(const Loader& L, const json& doc) {
  static const char* const kSections[] = {"businessPartners", "categories", "currencies", "exchangeRates",
                                          "units",            "products",   "users",      "requisitionReferences"};
  if (!doc.is_object()) L.fail("the document", "expected an object");
  for (const auto& [k, v] : doc.items()) {
    bool known = false;
    for (const char* s : kSections) known = known || k == s;
    for (const SuiteSection& s : componentSections()) known = known || (s.read && k == s.name);
    if (!known) L.fail(k, "unknown section");
  }
  Batch b;
  auto where = [](const char* sec, size_t i) { return std::string(sec) + "[" + std::to_string(i) + "]"; };
  const auto num = [](int32_t n) { return sqlNumberLiteral(n); };

  size_t i = 0;
  for (const json& e : L.section(doc, "businessPartners")) {
    const std::string w = where("businessPartners", i++);
    L.checkEntry(e, w, {"id", "name", "supplierCode", "customerCode", "duns", "classification"});
    const int32_t id = L.integer(e, w, "id");
    Batch::Step s;
    s.deletes.push_back("DELETE FROM BUSINESSPARTNER WHERE BUSINESSPARTNERID=" + num(id));
    s.rows.push_back({"BUSINESSPARTNER",
                      {"BUSINESSPARTNERID", "NAME", "SUPPLIERCODE", "CUSTOMERCODE", "DUNSNUMBER", "CLASSIFICATIONCODE"},
                      {Variant(id), Variant(*L.str(e, w, "name", true)), optText(L.str(e, w, "supplierCode", false)),
                       optText(L.str(e, w, "customerCode", false)), optText(L.str(e, w, "duns", false)),
                       optText(L.str(e, w, "classification", false))}});
    b.steps.push_back(std::move(s));
  }
  i = 0;
  for (const json& e : L.section(doc, "categories")) {
    const std::string w = where("categories", i++);
    L.checkEntry(e, w, {"id", "name", "fields"});
    const int32_t id = L.integer(e, w, "id");
    Batch::Step s;
    s.deletes.push_back("DELETE FROM CATEGORYFIELD WHERE CATEGORYID=" + num(id));
    s.deletes.push_back("DELETE FROM CATEGORY WHERE CATEGORYID=" + num(id));
    s.rows.push_back({"CATEGORY", {"CATEGORYID", "NAME"}, {Variant(id), Variant(*L.str(e, w, "name", true))}});
    addFieldRows(s, "CATEGORYFIELD", "CATEGORYID", id, readFields(L, e, w));
    b.steps.push_back(std::move(s));
  }
  i = 0;
  for (const json& e : L.section(doc, "currencies")) {
    const std::string w = where("currencies", i++);
    L.checkEntry(e, w, {"code", "name"});
    const std::string code = *L.str(e, w, "code", true);
    if (code.empty()) L.fail(w + ".code", "expected a non-empty text");
    Batch::Step s;
    s.deletes.push_back("DELETE FROM CURRENCY WHERE CURRENCYCODE=" + sqlTextLiteral(code));
    s.rows.push_back({"CURRENCY", {"CURRENCYCODE", "NAME"}, {Variant(code), Variant(*L.str(e, w, "name", true))}});
    b.steps.push_back(std::move(s));
  }
  i = 0;
  for (const json& e : L.section(doc, "exchangeRates")) {
    const std::string w = where("exchangeRates", i++);
    L.checkEntry(e, w, {"from", "to", "date", "rate"});
    const std::string from = *L.str(e, w, "from", true);
    const std::string to = *L.str(e, w, "to", true);
    const std::string date = *L.str(e, w, "date", true);
    if (date.size() != 10 || !ec::Date::parse(date)) L.fail(w + ".date", "expected a date YYYY-MM-DD");
    const json* r = L.get(e, w, "rate", true);
    if (!r->is_number()) L.fail(w + ".rate", "expected a number");
    const double rate = r->get<double>();
    const std::string rateText = rate > 0 && std::isfinite(rate) ? sqlDoubleLiteral(rate) : std::string();
    if (rateText.empty() || !parseDecimalRate(rateText)) L.fail(w + ".rate", "expected a positive number below 1e18 with at most 18 decimals");
    Batch::Step s;
    s.deletes.push_back("DELETE FROM EXCHANGERATE WHERE FROMCURRENCY=" + sqlTextLiteral(from) +
                        " AND TOCURRENCY=" + sqlTextLiteral(to) + " AND RATEDATE=" + sqlTextLiteral(date));
    s.rows.push_back({"EXCHANGERATE", {"FROMCURRENCY", "TOCURRENCY", "RATEDATE", "RATE"},
                      {Variant(from), Variant(to), Variant(date), Variant(rateText)}});
    b.steps.push_back(std::move(s));
    b.rateChecks.push_back({w, from, to});
  }
  i = 0;
  for (const json& e : L.section(doc, "units")) {
    const std::string w = where("units", i++);
    L.checkEntry(e, w, {"code", "name"});
    const std::string code = *L.str(e, w, "code", true);
    if (code.empty()) L.fail(w + ".code", "expected a non-empty text");
    Batch::Step s;
    s.deletes.push_back("DELETE FROM UNIT WHERE UNITCODE=" + sqlTextLiteral(code));
    s.rows.push_back({"UNIT", {"UNITCODE", "NAME"}, {Variant(code), Variant(*L.str(e, w, "name", true))}});
    b.steps.push_back(std::move(s));
  }
  i = 0;
  for (const json& e : L.section(doc, "products")) {
    const std::string w = where("products", i++);
    L.checkEntry(e, w, {"id", "name", "fields"});
    const int32_t id = L.integer(e, w, "id");
    Batch::Step s;
    s.deletes.push_back("DELETE FROM PRODUCTFIELD WHERE PRODUCTID=" + num(id));
    s.deletes.push_back("DELETE FROM PRODUCT WHERE PRODUCTID=" + num(id));
    s.rows.push_back({"PRODUCT", {"PRODUCTID", "NAME"}, {Variant(id), Variant(*L.str(e, w, "name", true))}});
    addFieldRows(s, "PRODUCTFIELD", "PRODUCTID", id, readFields(L, e, w));
    b.steps.push_back(std::move(s));
  }
  i = 0;
  for (const json& e : L.section(doc, "users")) {
    const std::string w = where("users", i++);
    L.checkEntry(e, w, {"id", "contact", "attributes"});
    const std::string id = *L.str(e, w, "id", true);
    if (id.empty()) L.fail(w + ".id", "expected a non-empty text");
    Batch::Step s;
    s.deletes.push_back("DELETE FROM USERATTRIBUTE WHERE USERID=" + sqlTextLiteral(id));
    s.deletes.push_back("DELETE FROM SUITEUSER WHERE USERID=" + sqlTextLiteral(id));
    s.rows.push_back({"SUITEUSER", {"USERID", "CONTACT"}, {Variant(id), optText(L.str(e, w, "contact", false))}});
    if (const json* attrs = L.get(e, w, "attributes", false)) {
      if (!attrs->is_object()) L.fail(w + ".attributes", "expected an object");
      for (const auto& [name, values] : attrs->items()) {
        const std::string aw = w + ".attributes." + name;
        if (!values.is_array()) L.fail(aw, "expected an array of texts");
        int32_t ordinal = 0;
        for (const json& v : values) {
          if (!v.is_string()) L.fail(aw + "[" + std::to_string(ordinal) + "]", "expected a text");
          s.rows.push_back({"USERATTRIBUTE", {"USERID", "ATTRIBUTENAME", "ORDINAL", "ATTRIBUTEVALUE"},
                            {Variant(id), Variant(name), Variant(ordinal), Variant(v.get<std::string>())}});
          ++ordinal;
        }
      }
    }
    b.steps.push_back(std::move(s));
  }
  i = 0;
  for (const json& e : L.section(doc, "requisitionReferences")) {
    const std::string w = where("requisitionReferences", i++);
    L.checkEntry(e, w, {"contractHeaderId", "contractLineId", "requisition"});
    const int32_t h = L.integer(e, w, "contractHeaderId");
    const int32_t l = L.integer(e, w, "contractLineId");
    const std::string req = *L.str(e, w, "requisition", true);
    Batch::Step s;
    s.deletes.push_back("DELETE FROM REQUISITIONREFERENCE WHERE CONTRACTHEADERID=" + num(h) +
                        " AND CONTRACTLINEID=" + num(l) + " AND REQUISITION=" + sqlTextLiteral(req));
    s.rows.push_back({"REQUISITIONREFERENCE", {"CONTRACTHEADERID", "CONTRACTLINEID", "REQUISITION"},
                      {Variant(h), Variant(l), Variant(req)}});
    b.steps.push_back(std::move(s));
  }
  // The sections of the shipped components, after the master data they may refer to.
  for (const SuiteSection& sec : componentSections()) {
    auto it = doc.find(sec.name);
    if (sec.read && it != doc.end()) sec.read(L, *it, b);
  }
  return b;
}

bool physicalAny(ec::db::PhysicalConnection& pc, const std::string& sql) { return pc.query(sql, 1).rowCount() > 0; }

}  // namespace

void ensureSuiteDatabase(const std::string& connStr) {
  std::vector<std::string> ddl(std::begin(kDdl), std::end(kDdl));
  for (const SuiteSection& sec : componentSections())
    if (sec.ddl)
      for (std::string& d : sec.ddl()) ddl.push_back(std::move(d));
  schema::applyDdl(connStr, ddl);
}

void loadSuiteData(const std::string& connStr, const std::string& jsonText, const std::string& fileName) {
  const Loader L(fileName);
  json doc;
  try {
    doc = parseJsonText<json>(jsonText);
  } catch (const JsonTextError& e) {
    ec::raiseError(pe::kInvalidProcedureCall, kMasterDataErrorSource, "The suite data file " + jsonFileMessage(fileName, e));
  }
  // Everything the file itself can get wrong is found before the database is touched.
  const Batch batch = readBatch(L, doc);

  ensureSuiteDatabase(connStr);
  auto pc = ec::db::openPhysical(connStr, false);
  pc->begin();
  try {
    for (const auto& step : batch.steps) {
      for (const auto& d : step.deletes) pc->execute(d);
      for (const auto& r : step.rows) pc->insertRow(r.table, r.columns, r.values);
    }
    // Rates may name currencies of the same file: checked once all of them are written.
    for (const auto& rc : batch.rateChecks)
      for (const auto& [member, code] : {std::pair{".from", rc.from}, std::pair{".to", rc.to}})
        if (!physicalAny(*pc, "SELECT 1 FROM CURRENCY WHERE CURRENCYCODE=" + sqlTextLiteral(code)))
          L.fail(rc.where + member, "unknown currency " + clipped(code, 60));
    pc->commit();
  } catch (...) {
    try {
      pc->rollback();
    } catch (...) {
      // The connection goes away below, and the open transaction with it.
    }
    throw;
  }
}

// ---------------------------------------------------------------------------------------

MasterData MasterData::fromConfiguration() { return MasterData(suiteDatabaseConnectionString()); }

bool MasterData::businessPartnerExists(int32_t id) const {
  return any(conn_, "SELECT 1 FROM BUSINESSPARTNER WHERE BUSINESSPARTNERID=" + sqlNumberLiteral(id));
}
bool MasterData::categoryExists(int32_t id) const {
  return any(conn_, "SELECT 1 FROM CATEGORY WHERE CATEGORYID=" + sqlNumberLiteral(id));
}
bool MasterData::unitExists(const std::string& code) const {
  return any(conn_, "SELECT 1 FROM UNIT WHERE UNITCODE=" + sqlTextLiteral(code));
}
bool MasterData::productExists(int32_t id) const {
  return any(conn_, "SELECT 1 FROM PRODUCT WHERE PRODUCTID=" + sqlNumberLiteral(id));
}
bool MasterData::currencyExists(const std::string& code) const {
  return any(conn_, "SELECT 1 FROM CURRENCY WHERE CURRENCYCODE=" + sqlTextLiteral(code));
}

bool MasterData::requisitionReferenceExists(std::optional<int32_t> header, std::optional<int32_t> line) const {
  std::string sql = "SELECT 1 FROM REQUISITIONREFERENCE";
  const char* sep = " WHERE ";
  if (header) {
    sql += sep + std::string("CONTRACTHEADERID=") + sqlNumberLiteral(*header);
    sep = " AND ";
  }
  if (line) sql += sep + std::string("CONTRACTLINEID=") + sqlNumberLiteral(*line);
  return any(conn_, sql);
}

std::optional<MasterData::Rate> MasterData::latestRate(const std::string& from, const std::string& to,
                                                       const std::string& onOrBefore) const {
  const auto rs = query(conn_,
                        "SELECT RATEDATE, RATE FROM EXCHANGERATE WHERE FROMCURRENCY=" + sqlTextLiteral(from) +
                            " AND TOCURRENCY=" + sqlTextLiteral(to) + " AND RATEDATE<=" + sqlTextLiteral(onOrBefore) +
                            " ORDER BY RATEDATE DESC",
                        1);
  if (rs.rowCount() == 0) return std::nullopt;
  return Rate{rs.values[0].toString(), rs.values[1].toString()};
}

std::optional<MasterData::BusinessPartner> MasterData::businessPartner(int32_t id) const {
  const auto rs = query(conn_,
                        "SELECT NAME, SUPPLIERCODE, CUSTOMERCODE, DUNSNUMBER, CLASSIFICATIONCODE FROM BUSINESSPARTNER "
                        "WHERE BUSINESSPARTNERID=" +
                            sqlNumberLiteral(id),
                        1);
  if (rs.rowCount() == 0) return std::nullopt;
  return BusinessPartner{text(rs.values[0]), text(rs.values[1]), text(rs.values[2]), text(rs.values[3]),
                         text(rs.values[4])};
}

std::optional<std::string> MasterData::userContact(const std::string& userId) const {
  const auto rs = query(conn_, "SELECT CONTACT FROM SUITEUSER WHERE USERID=" + sqlTextLiteral(userId), 1);
  if (rs.rowCount() == 0) return std::nullopt;
  return text(rs.values[0]);
}

std::optional<MasterData::Attributes> MasterData::userAttributes(const std::string& userId) const {
  if (!any(conn_, "SELECT 1 FROM SUITEUSER WHERE USERID=" + sqlTextLiteral(userId))) return std::nullopt;
  const auto rs = query(conn_,
                        "SELECT ATTRIBUTENAME, ATTRIBUTEVALUE FROM USERATTRIBUTE WHERE USERID=" + sqlTextLiteral(userId) +
                            " ORDER BY ATTRIBUTENAME, ORDINAL",
                        0);
  Attributes out;
  for (size_t r = 0; r < rs.rowCount(); ++r) {
    const std::string name = rs.values[r * 2].toString();
    if (out.empty() || out.back().first != name) out.emplace_back(name, std::vector<std::string>());
    out.back().second.push_back(rs.values[r * 2 + 1].toString());
  }
  return out;
}

std::optional<MasterData::Fields> MasterData::productFields(int32_t productId) const {
  return fields(conn_, "PRODUCT", "PRODUCTFIELD", "PRODUCTID", productId);
}

std::optional<MasterData::Fields> MasterData::categoryFields(int32_t categoryId) const {
  return fields(conn_, "CATEGORY", "CATEGORYFIELD", "CATEGORYID", categoryId);
}

}  // namespace suite
