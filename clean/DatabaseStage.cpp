#include "clean/DatabaseStage.h"

#include <utility>

#include "clean/CutOffText.h"
#include "clean/SharedStrings.h"

DatabaseStage::DatabaseStage(TraceSink& trace, std::vector<std::string> clientLibraryNames)
    : trace_(trace), client_(std::move(clientLibraryNames))
{
}

DatabaseStage::~DatabaseStage()
{
    DropConnection();
}

bool DatabaseStage::OpenDatabase()
{
    // A failed earlier open or delete may have left the file attached, and a
    // leftover attachment would keep the run's own rollback from moving it.
    DropConnection();
    try {
        Database = std::make_unique<TIBDatabase>(client_);
        std::vector<std::string>& params = Database->Params();
        params.clear();
        params.push_back("user_name=" + UserName);
        params.push_back("password=" + Password);
        params.push_back("lc_ctype=CYRL");
        Database->SetDatabaseName(DBFileName);
        Database->Open();

        Transaction = std::make_unique<TIBTransaction>();
        Transaction->AddDatabase(*Database);
        Transaction->Params().clear();
        Transaction->Params().push_back("concurrency");
        Transaction->Params().push_back("wait");

        Sql = std::make_unique<TIBSQL>(*Database, *Transaction);
        return true;
    } catch (...) {
        trace_.Trace("An exception occured during open database.", clRed);
        return false;
    }
}

void DatabaseStage::RunStatement(const std::string& text)
{
    if (!Sql || !Transaction)
        throw fb::Error("the database is not open");
    Sql->SetSQL(text);
    if (!Transaction->InTransaction())
        Transaction->StartTransaction();
    Sql->ExecQuery();
    Transaction->Commit();
}

bool DatabaseStage::DeleteBeforeDate(const TDateTime& cutOff)
{
    try {
        RunStatement("DELETE FROM log WHERE log_time<'" + CutOffText(cutOff) + "'");
        RunStatement("DELETE FROM ERRORS_LOG WHERE ERR_END<'" + CutOffText(cutOff) + "'");
        return true;
    } catch (...) {
        trace_.Trace("An exception occured during delete data before date", clRed);
        return false;
    }
}

void DatabaseStage::CloseAndRelease()
{
    if (Database && Database->Connected()) {
        if (Sql)
            Sql->FreeHandle();
        if (Transaction && Transaction->InTransaction())
            Transaction->Rollback();
        Database->Close();
    }
    Sql.reset();
    Transaction.reset();
    Database.reset();
}

bool DatabaseStage::CloseDatabase()
{
    try {
        CloseAndRelease();
        return true;
    } catch (...) {
        trace_.Trace("An exception occured during close the database.", clRed);
        return false;
    }
}

void DatabaseStage::DropConnection()
{
    try {
        CloseAndRelease();
    } catch (...) {
        // The objects' own destructors roll back and detach what is left.
    }
    Sql.reset();
    Transaction.reset();
    Database.reset();
}
