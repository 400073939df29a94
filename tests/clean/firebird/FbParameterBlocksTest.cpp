#include "clean/firebird/FbParameterBlocks.h"

#include <gtest/gtest.h>
#include <ibase.h>

#include <cstddef>

#include "clean/SharedStrings.h"
#include "clean/firebird/FbClient.h"

namespace {

// The core declares the client's constants itself so that it needs no
// Firebird headers; they must agree with Firebird's own.
static_assert(isc_dpb_version1 == 1 && isc_dpb_user_name == 28 && isc_dpb_password == 29 && isc_dpb_lc_ctype == 48);
static_assert(isc_dpb_shutdown == 50 && isc_dpb_online == 51 && isc_dpb_shutdown_delay == 52);
static_assert(isc_tpb_version3 == 3 && isc_tpb_concurrency == 2 && isc_tpb_wait == 6);
static_assert(fb::InfoDbSqlDialect == isc_info_db_sql_dialect && fb::InfoSqlStmtType == isc_info_sql_stmt_type);
static_assert(fb::DsqlDrop == DSQL_drop && fb::StatusLength == ISC_STATUS_LENGTH);
static_assert(sizeof(fb::Handle) == sizeof(FB_API_HANDLE) && sizeof(fb::Status) == sizeof(ISC_STATUS));
static_assert(fb::SqldaVersion1 == SQLDA_VERSION1 && fb::SqlShort == SQL_SHORT);
static_assert(sizeof(fb::SqlVariable) == sizeof(XSQLVAR) && sizeof(fb::SqlDescriptorArea) == sizeof(XSQLDA));
static_assert(offsetof(fb::SqlVariable, sqldata) == offsetof(XSQLVAR, sqldata) &&
              offsetof(fb::SqlVariable, sqlind) == offsetof(XSQLVAR, sqlind));
static_assert(offsetof(fb::SqlDescriptorArea, sqln) == offsetof(XSQLDA, sqln) &&
              offsetof(fb::SqlDescriptorArea, sqlvar) == offsetof(XSQLDA, sqlvar));

TEST(ParameterBlocks, AttachBlockIsTheTwentySixBytesOfTheBuiltInAccount)
{
    const std::string block =
        AttachParameterBlock({"user_name=" + UserName, "password=" + Password, "lc_ctype=CYRL"});
    const std::string expected = std::string("\x01\x1C\x06SYSDBA\x1D\x09plumtiger\x30\x04" "CYRL", 26);
    EXPECT_EQ(block, expected);
}

TEST(ParameterBlocks, NumbersGoAsFourBytesLeastSignificantFirst)
{
    EXPECT_EQ(AttachParameterBlock({"shutdown=" + std::to_string(isc_dpb_shut_single | isc_dpb_shut_attachment),
                                    "shutdown_delay=0", "online=" + std::to_string(isc_dpb_shut_normal)}),
              std::string("\x01\x32\x04\x32\x00\x00\x00\x34\x04\x00\x00\x00\x00\x33\x04\x10\x00\x00\x00", 19));
    EXPECT_EQ(AttachParameterBlock({"shutdown_delay=300"}), std::string("\x01\x34\x04\x2C\x01\x00\x00", 7));
    EXPECT_THROW(AttachParameterBlock({"shutdown_delay="}), fb::Error);
    EXPECT_THROW(AttachParameterBlock({"shutdown=single"}), fb::Error);
}

TEST(ParameterBlocks, TransactionBlockIsConcurrencyWait)
{
    EXPECT_EQ(TransactionParameterBlock({"concurrency", "wait"}), std::string("\x03\x02\x06", 3));
}

TEST(ParameterBlocks, UnknownLinesAreRefused)
{
    EXPECT_THROW(AttachParameterBlock({"sql_dialect=3"}), fb::Error);
    EXPECT_THROW(TransactionParameterBlock({"read_committed"}), fb::Error);
}

TEST(ParameterBlocks, StatementEndsInCarriageReturnLineFeedAndZero)
{
    EXPECT_EQ(StatementBytes("DELETE FROM log"), std::string("DELETE FROM log\r\n\0", 18));
}

}  // namespace
