// Row maintenance of contract attachments: a new document or revision, update and delete of
// one revision, and the status of a line's attachments following the line's status. None
// of these touches a file.
#include "maintenance/attachment_store.h"
#include "maintenance/contract.h"
#include "maintenance/messages.h"
#include "maintenance/support.h"
#include "platform/db/db.h"
#include "schema/enums.h"
#include "utilities/econtract_utilities.h"

namespace TQSourceContractMTS {

using namespace EContractUtilities;
using detail::onNewConnection;
using ec::Variant;
namespace errors = ec::errors;
namespace EMaintainType = schema::EMaintainType;

namespace {

constexpr const char* kSelectAllAttachments = "SELECT * FROM CONTRACTATTACHMENT ORDER BY ATTACHMENTID ASC";
constexpr const char* kSelectAttachment = "SELECT * FROM CONTRACTATTACHMENT";
constexpr const char* kWhereAttachmentId = " WHERE ATTACHMENTID = ";
constexpr const char* kOrderByRevisionDesc = " ORDER BY REVISIONNUMBER DESC";
constexpr const char* kSelectLineAttachments =
    "SELECT CONTRACTHEADERID,CONTRACTLINEID,ATTACHMENTID,REVISIONNUMBER,ATTACHMENTSTATUS";
constexpr const char* kFromAttachments = " FROM CONTRACTATTACHMENT";
constexpr const char* kWhereLine = " WHERE CONTRACTLINEID=";
constexpr const char* kAndHeader = " AND CONTRACTHEADERID=";
constexpr const char* kSetStatus = "UPDATE CONTRACTATTACHMENT SET ATTACHMENTSTATUS =";
constexpr const char* kSetStatusWhereLine = " WHERE CONTRACTLINEID = ";
constexpr const char* kSetStatusAndAttachment = " AND ATTACHMENTID =";
constexpr const char* kSetStatusAndRevision = " AND REVISIONNUMBER =";

constexpr const char* kColAttachmentId = "ATTACHMENTID";
constexpr const char* kColRevision = "REVISIONNUMBER";
constexpr const char* kColDescription = "DESCRIPTION";
constexpr const char* kColTypeCode = "ATTACHMENTTYPECODE";
constexpr const char* kColInternal = "INTERNAL";
constexpr const char* kColStatus = "ATTACHMENTSTATUS";
constexpr const char* kColFilePath = "FILEPATH";

// A header attachment is one without a line: line 0 is stored as NULL, so that it is found
// with CONTRACTLINEID IS NULL.
Variant lineColumn(int32_t lineId) { return lineId == 0 ? Variant::null() : Variant(lineId); }

}  // namespace

void Contract::InsertContractAttachment(const std::string& i_sAttachmentDescription, int32_t i_lContractLineId,
                                        int32_t i_lContractHeaderID, const std::string& i_sAttachmentTypeCode,
                                        bool i_bInternal, int32_t i_nAttachmentStatus, const std::string& i_sFilePath,
                                        const Variant& i_lAttachmentId) {
  std::shared_ptr<suite::ILiteralFormatter> fmt;
  std::shared_ptr<ec::db::Connection> conn;
  std::shared_ptr<ec::db::Recordset> rs;
  try {
    fmt = GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);
    conn = GetSourceConnection();
    rs = std::make_shared<ec::db::Recordset>();
    int32_t id = 0;
    int32_t revision = 0;
    bool add = true;
    // The same allocation locks as the document operations take (attachment_store.cpp).
    conn->lockAllocation(text::kTableAttachment, i_lAttachmentId.isMissing() ? 0 : i_lAttachmentId.toInt32());
    if (i_lAttachmentId.isMissing()) {
      rs->open(kSelectAllAttachments, conn, ec::db::CursorType::Keyset, ec::db::LockType::Optimistic);
      Variant last = Variant::null();
      for (; !rs->eof(); rs->moveNext()) last = rs->field(kColAttachmentId);
      id = last.isNull() ? 1 : detail::nextNumber(last);
    } else {
      // A new revision of the document: one more than its highest.
      id = i_lAttachmentId.toInt32();
      rs->maxRecords = 1;
      rs->open(std::string(kSelectAttachment) + kWhereAttachmentId + fmt->FormatSQLNumber(id) + kOrderByRevisionDesc,
               conn, ec::db::CursorType::Keyset, ec::db::LockType::Optimistic);
      add = !rs->eof();
      if (add) revision = detail::nextNumber(rs->field(kColRevision));
    }
    if (add) {
      rs->addNew();
      rs->setField(kColAttachmentId, id);
      rs->setField(kColDescription, i_sAttachmentDescription);
      rs->setField(text::kColLineId, lineColumn(i_lContractLineId));
      rs->setField(text::kColHeaderId, i_lContractHeaderID);
      rs->setField(kColTypeCode, i_sAttachmentTypeCode);
      rs->setField(kColInternal, i_bInternal);
      rs->setField(kColStatus, i_nAttachmentStatus);
      rs->setField(kColFilePath, i_sFilePath);
      rs->setField(kColRevision, revision);
      rs->update();
    }
    CloseConnection(conn);
    VoteCommit();
    rs.reset();
    fmt.reset();
  } catch (...) {
    FailureExit(text::kMethodInsertContractAttachment, [&] {
      CloseConnection(conn);
      VoteAbort();
      rs.reset();
      fmt.reset();
    });
  }
}

void Contract::UpdateDeleteContractAttachment(int32_t i_lAttachmentId, int32_t i_lRevisionNumber,
                                              const std::string& i_sAttachmentDescription, int32_t i_lContractLineId,
                                              int32_t i_lContractHeaderID, const std::string& i_sAttachmentTypeCode,
                                              bool i_bInternal, int32_t i_nAttachmentStatus,
                                              const std::string& i_sFilePath, int32_t i_nMaintainType) {
  // No vote of its own: the table writer votes.
  try {
    const ec::Dictionary keys{{kColAttachmentId, i_lAttachmentId}, {kColRevision, i_lRevisionNumber}};
    if (!ExistsInTable(text::kTableAttachment, keys))
      ec::raiseError(errors::kAttachmentNotFound, "", ec::defaultDescription(errors::kAttachmentNotFound));
    if (i_nMaintainType == EMaintainType::Update) {
      const ec::Dictionary values{{kColDescription, i_sAttachmentDescription},
                                  {text::kColLineId, lineColumn(i_lContractLineId)},
                                  {text::kColHeaderId, i_lContractHeaderID},
                                  {kColTypeCode, i_sAttachmentTypeCode},
                                  {kColInternal, i_bInternal},
                                  {kColStatus, i_nAttachmentStatus},
                                  {kColFilePath, i_sFilePath}};
      onNewConnection([&](ec::db::Connection& c) { UpdateTable(text::kTableAttachment, values, keys, c); });
    } else if (i_nMaintainType == EMaintainType::Delete) {
      onNewConnection([&](ec::db::Connection& c) { DeleteTable(text::kTableAttachment, keys, c); });
    }
  } catch (...) {
    FailureExit(text::kMethodUpdateDeleteContractAttachment, [] {});
  }
}

void Contract::UpdateContractAttachmentStatus(int32_t i_lContractHeaderID, int32_t i_lContractLineId,
                                              int32_t i_nToStatus, const Variant& /*i_lAttachmentId*/,
                                              const Variant& /*i_lRevisionNumber*/) {
  // The line's status decides the attachments' one; no vote of its own.
  int32_t status = 0;
  if (i_nToStatus == schema::EContractLineStatus::Active)
    status = schema::EContractAttachmentStatus::Active;
  else if (i_nToStatus == schema::EContractLineStatus::Expired)
    status = schema::EContractAttachmentStatus::Expired;
  else
    return;

  std::shared_ptr<suite::ILiteralFormatter> fmt;
  std::shared_ptr<ec::db::Connection> reads;
  std::shared_ptr<ec::db::Connection> writes;
  std::shared_ptr<ec::db::Recordset> rs;
  try {
    fmt = GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);
    reads = GetSourceConnection();
    writes = GetSourceConnection();
    const std::string line = fmt->FormatSQLNumber(i_lContractLineId);
    const std::string header = fmt->FormatSQLNumber(i_lContractHeaderID);
    rs = std::make_shared<ec::db::Recordset>();
    rs->open(std::string(kSelectLineAttachments) + kFromAttachments + kWhereLine + line + kAndHeader + header, reads,
             ec::db::CursorType::ForwardOnly, ec::db::LockType::ReadOnly);
    for (; !rs->eof(); rs->moveNext())
      writes->execute(kSetStatus + std::to_string(status) + kSetStatusWhereLine + line + kAndHeader + header +
                      kSetStatusAndAttachment + fmt->FormatSQLNumber(rs->field(kColAttachmentId).toInt32()) +
                      kSetStatusAndRevision + fmt->FormatSQLNumber(rs->field(kColRevision).toInt32()));
    rs.reset();
    CloseConnection(reads);
    CloseConnection(writes);
    fmt.reset();
  } catch (...) {
    FailureExit(text::kMethodUpdateContractAttachmentStatus, [&] {
      rs.reset();
      CloseConnection(reads);
      CloseConnection(writes);
      fmt.reset();
    });
  }
}

}  // namespace TQSourceContractMTS
