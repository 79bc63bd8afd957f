// Connection opening and closing, component creation and the transaction vote.
#include "suite/interfaces.h"
#include "utilities/econtract_utilities.h"
#include "utilities/module_internal.h"

namespace EContractUtilities {

namespace {

constexpr const char* kStoreSourcing = "VSource";
constexpr const char* kStoreProcurement = "VProcurement";
constexpr const char* kConnectionName = "EContract";
constexpr const char* kSettingsSection = "CONNECTIONS";
constexpr const char* kCommandTimeoutKey = "EContractConnection_CommandTimeout";
constexpr const char* kConnectionTimeoutKey = "EContractConnection_ConnectionTimeout";
constexpr const char* kIsolationStatement = "SET TRANSACTION ISOLATION LEVEL READ COMMITTED";
constexpr const char* kNoStore1 = "The Contract Connection string is not available.";
constexpr const char* kNoStore2 = " Neither the Sourcing nor the Procurement Configuration Store could be found.";
constexpr const char* kNoStore3 = " Please check if these stores are available.";

// A time-out setting in whole seconds. 0 waits without limit; a negative number would be
// taken the same way by the database and is refused instead, naming the setting.
int timeoutSetting(suite::IConfiguration& cfg, const char* key) {
  const int32_t seconds = cfg.GetSetting(kSettingsSection, key).toInt32();
  if (seconds < 0)
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, "",
                   std::string("The time-out setting ") + kSettingsSection + "." + key + " is " +
                       std::to_string(seconds) + "; it must be 0 (no limit) or a number of seconds");
  return seconds;
}

}  // namespace

namespace detail {

void selectContractStore(suite::IConfiguration& cfg) {
  if (cfg.StoreExists(kStoreSourcing))
    cfg.SelectStore(kStoreSourcing, 0);
  else if (cfg.StoreExists(kStoreProcurement))
    cfg.SelectStore(kStoreProcurement, 0);
  else
    ec::raiseError(ec::errors::kNoConfigurationStore, "", std::string(kNoStore1) + kNoStore2 + kNoStore3);
}

void discard(std::shared_ptr<ec::db::Connection>& conn) noexcept {
  try {
    if (conn && conn->state() == ec::db::ObjectState::Open) conn->close();
  } catch (...) {
  }
  conn.reset();
}

void discard(std::shared_ptr<ec::db::Recordset>& rs) noexcept {
  try {
    if (rs && rs->state() == ec::db::ObjectState::Open) rs->close();
  } catch (...) {
  }
  rs.reset();
}

}  // namespace detail

std::shared_ptr<ec::db::Connection> GetSourceConnection() {
  const bool report = !InFailurePath();
  std::shared_ptr<suite::IConfiguration> cfg;
  std::shared_ptr<ec::db::Connection> conn;
  try {
    cfg = GetComponentAs<suite::IConfiguration>(suite::kConfigurationClass);
    detail::selectContractStore(*cfg);
    conn = std::make_shared<ec::db::Connection>();
    conn->connectionString = cfg->GetConnectionString(kConnectionName);
    // No default: a missing setting (Null) or a text that is no number fails the conversion.
    conn->commandTimeout = timeoutSetting(*cfg, kCommandTimeoutKey);
    conn->connectionTimeout = timeoutSetting(*cfg, kConnectionTimeoutKey);
    conn->open("", "", "");
    conn->execute(kIsolationStatement);
    cfg.reset();
    return conn;
  } catch (...) {
    cfg.reset();
    detail::discard(conn);
    detail::failed(report, "EContractUtilities.GetSourceConnection");
  }
}

void CloseConnection(std::shared_ptr<ec::db::Connection>& conn) {
  const bool report = !InFailurePath();
  try {
    if (conn && conn->state() == ec::db::ObjectState::Open) conn->close();
    conn.reset();
  } catch (...) {
    conn.reset();
    detail::failed(report, "EContractUtilities.CloseConnection");
  }
}

void CloseRecordset(std::shared_ptr<ec::db::Recordset>& rs) {
  const bool report = !InFailurePath();
  try {
    if (rs && rs->state() == ec::db::ObjectState::Open) rs->close();
    rs.reset();
  } catch (...) {
    rs.reset();
    detail::failed(report, "VSourceUtilities.CloseRecordset");
  }
}

std::shared_ptr<ec::Component> GetComponent(const std::string& name) {
  const bool report = !InFailurePath();
  try {
    ec::ObjectContext* ctx = ec::ObjectContext::current();
    return ctx ? ctx->createInstance(name) : ec::Host::instance().create(name);
  } catch (...) {
    const std::string info =
        ec::ObjectContext::current()
            ? "CreateInstance(" + name + ") failed." + "\r\n" +
                  "Note: Objects having 'Instancing=PublicNotCreatable' may only be instantiated with 'New', not "
                  "with GetComponent()"
            : "CreateObject(" + name + ") failed";
    detail::failed(report, "VSourceUtilies.GetComponent", Variant(info));
  }
}

void VoteCommit() {
  if (ec::ObjectContext* ctx = ec::ObjectContext::current()) ctx->setComplete();
}

void VoteAbort() {
  if (ec::ObjectContext* ctx = ec::ObjectContext::current()) ctx->setAbort();
}

}  // namespace EContractUtilities
