// The workflow's section, tables, routing state, history and the report of
// `econtract workflow show`.
#include "suite/workflow_store.h"

#include "platform/error.h"
#include "suite/configuration.h"
#include "suite/sql_literals.h"
#include "suite/workflow.h"

namespace suite {

using ec::Variant;
using nlohmann::json;

namespace workflow {

namespace {

ec::db::ResultSet query(ec::db::Connection& conn, const std::string& sql) {
  auto rs = conn.executeQuery(sql);
  ec::db::ResultSet result = rs->result();
  rs->close();
  return result;
}

std::string lineCondition(int32_t headerId, int32_t lineId) {
  return " WHERE CONTRACTHEADERID=" + sqlNumberLiteral(headerId) + " AND CONTRACTLINEID=" + sqlNumberLiteral(lineId);
}

std::string categoryCondition(std::optional<int32_t> categoryId) {
  return categoryId ? "CATEGORYID=" + sqlNumberLiteral(*categoryId) : std::string("CATEGORYID IS NULL");
}

std::optional<int32_t> optionalId(const Variant& v) {
  if (v.isNull()) return std::nullopt;
  return v.toInt32();
}

std::optional<Route> loadRoute(const ec::db::ResultSet& rs) {
  if (rs.rowCount() == 0) return std::nullopt;
  Route r;
  r.categoryId = optionalId(rs.values[0]);
  r.approvers = json::parse(rs.values[1].toString()).get<std::vector<std::string>>();
  r.position = optionalId(rs.values[2]);
  r.state = rs.values[3].toString();
  return r;
}

const char* const kSelectRoute = "SELECT CATEGORYID, APPROVERS, CURRENTPOSITION, ROUTESTATE FROM WORKFLOWROUTE";

}  // namespace

std::shared_ptr<ec::db::Connection> openEnlisted() {
  auto conn = std::make_shared<ec::db::Connection>();
  conn->open(suiteDatabaseConnectionString());
  return conn;
}

std::optional<Route> loadRoute(ec::db::Connection& conn, int32_t headerId, int32_t lineId) {
  return loadRoute(query(conn, kSelectRoute + lineCondition(headerId, lineId)));
}

void saveRoute(ec::db::Connection& conn, int32_t headerId, int32_t lineId, const Route& route) {
  const auto opt = [](std::optional<int32_t> v) { return v ? sqlNumberLiteral(*v) : std::string("NULL"); };
  conn.execute("DELETE FROM WORKFLOWROUTE" + lineCondition(headerId, lineId));
  conn.execute("INSERT INTO WORKFLOWROUTE (CONTRACTHEADERID, CONTRACTLINEID, CATEGORYID, APPROVERS, "
               "CURRENTPOSITION, ROUTESTATE) VALUES (" +
               sqlNumberLiteral(headerId) + "," + sqlNumberLiteral(lineId) + "," + opt(route.categoryId) + "," +
               sqlTextLiteral(json(route.approvers).dump()) + "," + opt(route.position) + "," +
               sqlTextLiteral(route.state) + ")");
}

std::vector<std::string> chainFor(ec::db::Connection& conn, std::optional<int32_t> categoryId) {
  const auto rs = query(conn, "SELECT APPROVER FROM APPROVALCHAIN WHERE " + categoryCondition(categoryId) +
                                  " ORDER BY ORDINAL");
  std::vector<std::string> approvers;
  for (const Variant& v : rs.values) approvers.push_back(v.toString());
  return approvers;
}

void recordStep(ec::db::Connection& conn, int32_t headerId, int32_t lineId, int32_t entryType,
                const std::string& userId, const std::optional<std::string>& decision, const std::string& outcome) {
  const auto last = query(conn, "SELECT MAX(STEPNUMBER) FROM WORKFLOWSTEP" + lineCondition(headerId, lineId));
  const int32_t step = last.values.empty() || last.values[0].isNull() ? 1 : last.values[0].toInt32() + 1;
  conn.execute("INSERT INTO WORKFLOWSTEP (CONTRACTHEADERID, CONTRACTLINEID, STEPNUMBER, ENTRYTYPE, USERID, "
               "DECISION, OUTCOME, STEPTIME) VALUES (" +
               sqlNumberLiteral(headerId) + "," + sqlNumberLiteral(lineId) + "," + sqlNumberLiteral(step) + "," +
               sqlNumberLiteral(entryType) + "," + sqlTextLiteral(userId) + "," +
               (decision ? sqlTextLiteral(*decision) : std::string("NULL")) + "," + sqlTextLiteral(outcome) + "," +
               sqlTextLiteral(ec::Date::now().toSqlText()) + ")");
}

}  // namespace workflow

std::vector<std::string> workflowDdl() {
  return {
      // One row per approver of a chain, in routing order; CATEGORYID NULL for headers
      // without a category.
      "CREATE TABLE IF NOT EXISTS APPROVALCHAIN (CATEGORYID INTEGER, ORDINAL INTEGER NOT NULL, "
      "APPROVER TEXT NOT NULL)",
      // APPROVERS: the chain as a JSON array of user ids; CURRENTPOSITION: index of the
      // current router in it, NULL once the routing has ended.
      "CREATE TABLE IF NOT EXISTS WORKFLOWROUTE (CONTRACTHEADERID INTEGER NOT NULL, CONTRACTLINEID INTEGER NOT NULL, "
      "CATEGORYID INTEGER, APPROVERS TEXT NOT NULL, CURRENTPOSITION INTEGER, ROUTESTATE TEXT NOT NULL, "
      "PRIMARY KEY (CONTRACTHEADERID, CONTRACTLINEID))",
      "CREATE TABLE IF NOT EXISTS WORKFLOWSTEP (CONTRACTHEADERID INTEGER NOT NULL, CONTRACTLINEID INTEGER NOT NULL, "
      "STEPNUMBER INTEGER NOT NULL, ENTRYTYPE INTEGER NOT NULL, USERID TEXT NOT NULL, DECISION TEXT, "
      "OUTCOME TEXT NOT NULL, STEPTIME TEXT NOT NULL, PRIMARY KEY (CONTRACTHEADERID, CONTRACTLINEID, STEPNUMBER))",
  };
}

void readApprovalChains(const SuiteDataReader& L, const json& member, SuiteDataBatch& batch) {
  if (!member.is_array()) L.fail("approvalChains", "expected an array");
  size_t i = 0;
  for (const json& e : member) {
    const std::string w = "approvalChains[" + std::to_string(i++) + "]";
    L.checkEntry(e, w, {"categoryId", "approvers"});
    // Required, so that a forgotten category does not silently replace the chain for
    // headers without one.
    const json* category = L.get(e, w, "categoryId", true);
    const std::optional<int32_t> categoryId =
        category->is_null() ? std::nullopt : std::optional<int32_t>(L.integer(e, w, "categoryId"));
    const json* approvers = L.get(e, w, "approvers", true);
    if (!approvers->is_array()) L.fail(w + ".approvers", "expected an array of user ids");
    SuiteDataBatch::Step s;
    s.deletes.push_back("DELETE FROM APPROVALCHAIN WHERE " + workflow::categoryCondition(categoryId));
    int32_t ordinal = 0;
    for (const json& a : *approvers) {
      const std::string aw = w + ".approvers[" + std::to_string(ordinal) + "]";
      if (!a.is_string() || a.get<std::string>().empty()) L.fail(aw, "expected a non-empty text");
      if (a.get<std::string>().find('\0') != std::string::npos) L.fail(aw, "a text may not hold a NUL character");
      s.rows.push_back({"APPROVALCHAIN", {"CATEGORYID", "ORDINAL", "APPROVER"},
                        {categoryId ? Variant(*categoryId) : Variant::null(), Variant(ordinal),
                         Variant(a.get<std::string>())}});
      ++ordinal;
    }
    batch.steps.push_back(std::move(s));
  }
}

nlohmann::ordered_json workflowReport(const std::string& suiteConnStr, int32_t headerId, int32_t lineId) {
  auto conn = std::make_shared<ec::db::Connection>();
  conn->openUnenlisted(suiteConnStr);
  nlohmann::ordered_json out;
  try {
    const auto route = workflow::loadRoute(*conn, headerId, lineId);
    const auto steps =
        workflow::query(*conn, "SELECT STEPNUMBER, ENTRYTYPE, USERID, DECISION, OUTCOME, STEPTIME FROM WORKFLOWSTEP" +
                                   workflow::lineCondition(headerId, lineId) + " ORDER BY STEPNUMBER");
    out["contractHeaderId"] = headerId;
    out["contractLineId"] = lineId;
    out["state"] = route ? json(route->state) : json(nullptr);
    out["categoryId"] = route && route->categoryId ? json(*route->categoryId) : json(nullptr);
    out["chain"] = route ? json(route->approvers) : json::array();
    out["currentRouter"] =
        route && route->underApproval() ? json(route->approvers.at(*route->position)) : json(nullptr);
    auto history = nlohmann::ordered_json::array();
    const auto text = [](const Variant& v) {
      return v.isNull() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(v.toString());
    };
    for (size_t r = 0; r < steps.rowCount(); ++r) {
      const Variant* row = &steps.values[r * 6];
      nlohmann::ordered_json step;
      step["step"] = row[0].toInt32();
      step["entryType"] = row[1].toInt32();
      step["user"] = row[2].toString();
      step["decision"] = text(row[3]);
      step["outcome"] = row[4].toString();
      step["time"] = row[5].toString();
      history.push_back(std::move(step));
    }
    out["history"] = std::move(history);
  } catch (...) {
    conn->close();
    throw;
  }
  conn->close();
  return out;
}

}  // namespace suite
