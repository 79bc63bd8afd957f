// Active-line queries of TQSourceContract.Contract: the active lines of a buyer, of a
// header (optionally for one product), of a partner and product, and the detached cursor
// of a partner's active lines in a category.
#include <array>

#include "platform/dictionary.h"
#include "platform/safearray.h"
#include "query/contract.h"
#include "query/query_frame.h"
#include "query/row_arrays.h"

namespace TQSourceContract {

using detail::Column;
using detail::kLineActive;
using detail::QueryFrame;
using detail::rowKeyed;
using detail::runQuery;
using ec::Dictionary;
using ec::SafeArray;
using ec::Variant;

namespace {

constexpr std::array<Column, 3> kBuyerLineColumns = {
    {{"CONTRACTHEADERID", false}, {"CONTRACTLINEID", false}, {"BUSINESSPARTNERID", false}}};

// The join of a partner's header with its lines, up to the partner condition.
constexpr const char* kPartnerLinesJoin =
    " SELECT CONTRACTHEADER.CONTRACTHEADERID,"
    " CONTRACTLINE.*"
    " FROM CONTRACTHEADER, CONTRACTLINE"
    " WHERE CONTRACTHEADER.BUSINESSPARTNERID=";

}  // namespace

Variant Contract::GetActiveContractLinesForBuyer(const std::string& i_sBuyerId) {
  return runQuery<Variant>("TQSourceContract.ContractLine.GetActiveContractLinesForBuyer", [&](QueryFrame& f) {
    auto rs = f.query(std::string(" SELECT CONTRACTLINE.CONTRACTHEADERID,"
                                  " CONTRACTLINE.CONTRACTLINEID,"
                                  " CONTRACTHEADER.BUSINESSPARTNERID"
                                  " FROM CONTRACTHEADER, CONTRACTLINE"
                                  " WHERE CONTRACTLINE.BUYERID= ") +
                      f.text(i_sBuyerId) + " AND CONTRACTLINE.CONTRACTSTATUS= " + kLineActive +
                      " AND CONTRACTHEADER.CONTRACTHEADERID = CONTRACTLINE.CONTRACTHEADERID");
    return rowKeyed(*rs, kBuyerLineColumns, 2, /*textKeys=*/false);
  });
}

Variant Contract::GetActiveContractLines(const SafeArray& i_aContractFields, const Variant& i_lContractHeaderID,
                                         const Variant& i_lProductId, const Variant& i_lBusinessPartnerId,
                                         const Variant& i_lContractLineID) {
  return runQuery<Variant>("TQSourceContract.Contract.GetActiveContractLines", [&](QueryFrame& f) {
    const bool header = !i_lContractHeaderID.isMissing();
    const bool product = !i_lProductId.isMissing();
    const bool partner = !i_lBusinessPartnerId.isMissing();
    const bool line = !i_lContractLineID.isMissing();
    // The line given, when there is one, is left out: the other active lines are asked for.
    std::string sql;
    if (header && !product && !partner) {
      sql = "SELECT * FROM CONTRACTLINE WHERE CONTRACTHEADERID = " + f.number(i_lContractHeaderID.toInt32()) +
            " AND CONTRACTSTATUS = " + kLineActive;
      if (line) sql += " AND CONTRACTLINEID <> " + f.number(i_lContractLineID.toInt32());
    } else if (header && product && !partner) {
      sql = "SELECT * FROM CONTRACTLINE WHERE CONTRACTHEADERID = " + f.number(i_lContractHeaderID.toInt32()) +
            " AND PRODUCTID = " + f.number(i_lProductId.toInt32()) + " AND CONTRACTSTATUS = " + kLineActive;
      if (line) sql += " AND CONTRACTLINEID <> " + f.number(i_lContractLineID.toInt32());
    } else if (!header && product && partner) {
      sql = kPartnerLinesJoin + f.number(i_lBusinessPartnerId.toInt32()) +
            " AND CONTRACTLINE.PRODUCTID=" + f.number(i_lProductId.toInt32()) +
            " AND CONTRACTLINE.CONTRACTHEADERID = CONTRACTHEADER.CONTRACTHEADERID" +
            " AND CONTRACTLINE.CONTRACTSTATUS = " + kLineActive;
      if (line) sql += " AND CONTRACTLINE.CONTRACTLINEID <> " + f.number(i_lContractLineID.toInt32());
    }
    // Any other combination leaves the statement empty, which returns no cursor to read.
    auto rs = f.query(sql);
    auto dic = Dictionary::make();
    for (int32_t n = 0; !rs->eof(); rs->moveNext()) {
      n = detail::nextOrdinal(n);
      dic->add(detail::ordinalKey(n, /*textKeys=*/false), Variant(detail::namedColumnsRow(*rs, i_aContractFields)));
    }
    return Variant(dic);
  });
}

Variant Contract::GetActiveContractLineDetails(int32_t i_lCategoryId, int32_t i_lBusinessPartnerId) {
  return runQuery<Variant>("TQSourceContract.Contract.GetActiveContractLineDetails", [&](QueryFrame& f) {
    const std::string sql = kPartnerLinesJoin + f.number(i_lBusinessPartnerId) + " AND CONTRACTHEADER.CATEGORYID =" +
                            f.number(i_lCategoryId) +
                            " AND CONTRACTLINE.CONTRACTHEADERID = CONTRACTHEADER.CONTRACTHEADERID" +
                            " AND CONTRACTLINE.CONTRACTSTATUS = " + kLineActive;
    // A client-side cursor holds every row; detached, it outlives the connection the frame
    // closes and belongs to the caller.
    auto rs = std::make_shared<ec::db::Recordset>();
    rs->cursorLocation = ec::db::CursorLocation::Client;
    rs->open(sql, f.connection(), ec::db::CursorType::Static, ec::db::LockType::ReadOnly);
    rs->detach();
    return Variant(rs);
  });
}

}  // namespace TQSourceContract
