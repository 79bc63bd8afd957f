// Line detail and lookup queries of TQSourceContract.ContractLine, and the line currency
// lookup the break-up queries lend their connection to.
#include <array>

#include "platform/dictionary.h"
#include "platform/safearray.h"
#include "query/contract_line.h"
#include "query/query_frame.h"
#include "query/row_arrays.h"
#include "utilities/sql_text.h"

namespace TQSourceContract {

using detail::Column;
using detail::QueryFrame;
using detail::rowKeyed;
using detail::runQuery;
using ec::Dictionary;
using ec::SafeArray;
using ec::Variant;
using ec::db::Recordset;

namespace {

// The keys of the line record dictionary, in the order callers enumerate them.
// CONTRACTLINEID is deliberately not among them.
constexpr std::array<const char*, 45> kLineKeys = {
    "QUOTATIONID",       "RFQID",
    "PRODUCTID",         "CURRENCYCODE",
    "BUYERID",           "SUPPLIERID",
    "CONTRACTSTATUS",    "ORIGIN",
    "QUANTITY",          "PRICE",
    "DISCOUNTPERCENTAGE", "DISCOUNTAMOUNT",
    "EFFECTIVEDATETIME", "EXPIRYDATETIME",
    "CONTRACTHEADERID",  "REMARK",
    "CREATIONDATE",      "DELIVERYBEGINDATE",
    "DELIVERYENDDATE",   "ORDERINTERVAL",
    "HANDLINGCHARGE",    "FREIGHTCHARGE",
    "TAXPERCENTAGE",     "UNITCODE",
    "INCLUDEPRICEBREAKUP", "INCLUDEDISCOUNTBREAKUP",
    "RFQGENERATED",      "CALLEDQUANTITY",
    "INVOICEDQUANTITY",  "CALLEDVALUE",
    "INVOICEDVALUE",     "PRODUCTPARTNUMBER",
    "PRODUCTDESCRIPTION", "CONTRACTDESCRIPTION",
    "INCLUDECONTRACTLINEBIS", "MINQTYBREAKUP",
    "SUPPLIERAPPROVAL",  "LANDEDCOST",
    "PAYMENTTERM",       "PAYMENTMETHOD",
    "PACKAGINGTERM",     "SHIPPINGMETHOD",
    "SHIPPINGSERVICELEVEL", "WARRANTYTERM",
    "PENALTYTERM"};

constexpr std::array<Column, 8> kAttachmentColumns = {{{"ATTACHMENTID", false},
                                                       {"REVISIONNUMBER", false},
                                                       {"DESCRIPTION", true},
                                                       {"CONTRACTHEADERID", false},
                                                       {"ATTACHMENTTYPECODE", true},
                                                       {"INTERNAL", false},
                                                       {"ATTACHMENTSTATUS", false},
                                                       {"FILEPATH", true}}};

// Element 5 of a user-data array has no column and stays Empty.
constexpr std::array<Column, 5> kUserDataColumns = {{{"FIELDCODE", false},
                                                     {"FIELDDESCRIPTION", true},
                                                     {"COSTTYPE", false},
                                                     {"NUMERICFIELD", false},
                                                     {"VALUE", true}}};
constexpr int32_t kUserDataUpper = 5;

constexpr std::array<Column, 13> kBISColumns = {{{"BISID", false},
                                                 {"EXPORTSTATUS", false},
                                                 {"BACKENDHEADERID", true},
                                                 {"BACKENDLINEID", true},
                                                 {"ERRORFIELD", true},
                                                 {"CALLEDQUANTITY", false},
                                                 {"INVOICEDQUANTITY", false},
                                                 {"CALLEDVALUE", false},
                                                 {"INVOICEDVALUE", false},
                                                 {"PREVENTTRANSACTION", false},
                                                 {"PRICESERIES", true},
                                                 {"CONTRACTSERIES", true},
                                                 {"DISCOUNTSERIES", true}}};

}  // namespace

Variant ContractLine::GetContractLineDetail(int32_t i_lContractHeaderID, int32_t i_lContractLineID) {
  return runQuery<Variant>("TQSourceContract.ContractLine.GetContractLineDetail", [&](QueryFrame& f) {
    auto rs = f.query(" SELECT * FROM CONTRACTLINE WHERE " + f.headerAndLine(i_lContractHeaderID, i_lContractLineID));
    auto dic = Dictionary::make();
    if (!rs->eof())
      for (const char* key : kLineKeys) dic->add(Variant(key), rs->field(key));
    return Variant(dic);
  });
}

Variant ContractLine::GetContractLineNumber(int32_t i_lQuotationNumber) {
  return runQuery<Variant>("TQSourceContract.ContractLine.GetContractLineNumber", [&](QueryFrame& f) {
    auto rs = f.query("SELECT CONTRACTHEADERID,CONTRACTLINEID FROM CONTRACTLINE WHERE QUOTATIONID = " +
                      f.number(i_lQuotationNumber));
    SafeArray pair = SafeArray::oneDim(0, 1);
    if (rs->eof()) {
      pair(0) = Variant(int32_t{0});
      pair(1) = Variant(int32_t{0});
    } else {
      pair(0) = rs->field("CONTRACTHEADERID");
      pair(1) = rs->field("CONTRACTLINEID");
    }
    return Variant(std::move(pair));
  });
}

std::string ContractLine::GetContractFieldValue(int32_t i_lContractHeaderID, int32_t i_lContractLineID,
                                                const std::string& i_sField) {
  return runQuery<std::string>("TQSourceContract.ContractLine.GetContractFieldValue", [&](QueryFrame& f) {
    // An empty name would leave the catalog lookup unrestricted; it names no column.
    if (i_sField.empty() || f.connection()->columns("CONTRACTLINE", i_sField).empty()) return std::string();
    auto rs = f.query("SELECT * FROM CONTRACTLINE WHERE " + f.headerAndLine(i_lContractHeaderID, i_lContractLineID));
    if (rs->eof()) ec::raiseNumber(ec::errors::kContractLineNotFound, detail::kLibrarySource);
    const Variant& v = rs->field(i_sField);
    return v.isNull() ? std::string() : v.toString();
  });
}

Variant ContractLine::GetContractLineAttachment(int32_t i_lContractHeaderID, int32_t i_lContractLineID) {
  return runQuery<Variant>("TQSourceContract.ContractLine.GetContractLineAttachment", [&](QueryFrame& f) {
    auto rs = f.query(" SELECT * FROM CONTRACTATTACHMENT WHERE " +
                      f.headerAndLine(i_lContractHeaderID, i_lContractLineID));
    return rowKeyed(*rs, kAttachmentColumns, 7, /*textKeys=*/true);
  });
}

Variant ContractLine::GetContractUserData(int32_t i_lContractHeaderID, int32_t i_lContractLineID) {
  return runQuery<Variant>("TQSourceContract.ContractLine.GetContractUserData", [&](QueryFrame& f) {
    auto rs = f.query("SELECT * FROM CONTRACTUSERDATA WHERE " +
                      f.headerAndLine(i_lContractHeaderID, i_lContractLineID));
    return rowKeyed(*rs, kUserDataColumns, kUserDataUpper, /*textKeys=*/false);
  });
}

Variant ContractLine::GetContractBIS(int32_t i_lContractHeaderID, int32_t i_lContractLineID,
                                     const Variant& i_nContractExportStatus, const Variant& i_lBISId) {
  return runQuery<Variant>("TQSourceContract.ContractLine.GetContractBIS", [&](QueryFrame& f) {
    const std::string h = f.number(i_lContractHeaderID);
    const std::string l = f.number(i_lContractLineID);
    std::string sql;
    if (i_lBISId.isMissing()) {
      sql = "SELECT * FROM CONTRACTLINEBIS WHERE CONTRACTHEADERID = " + h + " AND CONTRACTLINEID = " + l;
      if (!i_nContractExportStatus.isMissing())
        sql += " And EXPORTSTATUS = " + f.number(i_nContractExportStatus.toInt32());
    } else if (i_nContractExportStatus.isMissing()) {
      sql = "SELECT * FROM CONTRACTLINEBIS WHERE BISID = " + f.number(i_lBISId.toInt32()) +
            " AND CONTRACTHEADERID = " + h + " AND CONTRACTLINEID = " + l;
    } else {
      // The identifier goes in as the text of the value passed, so only a plain number
      // may reach the statement.
      const std::string status = f.number(i_nContractExportStatus.toInt32());
      sql = "SELECT * FROM CONTRACTLINEBIS WHERE BISID = " + EContractUtilities::PlainNumberText(i_lBISId, "BISID") +
            " AND CONTRACTHEADERID = " + h + " AND CONTRACTLINEID = " + l + " AND EXPORTSTATUS = " + status;
    }
    auto rs = f.query(sql);
    return rowKeyed(*rs, kBISColumns, 12, /*textKeys=*/true);
  });
}

bool ContractLine::GetBISTransactionIgnore(int32_t i_lBISId, int32_t i_lContractHeaderID, int32_t i_lContractLineID) {
  return runQuery<bool>("TQSourceContract.ContractLine.GetBISTransactionIgnore", [&](QueryFrame& f) {
    auto rs = f.query("SELECT PREVENTTRANSACTION FROM CONTRACTLINEBIS WHERE BISID = " + f.number(i_lBISId) + " AND " +
                      f.headerAndLine(i_lContractHeaderID, i_lContractLineID));
    if (rs->eof()) ec::raiseNumber(ec::errors::kBISRecordNotFound, detail::kLibrarySource);
    return rs->field("PREVENTTRANSACTION").toBool();
  });
}

bool ContractLine::ContractLineAttachmentExists(const std::string& i_sAttachmentTypeCode) {
  return runQuery<bool>("TQSourceContract.ContractLine.ContractLineAttachmentExists", [&](QueryFrame& f) {
    auto rs = f.query(" SELECT ATTACHMENTID FROM CONTRACTATTACHMENT WHERE ATTACHMENTTYPECODE = " +
                      f.text(i_sAttachmentTypeCode));
    return !rs->eof();
  });
}

bool ContractLine::ContractPriceBreakUpExists(int32_t i_lContractHeaderID, int32_t i_lContractLineID) {
  return runQuery<bool>("TQSourceContract.ContractLine.ContractPriceBreakUpExists", [&](QueryFrame& f) {
    auto rs = f.query("SELECT QUANTITY FROM CONTRACTPRICE WHERE " +
                      f.headerAndLine(i_lContractHeaderID, i_lContractLineID));
    return !rs->eof();
  });
}

bool ContractLine::ContractDiscountBreakUpExists(int32_t i_lContractHeaderID, int32_t i_lContractLineID) {
  return runQuery<bool>("TQSourceContract.ContractLine.ContractDiscountBreakUpExists", [&](QueryFrame& f) {
    auto rs = f.query("SELECT QUANTITY FROM CONTRACTDISCOUNT WHERE " +
                      f.headerAndLine(i_lContractHeaderID, i_lContractLineID));
    return !rs->eof();
  });
}

Variant ContractLine::lineCurrency(int32_t contractHeaderId, int32_t contractLineId,
                                   const std::shared_ptr<ec::db::Connection>& conn) {
  // No failure handling of its own: a failure belongs to the calling operation.
  auto fmt = EContractUtilities::GetComponentAs<suite::ILiteralFormatter>(suite::kUtilitiesClass);
  auto rs = std::make_shared<Recordset>();
  rs->open("SELECT CURRENCYCODE FROM CONTRACTLINE WHERE CONTRACTHEADERID = " + fmt->FormatSQLNumber(contractHeaderId) +
               " AND CONTRACTLINEID = " + fmt->FormatSQLNumber(contractLineId),
           conn);
  Variant currency = rs->eof() ? Variant() : rs->field("CURRENCYCODE");
  EContractUtilities::CloseRecordset(rs);
  return currency;
}

}  // namespace TQSourceContract
