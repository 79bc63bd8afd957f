// The ledger's suite-data section, its tables, the cell encoding, and the post and report
// used by `econtract backend`.
#include <cmath>

#include "platform/error.h"
#include "suite/backend_store.h"
#include "suite/sql_literals.h"

namespace suite {

using ec::Variant;
using nlohmann::json;

namespace backend {

void fail(const std::string& text) {
  ec::raiseError(ec::platform_errors::kInvalidProcedureCall, kBackendClass, text);
}

std::string label(const BackendSystem& system) {
  return "Backend system " + std::to_string(system.id) + " (" + system.name + ")";
}

ec::db::ResultSet query(const std::shared_ptr<ec::db::Connection>& conn, const std::string& sql) {
  auto rs = conn->executeQuery(sql);
  ec::db::ResultSet result = rs->result();
  rs->close();
  return result;
}

namespace {

std::optional<std::vector<std::string>> codeList(const Variant& stored) {
  if (stored.isNull()) return std::nullopt;
  return json::parse(stored.toString()).get<std::vector<std::string>>();
}

}  // namespace

std::optional<BackendSystem> findSystem(const std::shared_ptr<ec::db::Connection>& conn, int32_t bisId) {
  const auto rs = query(conn, "SELECT NAME, UNITS, CURRENCIES FROM BACKENDSYSTEM WHERE BISID=" + sqlNumberLiteral(bisId));
  if (rs.rowCount() == 0) return std::nullopt;
  return BackendSystem{bisId, rs.values[0].toString(), codeList(rs.values[1]), codeList(rs.values[2])};
}

std::string encodeCells(const std::vector<BackendSystemReport::Cell>& cells) {
  json out = json::array();
  for (const auto& c : cells) {
    const Variant& v = c.value;
    std::string kind, text;
    switch (v.type()) {
      case ec::VarType::Null: kind = "null"; break;
      case ec::VarType::Int16: kind = "i2", text = v.toString(); break;
      case ec::VarType::Int32: kind = "i4", text = v.toString(); break;
      case ec::VarType::Double: kind = "double", text = sqlDoubleLiteral(v.toDouble()); break;
      case ec::VarType::Currency: kind = "currency", text = std::to_string(v.toCurrency().scaled); break;
      case ec::VarType::Date: kind = "date", text = v.toDate().toSqlText(); break;
      case ec::VarType::String: kind = "text", text = v.str(); break;
      case ec::VarType::Bool: kind = "boolean", text = v.toBool() ? "1" : "0"; break;
      default:
        fail("Cell " + std::to_string(c.cell) + " holds a value a backend system cannot keep (" + v.typeName() + ")");
    }
    out.push_back(json::array({c.cell, c.row, kind, text}));
  }
  // A text that is not valid UTF-8 is kept with replacement characters for the bad bytes.
  return out.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::vector<BackendSystemReport::Cell> decodeCells(const std::string& text) {
  std::vector<BackendSystemReport::Cell> cells;
  for (const json& e : json::parse(text)) {
    const std::string kind = e.at(2).get<std::string>();
    const std::string t = e.at(3).get<std::string>();
    Variant v;
    if (kind == "null") v = Variant::null();
    else if (kind == "i2") v = Variant(static_cast<int16_t>(std::stoi(t)));
    else if (kind == "i4") v = Variant(static_cast<int32_t>(std::stol(t)));
    else if (kind == "double") v = Variant(*ec::parseNumber(t));
    else if (kind == "currency") v = Variant(ec::Currency::fromScaled(std::stoll(t)));
    else if (kind == "date") v = Variant(*ec::Date::parse(t));
    else if (kind == "boolean") v = Variant(t == "1");
    else v = Variant(t);
    cells.push_back({e.at(0).get<int32_t>(), e.at(1).get<int32_t>(), std::move(v)});
  }
  return cells;
}

}  // namespace backend

std::vector<std::string> backendLedgerDdl() {
  return {
      // UNITS and CURRENCIES: a JSON array of the accepted codes, NULL when any is accepted.
      "CREATE TABLE IF NOT EXISTS BACKENDSYSTEM (BISID INTEGER PRIMARY KEY, NAME TEXT NOT NULL, UNITS TEXT, "
      "CURRENCIES TEXT)",
      "CREATE TABLE IF NOT EXISTS BACKENDCONTRACT (BISID INTEGER NOT NULL, BACKENDHEADERID TEXT NOT NULL, "
      "CONTRACTNUMBER INTEGER NOT NULL, PRIMARY KEY (BISID, BACKENDHEADERID))",
      "CREATE TABLE IF NOT EXISTS BACKENDLINE (BISID INTEGER NOT NULL, BACKENDLINEID TEXT NOT NULL, "
      "BACKENDHEADERID TEXT NOT NULL, LINENUMBER INTEGER NOT NULL, POSITION INTEGER NOT NULL, CELLS TEXT NOT NULL, "
      "CALLEDQUANTITY DOUBLE NOT NULL, CALLEDVALUE DOUBLE NOT NULL, INVOICEDQUANTITY DOUBLE NOT NULL, "
      "INVOICEDVALUE DOUBLE NOT NULL, PRIMARY KEY (BISID, BACKENDLINEID))",
  };
}

void readBackendSystems(const SuiteDataReader& L, const json& member, SuiteDataBatch& batch) {
  if (!member.is_array()) L.fail("backendSystems", "expected an array");
  size_t i = 0;
  for (const json& e : member) {
    const std::string w = "backendSystems[" + std::to_string(i++) + "]";
    L.checkEntry(e, w, {"id", "name", "units", "currencies"});
    const int32_t id = L.integer(e, w, "id");
    const std::string name = *L.str(e, w, "name", true);
    auto codes = [&](const char* key) -> Variant {
      const json* list = L.get(e, w, key, false);
      if (!list) return Variant::null();
      if (!list->is_array()) L.fail(w + "." + key, "expected an array of texts");
      std::vector<std::string> out;
      for (const json& c : *list) {
        const std::string cw = w + "." + key + "[" + std::to_string(out.size()) + "]";
        if (!c.is_string() || c.get<std::string>().empty()) L.fail(cw, "expected a non-empty text");
        if (c.get<std::string>().find('\0') != std::string::npos) L.fail(cw, "a text may not hold a NUL character");
        out.push_back(c.get<std::string>());
      }
      return Variant(json(out).dump(-1, ' ', false, json::error_handler_t::replace));
    };
    SuiteDataBatch::Step s;
    s.deletes.push_back("DELETE FROM BACKENDSYSTEM WHERE BISID=" + sqlNumberLiteral(id));
    s.rows.push_back({"BACKENDSYSTEM", {"BISID", "NAME", "UNITS", "CURRENCIES"},
                      {Variant(id), Variant(name), codes("units"), codes("currencies")}});
    batch.steps.push_back(std::move(s));
  }
}

namespace {

std::shared_ptr<ec::db::Connection> openLedger(const std::string& connStr) {
  auto conn = std::make_shared<ec::db::Connection>();
  conn->open(connStr);
  return conn;
}

BackendSystem requireSystem(const std::shared_ptr<ec::db::Connection>& conn, int32_t bisId) {
  auto system = backend::findSystem(conn, bisId);
  if (!system) backend::fail("Backend system " + std::to_string(bisId) + " is not known");
  return *system;
}

}  // namespace

BackendFigures postBackendFigures(const std::string& connStr, int32_t bisId, const std::string& lineId,
                                  const BackendFigures& add) {
  for (double d : {add.calledQuantity, add.calledValue, add.invoicedQuantity, add.invoicedValue})
    if (!std::isfinite(d)) backend::fail("The figures to post must be finite numbers");
  auto conn = openLedger(connStr);
  const BackendSystem system = requireSystem(conn, bisId);
  const std::string where = " WHERE BISID=" + sqlNumberLiteral(bisId) + " AND BACKENDLINEID=" + sqlTextLiteral(lineId);
  int64_t changed = 0;
  conn->execute("UPDATE BACKENDLINE SET CALLEDQUANTITY=CALLEDQUANTITY+" + sqlDoubleLiteral(add.calledQuantity) +
                    ",CALLEDVALUE=CALLEDVALUE+" + sqlDoubleLiteral(add.calledValue) +
                    ",INVOICEDQUANTITY=INVOICEDQUANTITY+" + sqlDoubleLiteral(add.invoicedQuantity) +
                    ",INVOICEDVALUE=INVOICEDVALUE+" + sqlDoubleLiteral(add.invoicedValue) + where,
                &changed);
  if (changed == 0) backend::fail(backend::label(system) + " has no line \"" + lineId + "\"");
  const auto rs =
      backend::query(conn, "SELECT CALLEDQUANTITY, CALLEDVALUE, INVOICEDQUANTITY, INVOICEDVALUE FROM BACKENDLINE" + where);
  conn->close();
  return {rs.values[0].toDouble(), rs.values[1].toDouble(), rs.values[2].toDouble(), rs.values[3].toDouble()};
}

BackendSystemReport backendSystemReport(const std::string& connStr, int32_t bisId) {
  auto conn = openLedger(connStr);
  BackendSystemReport report;
  report.system = requireSystem(conn, bisId);
  const std::string bis = sqlNumberLiteral(bisId);
  const auto contracts =
      backend::query(conn, "SELECT BACKENDHEADERID FROM BACKENDCONTRACT WHERE BISID=" + bis + " ORDER BY CONTRACTNUMBER");
  for (size_t c = 0; c < contracts.rowCount(); ++c) {
    BackendSystemReport::Contract contract{contracts.values[c].toString(), {}};
    const auto lines = backend::query(
        conn, "SELECT BACKENDLINEID, POSITION, CELLS, CALLEDQUANTITY, CALLEDVALUE, INVOICEDQUANTITY, INVOICEDVALUE "
              "FROM BACKENDLINE WHERE BISID=" + bis + " AND BACKENDHEADERID=" + sqlTextLiteral(contract.backendHeaderId) +
              " ORDER BY LINENUMBER");
    const size_t n = lines.columns.size();
    for (size_t r = 0; r < lines.rowCount(); ++r) {
      const Variant* row = &lines.values[r * n];
      contract.lines.push_back({row[0].toString(), row[1].toInt32(), backend::decodeCells(row[2].toString()),
                                {row[3].toDouble(), row[4].toDouble(), row[5].toDouble(), row[6].toDouble()}});
    }
    report.contracts.push_back(std::move(contract));
  }
  conn->close();
  return report;
}

}  // namespace suite
