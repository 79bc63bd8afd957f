// Attachments: the file name of a stored document, folder creation under the attachment
// root, and the declaration of the attachment operations to the host (the operations
// themselves are in attachments_rows.cpp, attachments_header.cpp and attachments_line.cpp).
#include "maintenance/attachment_store.h"
#include "maintenance/contract.h"
#include "maintenance/contract_areas.h"
#include "maintenance/messages.h"
#include "maintenance/support.h"
#include "platform/db/db.h"
#include "utilities/econtract_utilities.h"
#include "utilities/sql_text.h"

namespace TQSourceContractMTS {

using namespace EContractUtilities;
using ec::Variant;

namespace {

constexpr const char* kSelectFilePath = "SELECT FILEPATH FROM ";
constexpr const char* kWhereAttachmentId = " WHERE ATTACHMENTID = ";
constexpr const char* kAndRevision = " AND REVISIONNUMBER =";

}  // namespace

std::string Contract::getfileName(int32_t i_lAttachmentId, const std::string& i_sTableName,
                                  const Variant& i_lRevisionNumber) {
  std::shared_ptr<suite::ILiteralFormatter> fmt;
  std::shared_ptr<ec::db::Connection> conn;
  std::shared_ptr<ec::db::Recordset> rs;
  try {
    fmt = GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);
    conn = GetSourceConnection();
    // The table name is spliced into the statement: only a plain name is taken.
    std::string sql = kSelectFilePath + PlainTableName(i_sTableName) + kWhereAttachmentId +
                      fmt->FormatSQLNumber(i_lAttachmentId);
    // Null, or no revision at all, reads the document's first row of any revision.
    if (!i_lRevisionNumber.isNull() && !i_lRevisionNumber.isMissing())
      sql += kAndRevision + fmt->FormatSQLNumber(i_lRevisionNumber.toInt32());
    rs = std::make_shared<ec::db::Recordset>();
    rs->maxRecords = 1;
    rs->open(sql, conn, ec::db::CursorType::ForwardOnly, ec::db::LockType::ReadOnly);
    const std::string name = rs->eof() ? std::string() : detail::columnText(rs->field(0));
    rs.reset();
    CloseConnection(conn);
    fmt.reset();
    return name;
  } catch (...) {
    FailureExit(text::kMethodGetFileName, [&] {
      rs.reset();
      CloseConnection(conn);
      fmt.reset();
    });
    return {};
  }
}

void Contract::CreateFolderIfNotExists(const std::string& i_sFilePath) {
  try {
    const detail::AttachmentStore store;
    const std::string folder = store.root() + "\\" + i_sFilePath;
    store.requireInside(folder, "i_sFilePath");
    store.createFolders({folder});
  } catch (...) {
    FailureExit(text::kMethodCreateFolderIfNotExists, [] {});
  }
}

namespace detail {

void declareAttachmentOperations(ec::ClassInfo& ci) {
  using ec::ArgKind;
  using ec::Args;
  using ec::Param;
  const auto hdr = [] { return Param::in("i_lContractHeaderID", ArgKind::Long); };
  const auto line = [] { return Param::in("i_lContractLineId", ArgKind::Long); };
  const auto fileDetail = [] { return Param::in("i_oDicFileDetail", ArgKind::Dictionary); };
  const auto action = [] { return Param::in("i_nAction", ArgKind::Long); };
  const auto attachments = [] { return Param::opt(Param::in("i_oDicAttachments", ArgKind::Dictionary)); };
  const auto attFilePath = [] { return Param::opt(Param::ref("o_sAttFilePath", ArgKind::String)); };
  const auto dic = [](const Variant& v) { return v.objectAs<ec::Dictionary>(); };

  ci.sub<Contract>(
      "InsertContractAttachment",
      {Param::in("i_sAttachmentDescription", ArgKind::String), line(), hdr(),
       Param::in("i_sAttachmentTypeCode", ArgKind::String), Param::in("i_bInternal", ArgKind::Bool),
       Param::in("i_nAttachmentStatus", ArgKind::Long), Param::in("i_sFilePath", ArgKind::String),
       Param::opt(Param::in("i_lAttachmentId", ArgKind::Variant))},
      [](Contract& c, Args& a) {
        c.InsertContractAttachment(a[0].str(), a[1].toInt32(), a[2].toInt32(), a[3].str(), a[4].toBool(),
                                   a[5].toInt32(), a[6].str(), a[7]);
      },
      "Stores an attachment row: a new document, or the next revision of i_lAttachmentId");
  ci.sub<Contract>(
      "UpdateDeleteContractAttachment",
      {Param::in("i_lAttachmentId", ArgKind::Long), Param::in("i_lRevisionNumber", ArgKind::Long),
       Param::in("i_sAttachmentDescription", ArgKind::String), line(), hdr(),
       Param::in("i_sAttachmentTypeCode", ArgKind::String), Param::in("i_bInternal", ArgKind::Bool),
       Param::in("i_nAttachmentStatus", ArgKind::Long), Param::in("i_sFilePath", ArgKind::String),
       Param::in("i_nMaintainType", ArgKind::Long)},
      [](Contract& c, Args& a) {
        c.UpdateDeleteContractAttachment(a[0].toInt32(), a[1].toInt32(), a[2].str(), a[3].toInt32(), a[4].toInt32(),
                                         a[5].str(), a[6].toBool(), a[7].toInt32(), a[8].str(), a[9].toInt32());
      },
      "Updates or deletes one attachment revision (rows only)");
  ci.sub<Contract>(
      "UpdateContractAttachmentStatus",
      {hdr(), line(), Param::in("i_nToStatus", ArgKind::Long),
       Param::opt(Param::in("i_lAttachmentId", ArgKind::Variant)),
       Param::opt(Param::in("i_lRevisionNumber", ArgKind::Variant))},
      [](Contract& c, Args& a) { c.UpdateContractAttachmentStatus(a[0].toInt32(), a[1].toInt32(), a[2].toInt32(), a[3], a[4]); },
      "Sets a line's attachments Active or expired with the line");
  ci.sub<Contract>(
      "AddUpdateDeleteHeaderAttachments",
      {hdr(), fileDetail(), action(), Param::opt(Param::in("i_lAttId", ArgKind::Long)), attachments(), attFilePath()},
      [dic](Contract& c, Args& a) {
        c.AddUpdateDeleteHeaderAttachments(a[0].toInt32(), dic(a[1]), a[2].toInt32(), a[3], a[4], a[5]);
      },
      "Attaches, revises, detaches, activates, expires or retypes header documents with their files");
  ci.sub<Contract>(
      "AddRemoveLineAttachments",
      {hdr(), line(), fileDetail(), action(), attachments(), attFilePath(),
       Param::opt(Param::in("i_sOldFilePath", ArgKind::String))},
      [dic](Contract& c, Args& a) {
        c.AddRemoveLineAttachments(a[0].toInt32(), a[1].toInt32(), dic(a[2]), a[3].toInt32(), a[4], a[5], a[6]);
      },
      "Attaches, detaches or retypes line documents with their files");
  ci.op<Contract>(
      "getfileName",
      {Param::in("i_lAttachmentId", ArgKind::Long), Param::in("i_sTableName", ArgKind::String),
       Param::opt(Param::in("i_lRevisionNumber", ArgKind::Variant))},
      ArgKind::String, [](Contract& c, Args& a) { return Variant(c.getfileName(a[0].toInt32(), a[1].str(), a[2])); },
      "The stored file name of a document (empty when there is none)");
  ci.sub<Contract>(
      "CreateFolderIfNotExists", {Param::in("i_sFilePath", ArgKind::String)},
      [](Contract& c, Args& a) { c.CreateFolderIfNotExists(a[0].str()); },
      "Creates a folder (one level) under the attachment root");
}

}  // namespace detail

}  // namespace TQSourceContractMTS
