// The module EContractUtilities: connection opening and closing, component creation, the
// transaction vote, the common error report, the generic table writers and the existence
// checks that every operation of both component libraries goes through.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/db.h"
#include "platform/dictionary.h"
#include "platform/error.h"
#include "platform/host.h"
#include "platform/safearray.h"
#include "platform/variant.h"
#include "suite/interfaces.h"

namespace EContractUtilities {

using ec::Variant;

// Opens a connection to the contract database from the configuration store ("VSource",
// else "VProcurement"), with its time-outs, at READ COMMITTED.
std::shared_ptr<ec::db::Connection> GetSourceConnection();
// Closes the connection when it is open and clears the reference in every case.
void CloseConnection(std::shared_ptr<ec::db::Connection>& conn);
void CloseRecordset(std::shared_ptr<ec::db::Recordset>& rs);

// Creates a component by name, inside the current transaction context when there is one.
std::shared_ptr<ec::Component> GetComponent(const std::string& name);
template <class I>
std::shared_ptr<I> GetComponentAs(const std::string& name) {
  auto c = GetComponent(name);
  auto p = std::dynamic_pointer_cast<I>(c);
  if (!p)
    ec::raiseError(ec::platform_errors::kTypeMismatch, name,
                   "The component " + name + " does not provide the interface the caller needs");
  return p;
}

void VoteCommit();
void VoteAbort();

// CR LF "ERROR 0x" N CR LF " METHOD: " method CR LF " DESC: " description "." CR LF
// [" INFO: " information "." CR LF].
std::string FormatErrorText(const std::string& description, int32_t number, const std::string& method,
                            const Variant& information = Variant::missing());

// The common error handler. Called inside a catch block: logs the error in flight through
// the suite log and raises it again with the error text as description. With no error in
// flight, or an error number 0, it returns without doing anything.
void ReportError(const std::string& method, const Variant& information = Variant::missing());

// Marks this thread as running a failure path for the lifetime of the object. While it is
// set, the routines of this module do not report their own failures: they pass straight
// to the caller.
class FailurePath {
 public:
  FailurePath();
  ~FailurePath();
  FailurePath(const FailurePath&) = delete;
  FailurePath& operator=(const FailurePath&) = delete;
};
bool InFailurePath();

// The failure path of a public operation, called inside its catch block: runs the clean-up
// (release, close, vote abort) while the thread is marked as on a failure path, then
// reports the error in flight, which logs it and raises it again.
//   catch (...) { FailureExit(kMethod, [&] { CloseConnection(conn); VoteAbort(); }); return {}; }
template <class Cleanup>
void FailureExit(const std::string& method, Cleanup&& cleanup, const Variant& information = Variant::missing()) {
  FailurePath failurePath;
  cleanup();
  ReportError(method, information);
}

// Generic table writers: one statement built from the dictionaries, executed on conn.
void InsertTable(const std::string& table, const ec::Dictionary& values, ec::db::Connection& conn);
void UpdateTable(const std::string& table, const ec::Dictionary& values, const ec::Dictionary& keys,
                 ec::db::Connection& conn);
void DeleteTable(const std::string& table, const ec::Dictionary& keys, ec::db::Connection& conn);

// Existence checks, each on a connection of its own.
bool CheckIfExistsInTable(const std::string& table, const ec::SafeArray& names, const ec::SafeArray& values,
                          const ec::SafeArray& textFlags);
bool CheckIfExistsWithSql(const std::string& sql);
int32_t GetNextContractLineId(int32_t contractHeaderId);

// The attachment store. The root folder of the attachment tree from the configuration store
// ("VSource", else "VProcurement"), without a trailing separator; a relative root is taken
// from the current folder.
std::string GetAttachmentRoot();
// The folders outside the root that documents may be copied from (the store's
// "importFolders"; none when absent).
std::vector<std::string> GetAttachmentImportFolders();
// Deletes from the folder, for each name in turn, the first file of that name ignoring case
// (even when read-only), then the folder itself when it holds no file and no sub-folder;
// nothing when the folder does not exist. Inside a root call the deletions join its
// transaction.
void DeleteAttachmentsFromFolder(const std::string& folder, const ec::SafeArray& names);

// The maintenance class's private ExistsInTable: the key dictionary as parallel arrays.
bool ExistsInTable(const std::string& table, const ec::Dictionary& keys);

}  // namespace EContractUtilities
