// Header queries of TQSourceContract.Contract: headers of a partner or category, one
// header's partner and category, a header's lines, the lines for a product, the header's
// attachments, the lines awaiting approval and the header existence test.
#include <array>

#include "platform/dictionary.h"
#include "platform/safearray.h"
#include "query/contract.h"
#include "query/query_frame.h"
#include "query/row_arrays.h"

namespace TQSourceContract {

using detail::Column;
using detail::QueryFrame;
using detail::rowKeyed;
using detail::runQuery;
using ec::Dictionary;
using ec::SafeArray;
using ec::Variant;

namespace {

constexpr std::array<Column, 3> kHeaderColumns = {
    {{"CONTRACTHEADERID", false}, {"BUSINESSPARTNERID", false}, {"CATEGORYID", false}}};

constexpr std::array<Column, 9> kLineDetailColumns = {{{"CONTRACTLINEID", false},
                                                       {"BUYERID", false},
                                                       {"SUPPLIERID", true},
                                                       {"CONTRACTSTATUS", false},
                                                       {"EFFECTIVEDATETIME", false},
                                                       {"EXPIRYDATETIME", true},
                                                       {"PRODUCTDESCRIPTION", true},
                                                       {"CONTRACTDESCRIPTION", true},
                                                       {"PRODUCTID", false}}};

constexpr std::array<Column, 3> kLineIdColumns = {
    {{"CONTRACTHEADERID", false}, {"CONTRACTLINEID", false}, {"CONTRACTSTATUS", false}}};

constexpr std::array<Column, 8> kHeaderAttachmentColumns = {{{"ATTACHMENTID", false},
                                                             {"REVISIONNUMBER", false},
                                                             {"DESCRIPTION", true},
                                                             {"CONTRACTLINEID", false},
                                                             {"ATTACHMENTTYPECODE", true},
                                                             {"INTERNAL", false},
                                                             {"ATTACHMENTSTATUS", false},
                                                             {"FILEPATH", false}}};

// Elements 6 and 7 of an active header attachment array have no column and stay Empty.
constexpr std::array<Column, 6> kActiveAttachmentColumns = {{{"ATTACHMENTID", false},
                                                             {"REVISIONNUMBER", false},
                                                             {"DESCRIPTION", true},
                                                             {"ATTACHMENTTYPECODE", true},
                                                             {"INTERNAL", false},
                                                             {"FILEPATH", false}}};

}  // namespace

Variant Contract::GetContractHeader(const Variant& i_lBusinessPartnerId, const Variant& i_lCategoryId) {
  return runQuery<Variant>("TQSourceContract.Contract.GetContractHeader", [&](QueryFrame& f) {
    std::string sql = "SELECT * FROM CONTRACTHEADER";
    const bool partner = !i_lBusinessPartnerId.isMissing();
    const bool category = !i_lCategoryId.isMissing();
    if (partner && category)
      sql += " WHERE BUSINESSPARTNERID = " + f.number(i_lBusinessPartnerId.toInt32()) +
             " AND CATEGORYID = " + f.number(i_lCategoryId.toInt32());
    else if (partner)
      sql += " WHERE BUSINESSPARTNERID = " + f.number(i_lBusinessPartnerId.toInt32());
    else if (category)
      sql += " WHERE CATEGORYID = " + f.number(i_lCategoryId.toInt32());
    auto rs = f.query(sql);
    return rowKeyed(*rs, kHeaderColumns, 2, /*textKeys=*/true);
  });
}

Variant Contract::GetContractHeaderDetails(int32_t i_lContractHeaderID) {
  return runQuery<Variant>("TQSourceContract.Contract.GetContractHeaderDetails", [&](QueryFrame& f) {
    auto rs = f.query("SELECT * FROM CONTRACTHEADER WHERE CONTRACTHEADERID = " + f.number(i_lContractHeaderID));
    if (rs->eof()) ec::raiseNumber(ec::errors::kContractHeaderNotFound, detail::kLibrarySource);
    SafeArray pair = SafeArray::oneDim(0, 1);
    pair(0) = rs->field("BUSINESSPARTNERID");
    pair(1) = rs->field("CATEGORYID");
    return Variant(std::move(pair));
  });
}

Variant Contract::GetContractLineDetails(int32_t i_lContractHeaderID, const Variant& i_sBuyerId,
                                         const Variant& i_nContractStatus, const Variant& i_sProductPartNumber,
                                         const Variant& i_dEffectiveDate, const Variant& i_dExpiryDate) {
  return runQuery<Variant>("TQSourceContract.Contract.GetContractLineDetails", [&](QueryFrame& f) {
    // Each argument given narrows the lines; dates match exactly, not as ranges.
    std::string condition;
    if (!i_sBuyerId.isMissing()) condition += " AND BUYERID = " + f.text(i_sBuyerId.toString());
    if (!i_nContractStatus.isMissing()) condition += " AND CONTRACTSTATUS = " + f.number(i_nContractStatus.toInt32());
    if (!i_sProductPartNumber.isMissing())
      condition += " AND PRODUCTPARTNUMBER = " + f.text(i_sProductPartNumber.toString());
    if (!i_dEffectiveDate.isMissing()) condition += " AND EFFECTIVEDATETIME = " + f.date(i_dEffectiveDate.toDate());
    if (!i_dExpiryDate.isMissing()) condition += " AND EXPIRYDATETIME = " + f.date(i_dExpiryDate.toDate());
    auto rs = f.query(
        "SELECT CONTRACTLINEID,BUYERID,SUPPLIERID,"
        "CONTRACTSTATUS,EFFECTIVEDATETIME,EXPIRYDATETIME,"
        "PRODUCTDESCRIPTION,CONTRACTDESCRIPTION,PRODUCTID FROM "
        "CONTRACTLINE WHERE CONTRACTHEADERID = " +
        f.number(i_lContractHeaderID) + condition);
    return rowKeyed(*rs, kLineDetailColumns, 8, /*textKeys=*/true);
  });
}

Variant Contract::GetContractLineIdforProduct(const Variant& i_lProductId, const Variant& i_sProductPartNumber,
                                              const Variant& i_lBusinessPartnerId) {
  return runQuery<Variant>("TQSourceContract.Contract.GetContractLineIdforProduct", [&](QueryFrame& f) {
    const bool product = !i_lProductId.isMissing();
    const bool partNumber = !i_sProductPartNumber.isMissing();
    std::shared_ptr<ec::db::Recordset> rs;
    if (!product && !partNumber) {
      // Nothing to look for: no statement runs and reading the unopened cursor fails.
      rs = std::make_shared<ec::db::Recordset>();
    } else if (i_lBusinessPartnerId.isMissing()) {
      // The product wins over the part number.
      rs = f.query(product ? "SELECT CONTRACTHEADERID,CONTRACTLINEID,CONTRACTSTATUS FROM CONTRACTLINE WHERE PRODUCTID = " +
                                 f.number(i_lProductId.toInt32())
                           : "SELECT CONTRACTHEADERID,CONTRACTLINEID,CONTRACTSTATUS FROM CONTRACTLINE WHERE "
                             "PRODUCTPARTNUMBER = " +
                                 f.text(i_sProductPartNumber.toString()));
    } else {
      std::string sql =
          "SELECT CONTRACTHEADER.CONTRACTHEADERID,"
          " CONTRACTLINE.CONTRACTLINEID,"
          " CONTRACTLINE.CONTRACTSTATUS"
          " FROM CONTRACTHEADER, CONTRACTLINE"
          " WHERE CONTRACTHEADER.BUSINESSPARTNERID=" +
          f.number(i_lBusinessPartnerId.toInt32());
      sql += product ? " AND CONTRACTLINE.PRODUCTID=" + f.number(i_lProductId.toInt32())
                     : " AND CONTRACTLINE.PRODUCTPARTNUMBER=" + f.text(i_sProductPartNumber.toString());
      rs = f.query(sql + " AND CONTRACTLINE.CONTRACTHEADERID = CONTRACTHEADER.CONTRACTHEADERID");
    }
    return rowKeyed(*rs, kLineIdColumns, 2, /*textKeys=*/true);
  });
}

Variant Contract::GetContractHeaderAttachments(int32_t i_lContractHeaderID) {
  return runQuery<Variant>("TQSourceContract.Contract.GetContractHeaderAttachments", [&](QueryFrame& f) {
    auto rs = f.query("SELECT * FROM CONTRACTATTACHMENT WHERE CONTRACTLINEID IS NULL AND CONTRACTHEADERID = " +
                      f.number(i_lContractHeaderID));
    return rowKeyed(*rs, kHeaderAttachmentColumns, 7, /*textKeys=*/true);
  });
}

Variant Contract::GetContractApprovallines(int32_t i_lContractHeaderID) {
  return runQuery<Variant>("TQSourceContract.Contract.GetContractApprovallines", [&](QueryFrame& f) {
    auto rs = f.query(std::string("SELECT CONTRACTLINEID FROM CONTRACTLINE WHERE CONTRACTHEADERID = ") +
                      f.number(i_lContractHeaderID) + " AND (CONTRACTSTATUS = " + detail::kLineUnderApproval +
                      " OR CONTRACTSTATUS = " + detail::kLineSupplierApproved + ")");
    SafeArray lines;  // no elements until the first row
    for (int32_t n = 0; !rs->eof(); rs->moveNext()) {
      n = detail::nextOrdinal(n);
      lines.redimPreserve(n - 1);
      lines(n - 1) = rs->field("CONTRACTLINEID");
    }
    return Variant(std::move(lines));
  });
}

Variant Contract::GetApprovedHeaderAttachment(const Variant& i_lContractHeaderID) {
  return runQuery<Variant>("TQSourceContract.Contract.GetApprovedHeaderAttachment", [&](QueryFrame& f) {
    // Line attachments under approval of the header are included.
    auto rs = f.query("SELECT ATTACHMENTID,REVISIONNUMBER FROM CONTRACTATTACHMENT WHERE CONTRACTHEADERID = " +
                      f.number(i_lContractHeaderID.toInt32()) + " AND ATTACHMENTSTATUS = " +
                      detail::kAttachmentUnderApproval);
    auto dic = Dictionary::make();
    for (int32_t n = 0; !rs->eof(); rs->moveNext()) {
      n = detail::nextOrdinal(n);
      SafeArray ids = SafeArray::oneDim(0, 1);
      ids(0) = Variant(rs->field("ATTACHMENTID").toInt32());
      ids(1) = Variant(rs->field("REVISIONNUMBER").toInt32());
      dic->add(detail::ordinalKey(n, /*textKeys=*/true), Variant(std::move(ids)));
    }
    return Variant(dic);
  });
}

bool Contract::ContractHeaderExists(int32_t i_lContractHeaderID) {
  return runQuery<bool>("TQSourceContract.ContractLine.ContractHeaderExists", [&](QueryFrame& f) {
    auto rs = f.query(
        "SELECT CONTRACTHEADERID FROM CONTRACTHEADER WHERE "
        "CONTRACTHEADERID = " +
        f.number(i_lContractHeaderID));
    return !rs->eof();
  });
}

Variant Contract::GetActiveHeaderAttachments(int32_t i_lContractHeaderID) {
  return runQuery<Variant>("TQSourceContract.Contract.GetActiveHeaderAttachments", [&](QueryFrame& f) {
    auto rs = f.query(
        "SELECT * FROM CONTRACTATTACHMENT WHERE "
        "CONTRACTLINEID IS NULL AND "
        "CONTRACTHEADERID = " +
        f.number(i_lContractHeaderID) + " AND ATTACHMENTSTATUS = " + detail::kAttachmentActive);
    return rowKeyed(*rs, kActiveAttachmentColumns, 7, /*textKeys=*/true);
  });
}

}  // namespace TQSourceContract
