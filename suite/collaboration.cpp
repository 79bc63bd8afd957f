#include "suite/collaboration.h"

#include <cstdint>
#include <set>

#include "platform/error.h"
#include "suite/configuration.h"
#include "suite/outbox.h"
#include "suite/sql_literals.h"

namespace suite {

using ec::ArgKind;
using ec::Args;
using ec::Param;
using ec::Variant;
using nlohmann::json;

namespace {

constexpr const char* kSection = "collaboration";
constexpr const char* kMethodOutbox = "outbox";

// The rows of a query on the suite database, through a connection of its own that does not
// take part in the caller's transaction (the services only read).
ec::db::ResultSet suiteRows(const std::string& sql, int64_t maxRows = 0) {
  auto conn = std::make_shared<ec::db::Connection>();
  conn->openUnenlisted(suiteDatabaseConnectionString());
  ec::db::Recordset rs;
  rs.maxRecords = maxRows;
  try {
    rs.open(sql, conn);
  } catch (...) {
    conn->close();
    throw;
  }
  ec::db::ResultSet result = rs.result();
  rs.close();
  conn->close();
  return result;
}

bool anyRow(const std::string& sql) { return suiteRows(sql, 1).rowCount() > 0; }

// A required non-empty text member.
std::string nonEmptyText(const SuiteDataReader& r, const json& e, const std::string& where, const char* key) {
  std::string s = *r.str(e, where, key, true);
  if (s.empty()) r.fail(where + "." + key, "expected a non-empty text");
  return s;
}

const json& list(const SuiteDataReader& r, const json& member, const char* name) {
  static const json kEmpty = json::array();
  auto it = member.find(name);
  if (it == member.end()) return kEmpty;
  if (!it->is_array()) r.fail(std::string(kSection) + "." + name, "expected an array");
  return *it;
}

}  // namespace

void readCollaboration(const SuiteDataReader& r, const json& member, SuiteDataBatch& batch) {
  r.checkEntry(member, kSection, {"publishers", "sendMethods", "distributionLists"});
  const auto where = [](const char* list, size_t i) {
    return std::string(kSection) + "." + list + "[" + std::to_string(i) + "]";
  };
  size_t i = 0;
  for (const json& e : list(r, member, "publishers")) {
    const std::string w = where("publishers", i++);
    r.checkEntry(e, w, {"documentType", "users"});
    const std::string type = nonEmptyText(r, e, w, "documentType");
    const json* users = r.get(e, w, "users", true);
    if (!users->is_array()) r.fail(w + ".users", "expected an array of user ids");
    SuiteDataBatch::Step s;
    s.deletes.push_back("DELETE FROM COLLABPUBLISHER WHERE DOCUMENTTYPE=" + sqlTextLiteral(type));
    std::set<std::string> seen;
    for (size_t u = 0; u < users->size(); ++u) {
      const json& user = (*users)[u];
      const std::string uw = w + ".users[" + std::to_string(u) + "]";
      if (!user.is_string() || user.get<std::string>().empty()) r.fail(uw, "expected a non-empty text");
      const std::string id = user.get<std::string>();
      if (id.find('\0') != std::string::npos) r.fail(uw, "a text may not hold a NUL character");
      if (seen.insert(id).second)
        s.rows.push_back({"COLLABPUBLISHER", {"DOCUMENTTYPE", "USERID"}, {Variant(type), Variant(id)}});
    }
    batch.steps.push_back(std::move(s));
  }
  i = 0;
  for (const json& e : list(r, member, "sendMethods")) {
    const std::string w = where("sendMethods", i++);
    r.checkEntry(e, w, {"businessPartnerId", "documentType", "method", "enabled"});
    const int32_t partner = r.integer(e, w, "businessPartnerId");
    const std::string type = nonEmptyText(r, e, w, "documentType");
    const std::string method = nonEmptyText(r, e, w, "method");
    if (method != kMethodOutbox) r.fail(w + ".method", "expected \"outbox\", the method the publisher delivers by");
    bool enabled = true;
    if (const json* en = r.get(e, w, "enabled", false)) {
      if (!en->is_boolean()) r.fail(w + ".enabled", "expected true or false");
      enabled = en->get<bool>();
    }
    SuiteDataBatch::Step s;
    s.deletes.push_back("DELETE FROM COLLABSENDMETHOD WHERE BUSINESSPARTNERID=" + sqlNumberLiteral(partner) +
                        " AND DOCUMENTTYPE=" + sqlTextLiteral(type) + " AND METHOD=" + sqlTextLiteral(method));
    s.rows.push_back({"COLLABSENDMETHOD",
                      {"BUSINESSPARTNERID", "DOCUMENTTYPE", "METHOD", "ENABLED"},
                      {Variant(partner), Variant(type), Variant(method), Variant(int32_t{enabled ? 1 : 0})}});
    batch.steps.push_back(std::move(s));
  }
  i = 0;
  for (const json& e : list(r, member, "distributionLists")) {
    const std::string w = where("distributionLists", i++);
    r.checkEntry(e, w, {"documentType", "businessPartners"});
    const std::string type = nonEmptyText(r, e, w, "documentType");
    const json* partners = r.get(e, w, "businessPartners", true);
    if (!partners->is_array()) r.fail(w + ".businessPartners", "expected an array of partner ids");
    SuiteDataBatch::Step s;
    s.deletes.push_back("DELETE FROM COLLABDISTRIBUTION WHERE DOCUMENTTYPE=" + sqlTextLiteral(type));
    std::set<int32_t> seen;
    for (size_t p = 0; p < partners->size(); ++p) {
      const json& v = (*partners)[p];
      if (!v.is_number_integer() || v.get<int64_t>() < INT32_MIN || v.get<int64_t>() > INT32_MAX ||
          (v.is_number_unsigned() && v.get<uint64_t>() > INT32_MAX))
        r.fail(w + ".businessPartners[" + std::to_string(p) + "]", "expected an integer of 32 bits");
      const int32_t id = static_cast<int32_t>(v.get<int64_t>());
      if (seen.insert(id).second)
        s.rows.push_back({"COLLABDISTRIBUTION", {"DOCUMENTTYPE", "BUSINESSPARTNERID"}, {Variant(type), Variant(id)}});
    }
    batch.steps.push_back(std::move(s));
  }
}

std::vector<std::string> collaborationDdl() {
  return {
      "CREATE TABLE IF NOT EXISTS COLLABPUBLISHER (DOCUMENTTYPE TEXT NOT NULL, USERID TEXT NOT NULL, "
      "PRIMARY KEY (DOCUMENTTYPE, USERID))",
      // ENABLED is 1 or 0.
      "CREATE TABLE IF NOT EXISTS COLLABSENDMETHOD (BUSINESSPARTNERID INTEGER NOT NULL, DOCUMENTTYPE TEXT NOT NULL, "
      "METHOD TEXT NOT NULL, ENABLED INTEGER NOT NULL, PRIMARY KEY (BUSINESSPARTNERID, DOCUMENTTYPE, METHOD))",
      "CREATE TABLE IF NOT EXISTS COLLABDISTRIBUTION (DOCUMENTTYPE TEXT NOT NULL, BUSINESSPARTNERID INTEGER NOT NULL, "
      "PRIMARY KEY (DOCUMENTTYPE, BUSINESSPARTNERID))",
  };
}

// ---------------------------------------------------------------------------------------

const ec::ClassInfo& SenderList::info() {
  static const ec::ClassInfo ci = [] {
    ec::ClassInfo c(kSenderListClass, kSenderListClassId, false, "Who may publish which document type");
    c.op<SenderList>(
        "MayPublish", {Param::in("DocumentType", ArgKind::String), Param::in("UserID", ArgKind::String)},
        ArgKind::Bool, [](SenderList& s, Args& a) { return Variant(s.MayPublish(a[0].str(), a[1].str())); },
        "True when the user may publish documents of the type");
    return c;
  }();
  return ci;
}

bool SenderList::MayPublish(const std::string& documentType, const std::string& userId) {
  return anyRow("SELECT 1 FROM COLLABPUBLISHER WHERE DOCUMENTTYPE=" + sqlTextLiteral(documentType) +
                " AND USERID=" + sqlTextLiteral(userId));
}

const ec::ClassInfo& SendMethod::info() {
  static const ec::ClassInfo ci = [] {
    ec::ClassInfo c(kSendMethodClass, kSendMethodClassId, false, "How business partners receive documents");
    c.op<SendMethod>(
        "GetSendMethods",
        {Param::in("BusinessPartnerID", ArgKind::Long), Param::in("DocumentType", ArgKind::String),
         Param::opt(Param::in("EnabledOnly", ArgKind::Bool), Variant(true))},
        ArgKind::Object,
        [](SendMethod& s, Args& a) {
          auto rs = s.GetSendMethods(a[0].toInt32(), a[1].str(), a[2].toBool());
          return rs ? Variant(rs) : Variant::nothing();
        },
        "The partner's send methods for the document type (a cursor), or nothing when it has none");
    return c;
  }();
  return ci;
}

std::shared_ptr<ec::db::Recordset> SendMethod::GetSendMethods(int32_t businessPartnerId,
                                                              const std::string& documentType, bool enabledOnly) {
  const ec::db::ResultSet stored =
      suiteRows("SELECT METHOD, ENABLED FROM COLLABSENDMETHOD WHERE BUSINESSPARTNERID=" +
                sqlNumberLiteral(businessPartnerId) + " AND DOCUMENTTYPE=" + sqlTextLiteral(documentType) +
                " ORDER BY METHOD");
  if (stored.rowCount() == 0) return nullptr;
  ec::db::ResultSet out;
  out.columns = {"BUSINESSPARTNERID", "DOCUMENTTYPE", "METHOD", "ENABLED"};
  out.kinds = {ec::db::ColumnKind::Integer, ec::db::ColumnKind::Text, ec::db::ColumnKind::Text,
               ec::db::ColumnKind::Bool};
  for (size_t r = 0; r < stored.rowCount(); ++r) {
    const bool enabled = stored.values[r * 2 + 1].toInt32() != 0;
    if (enabledOnly && !enabled) continue;
    for (Variant v : {Variant(businessPartnerId), Variant(documentType), stored.values[r * 2], Variant(enabled)})
      out.values.push_back(std::move(v));
  }
  return ec::db::Recordset::fromResult(std::move(out));
}

const ec::ClassInfo& DistributionList::info() {
  static const ec::ClassInfo ci = [] {
    ec::ClassInfo c(kDistributionListClass, kDistributionListClassId, false,
                    "Which business partners a document type is distributed to");
    c.op<DistributionList>(
        "IsInDistributionList", {Param::in("DocumentType", ArgKind::String), Param::in("BusinessPartnerID", ArgKind::Long)},
        ArgKind::Bool,
        [](DistributionList& d, Args& a) { return Variant(d.IsInDistributionList(a[0].str(), a[1].toInt32())); },
        "True when the partner is in the distribution list of the document type");
    return c;
  }();
  return ci;
}

bool DistributionList::IsInDistributionList(const std::string& documentType, int32_t businessPartnerId) {
  return anyRow("SELECT 1 FROM COLLABDISTRIBUTION WHERE DOCUMENTTYPE=" + sqlTextLiteral(documentType) +
                " AND BUSINESSPARTNERID=" + sqlNumberLiteral(businessPartnerId));
}

void RegisterCollaboration(ec::Host& host) {
  host.registerClass(kSenderListClass, kSenderListClassId, [] { return std::make_shared<SenderList>(); },
                     &SenderList::info());
  host.registerClass(kSendMethodClass, kSendMethodClassId, [] { return std::make_shared<SendMethod>(); },
                     &SendMethod::info());
  host.registerClass(kDistributionListClass, kDistributionListClassId,
                     [] { return std::make_shared<DistributionList>(); }, &DistributionList::info());
  host.registerClass(kPrivateOfferPublisherClass, kPrivateOfferPublisherClassId,
                     [] { return std::make_shared<PrivateOfferPublisher>(); }, &PrivateOfferPublisher::info());
}

}  // namespace suite
