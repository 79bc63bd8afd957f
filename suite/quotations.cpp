#include "suite/quotations.h"

#include <memory>

#include "platform/db/db.h"
#include "platform/error.h"
#include "suite/configuration.h"
#include "suite/sql_literals.h"

namespace suite {

using ec::ArgKind;
using ec::Args;
using ec::Param;
using ec::Variant;
using nlohmann::json;

namespace {

// Runs work on a connection to the suite database that joins the caller's transaction.
template <class F>
auto onSuiteDatabase(F&& work) {
  auto conn = std::make_shared<ec::db::Connection>();
  conn->open(suiteDatabaseConnectionString());
  try {
    auto result = work(*conn);
    conn->close();
    return result;
  } catch (...) {
    conn->close();
    throw;
  }
}

// CRTUPDATED of the quotation; Invalid procedure call naming it when it is not known.
bool crtUpdated(ec::db::Connection& conn, int32_t quotationId, const char* source) {
  auto rs = conn.executeQuery("SELECT CRTUPDATED FROM QUOTATION WHERE QUOTATIONID=" + sqlNumberLiteral(quotationId));
  const bool known = !rs->eof();
  const bool updated = known && rs->field(0).toInt32() != 0;
  rs->close();
  if (!known)
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, source,
                   "Unknown quotation " + std::to_string(quotationId));
  return updated;
}

}  // namespace

const ec::ClassInfo& Quotation::info() {
  static const ec::ClassInfo ci = [] {
    ec::ClassInfo c(kQuotationClass, kQuotationClassId, false, "Supplier quotations of the exchange");
    c.op<Quotation>(
        "CRTUpdatedForQuotation", {Param::in("i_lQuotationId", ArgKind::Long)}, ArgKind::Bool,
        [](Quotation& q, Args& a) { return Variant(q.CRTUpdatedForQuotation(a[0].toInt32())); },
        "True once the quotation's contract result has been recorded");
    return c;
  }();
  return ci;
}

bool Quotation::CRTUpdatedForQuotation(int32_t quotationId) {
  return onSuiteDatabase([&](ec::db::Connection& conn) { return crtUpdated(conn, quotationId, kQuotationClass); });
}

const ec::ClassInfo& DecisionResult::info() {
  static const ec::ClassInfo ci = [] {
    ec::ClassInfo c(kDecisionResultClass, kDecisionResultClassId, true, "Results decided on quotations");
    c.sub<DecisionResult>(
        "UpdateCRT",
        {Param::in("i_lQuotationId", ArgKind::Long), Param::in("i_nResultType", ArgKind::Long),
         Param::in("i_lProductId", ArgKind::Long)},
        [](DecisionResult& d, Args& a) { d.UpdateCRT(a[0].toInt32(), a[1].toInt32(), a[2].toInt32()); },
        "Records the result of a quotation");
    return c;
  }();
  return ci;
}

void DecisionResult::UpdateCRT(int32_t quotationId, int32_t resultType, int32_t productId) {
  onSuiteDatabase([&](ec::db::Connection& conn) {
    crtUpdated(conn, quotationId, kDecisionResultClass);
    const std::string id = sqlNumberLiteral(quotationId);
    auto last = conn.executeQuery("SELECT MAX(RESULTNUMBER) FROM QUOTATIONRESULT WHERE QUOTATIONID=" + id);
    const Variant max = last->field(0);
    last->close();
    const int32_t number = max.isNull() ? 1 : max.toInt32() + 1;
    conn.execute("INSERT INTO QUOTATIONRESULT (QUOTATIONID, RESULTNUMBER, RESULTTYPE, PRODUCTID, RECORDEDAT) VALUES (" +
                 id + "," + sqlNumberLiteral(number) + "," + sqlNumberLiteral(resultType) + "," +
                 sqlNumberLiteral(productId) + "," + sqlTextLiteral(ec::Date::now().toSqlText()) + ")");
    conn.execute("UPDATE QUOTATION SET CRTUPDATED=1 WHERE QUOTATIONID=" + id);
    return true;
  });
}

std::vector<std::string> quotationDdl() {
  return {
      "CREATE TABLE IF NOT EXISTS QUOTATION (QUOTATIONID INTEGER PRIMARY KEY, CRTUPDATED INTEGER NOT NULL)",
      "CREATE TABLE IF NOT EXISTS QUOTATIONRESULT (QUOTATIONID INTEGER NOT NULL, RESULTNUMBER INTEGER NOT NULL, "
      "RESULTTYPE INTEGER NOT NULL, PRODUCTID INTEGER NOT NULL, RECORDEDAT TEXT NOT NULL, "
      "PRIMARY KEY (QUOTATIONID, RESULTNUMBER))",
  };
}

void readQuotations(const SuiteDataReader& L, const json& member, SuiteDataBatch& batch) {
  if (!member.is_array()) L.fail("quotations", "expected an array");
  size_t i = 0;
  for (const json& e : member) {
    const std::string w = "quotations[" + std::to_string(i++) + "]";
    L.checkEntry(e, w, {"id", "crtUpdated"});
    const int32_t id = L.integer(e, w, "id");
    bool updated = false;
    if (const json* flag = L.get(e, w, "crtUpdated", false)) {
      if (!flag->is_boolean()) L.fail(w + ".crtUpdated", "expected true or false");
      updated = flag->get<bool>();
    }
    SuiteDataBatch::Step s;
    s.deletes.push_back("DELETE FROM QUOTATION WHERE QUOTATIONID=" + sqlNumberLiteral(id));
    s.rows.push_back({"QUOTATION", {"QUOTATIONID", "CRTUPDATED"}, {Variant(id), Variant(updated ? 1 : 0)}});
    batch.steps.push_back(std::move(s));
  }
}

}  // namespace suite
