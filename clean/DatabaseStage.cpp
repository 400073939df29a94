#include "clean/DatabaseStage.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "clean/CutOffText.h"
#include "clean/SharedStrings.h"
#include "platform/SupportLog.h"

DatabaseStage::DatabaseStage(TraceSink& trace, std::vector<std::string> clientLibraryNames)
    : trace_(trace), client_(std::move(clientLibraryNames))
{
}

DatabaseStage::~DatabaseStage()
{
    DropConnection();
}

namespace {

void SetAccount(TIBDatabase& database)
{
    std::vector<std::string>& params = database.Params();
    params.clear();
    params.push_back("user_name=" + UserName);
    params.push_back("password=" + Password);
    params.push_back("lc_ctype=CYRL");
}

// Firebird's codes (isc_... in ibase.h) and flags (isc_dpb_shut_...).
constexpr long long IscShutdown = 335544528;         // shut down: only maintenance gets in
constexpr long long IscBadShutdownMode = 335544835;  // already in the mode asked for
constexpr long long IscAlreadyOpened = 335545107;    // another engine has the file open
constexpr long long IscShutFail = 335544557;         // others stayed attached
constexpr long long IscLockTimeout = 335544510;
constexpr long long IscObjectInUse = 335544453;
constexpr long long IscShutInProgress = 335544506;
constexpr int ShutAttachment = 0x2;  // wait for the attachments to leave, never force them out
constexpr int ShutNormal = 0x10;
constexpr int ShutSingle = 0x30;
constexpr short SingleUserMode = 2;  // MON$SHUTDOWN_MODE

bool HeldByOthers(const fb::Error& error)
{
    for (const long long code : {IscAlreadyOpened, IscShutFail, IscLockTimeout, IscObjectInUse, IscShutInProgress})
        if (error.Has(code))
            return true;
    return false;
}

void SetConcurrencyWait(TIBTransaction& transaction)
{
    transaction.Params().clear();
    transaction.Params().push_back("concurrency");
    transaction.Params().push_back("wait");
}

// The window shows a fixed line for every failure; the cause of the exception
// being handled (Firebird's own words when the client gives them) goes to the
// support log instead. Call only from a catch block.
void LogCurrentCause(const char* step)
{
    std::string text = std::string("quenor-cleaner: ") + step + ": ";
    try {
        throw;
    } catch (const fb::Error& error) {
        text += error.what();
        if (!error.FirebirdText().empty())
            text += "\n" + error.FirebirdText();
    } catch (const std::exception& error) {
        text += error.what();
    } catch (...) {
        text += "unknown exception";
    }
    platform::WriteSupportLog(text);
}

// The statuses of an attachment that fails for the client's or the
// installation's reasons, whatever the file holds. Call only from a catch
// block.
DatabaseStage::OpenFailure ClassifyCurrentOpenFailure(bool clientLoaded)
{
    if (!clientLoaded)
        return DatabaseStage::OpenFailure::NoClient;
    try {
        throw;
    } catch (const fb::Error& error) {
        // Firebird's codes (isc_... in ibase.h).
        switch (error.Code()) {
        case 335544325:  // isc_bad_dpb_content: CHARACTER SET CYRL is not defined
        case 335544509:  // isc_charset_not_found: the same, from the intl module
        case 335544375:  // isc_unavailable: no provider could serve the attachment
        case 335544472:  // isc_login: the account the installation knows differs
        case 335544653:  // isc_psw_attach: the installation's password database
        case 335544721:  // isc_network_error: a server that is not there
        case 335545008:  // isc_pman_plugin_notfound
            return DatabaseStage::OpenFailure::Installation;
        default:
            break;
        }
    } catch (...) {
    }
    return DatabaseStage::OpenFailure::Other;
}

}  // namespace

bool DatabaseStage::OpenDatabase()
{
    // A failed earlier open or delete may have left the file attached, and a
    // leftover attachment would keep the run's own rollback from moving it.
    DropConnection();
    lastOpenFailure_ = OpenFailure::None;
    try {
        Database = std::make_unique<TIBDatabase>(client_);
        SetAccount(*Database);
        Database->SetDatabaseName(DBFileName);
        Database->Open();

        Transaction = std::make_unique<TIBTransaction>();
        Transaction->AddDatabase(*Database);
        SetConcurrencyWait(*Transaction);

        Sql = std::make_unique<TIBSQL>(*Database, *Transaction);
        LogClient();
        return true;
    } catch (...) {
        lastOpenFailure_ = ClassifyCurrentOpenFailure(client_.Loaded());
        LogClient();
        LogCurrentCause("open database");
        trace_.Trace("An exception occured during open database.", clRed);
        return false;
    }
}

// Which client the run's attachment went through: several Firebird clients
// may lie on one machine, and their versions answer differently.
void DatabaseStage::LogClient() const
{
    if (client_.Loaded())
        platform::WriteSupportLog("quenor-cleaner: Firebird client: " + client_.Description());
}

long long DatabaseStage::RunStatement(const std::string& text)
{
    if (!Sql || !Transaction)
        throw fb::Error("the database is not open");
    Sql->SetSQL(text);
    if (!Transaction->InTransaction())
        Transaction->StartTransaction();
    Sql->ExecQuery();
    long long rows = -1;
    try {
        rows = Sql->RowsDeleted();
    } catch (const fb::Error&) {
        // Only a figure for the report: the delete itself went through.
        LogCurrentCause("count the deleted rows");
    }
    Transaction->Commit();
    return rows;
}

bool DatabaseStage::DeleteBeforeDate(const TDateTime& cutOff, const platform::WhileWaiting& whileWaiting)
{
    lastDeleted_ = {};
    lastDeleteCancelled_ = false;
    cancelRefused_ = false;
    // The statements run beside the waiting thread, which can keep a window
    // painted meanwhile and cancel them through the client.
    const auto statement = [&](const std::string& text) {
        return platform::WaitingFor(
            [&](platform::StepShare& share) {
                if (share.stop) {
                    lastDeleteCancelled_ = true;
                    throw fb::Error("the statement was stopped before it started");
                }
                return RunStatement(text);
            },
            whileWaiting, [this] { CancelStatement(); });
    };
    try {
        lastDeleted_.log = statement("DELETE FROM log WHERE log_time<'" + CutOffText(cutOff) + "'");
        lastDeleted_.errorsLog = statement("DELETE FROM ERRORS_LOG WHERE ERR_END<'" + CutOffText(cutOff) + "'");
        return true;
    } catch (...) {
        LogCurrentCause("delete data before date");
        if (!lastDeleteCancelled_)
            trace_.Trace("An exception occured during delete data before date", clRed);
        return false;
    }
}

void DatabaseStage::CancelStatement()
{
    lastDeleteCancelled_ = true;
    if (cancelRefused_ || !Database || !Database->Connected())
        return;
    const fb::Api& api = client_.Get();
    fb::StatusVector status{};
    if (api.fb_cancel_operation != nullptr)
        api.fb_cancel_operation(status, Database->Handle(), fb::CancelRaise);
    // Any other failure only means the statement had ended already. A route
    // that cannot cancel (the local protocol to a server, or a client
    // without the call) will not learn to by being asked again: the operator
    // is told what the stop now waits for.
    if (api.fb_cancel_operation == nullptr || (status[0] == 1 && status[1] == fb::WishList)) {
        cancelRefused_ = true;
        trace_.Trace("Удаление нельзя прервать: остановка после его окончания.", clBlue);
    }
}

std::string DatabaseStage::DeletedRowsText(const DeletedRows& rows)
{
    const auto count = [](long long value) { return value < 0 ? std::string("неизвестно") : std::to_string(value); };
    return "log — " + count(rows.log) + ", ERRORS_LOG — " + count(rows.errorsLog);
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
        LogCurrentCause("close the database");
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

void DatabaseStage::PreferClientLibraries(std::vector<std::string> libraryNames)
{
    client_.PreferLibraries(std::move(libraryNames));
}

bool DatabaseStage::LoadClient()
{
    try {
        client_.Get();
        return true;
    } catch (const fb::Error&) {
        LogCurrentCause("load the client library");
        return false;
    }
}

bool DatabaseStage::RestoredDatabaseUsable(const std::string& path)
{
    const FileCheck check = CheckFile(path);
    return check == FileCheck::Database || check == FileCheck::NoClient;
}

DatabaseStage::FileCheck DatabaseStage::CheckFile(const std::string& path)
{
    try {
        client_.Get();
    } catch (const fb::Error&) {
        LogCurrentCause("load the client library");
        return FileCheck::NoClient;
    }
    const std::optional<std::vector<short>> shutdownMode =
        QuerySmallints(path, {"SELECT MON$SHUTDOWN_MODE FROM MON$DATABASE"});
    if (!shutdownMode)
        return FileCheck::NotADatabase;
    return shutdownMode->front() == 0 ? FileCheck::Database : FileCheck::ShutDown;
}

std::optional<DatabaseStage::Settings> DatabaseStage::ReadSettings(const std::string& path)
{
    // An index that failed to activate is left marked inactive: 1 from
    // gbak, 3 from an engine that gave up on building it.
    const std::optional<std::vector<short>> values = QuerySmallints(
        path, {"SELECT CAST(COUNT(*) AS SMALLINT) FROM RDB$INDICES WHERE COALESCE(RDB$INDEX_INACTIVE, 0) = 0",
               "SELECT MON$FORCED_WRITES FROM MON$DATABASE"});
    if (!values)
        return std::nullopt;
    return Settings{(*values)[0], (*values)[1]};
}

void DatabaseStage::ReleaseLinger(const std::string& path)
{
    QuerySmallints(path, {});
}

std::optional<int> DatabaseStage::ReadLinger(const std::string& path)
{
    // Longer than a SMALLINT holds is longer than any wait anyway.
    const std::optional<std::vector<short>> values =
        QuerySmallints(path, {"SELECT CAST(MINVALUE(COALESCE(RDB$LINGER, 0), 32767) AS SMALLINT) FROM RDB$DATABASE"});
    if (!values)
        return std::nullopt;
    return (*values)[0];
}

std::optional<std::vector<short>> DatabaseStage::QuerySmallints(const std::string& path,
                                                                const std::vector<std::string>& selects)
{
    std::vector<short> values;
    const bool asked = WithOwnAttachment(path, [&](TIBSQL& sql) {
        for (const std::string& select : selects) {
            sql.SetSQL(select);
            values.push_back(sql.ExecSmallint());
        }
    });
    if (!asked)
        return std::nullopt;
    return values;
}

DatabaseStage::Ownership DatabaseStage::TakeOwnership(const std::string& path)
{
    try {
        client_.Get();
        // A delay of 0 with the attachments flag: the engine refuses at once
        // while anyone is attached, instead of throwing the product's
        // workstations out in the middle of their work.
        AttachAndDetach(path, {"shutdown=" + std::to_string(ShutSingle | ShutAttachment), "shutdown_delay=0"});
        return Ownership::Taken;
    } catch (const fb::Error& error) {
        LogCurrentCause("take the database for the run");
        if (HeldByOthers(error))
            return Ownership::Held;
        if (error.Has(IscShutdown))
            return Ownership::ShutDown;
        if (error.Has(IscBadShutdownMode)) {
            // Shut down already: for single-user maintenance, which is the
            // run's own, or for everyone, which does not let the run in.
            const std::optional<std::vector<short>> mode =
                QuerySmallints(path, {"SELECT MON$SHUTDOWN_MODE FROM MON$DATABASE"});
            return mode && mode->front() == SingleUserMode ? Ownership::Taken : Ownership::ShutDown;
        }
        return Ownership::NotTaken;
    } catch (...) {
        LogCurrentCause("take the database for the run");
        return Ownership::NotTaken;
    }
}

bool DatabaseStage::BringOnline(const std::string& path)
{
    try {
        AttachAndDetach(path, {"online=" + std::to_string(ShutNormal)});
        return true;
    } catch (const fb::Error& error) {
        // The engine answers so for a database that is online already.
        if (error.Has(IscBadShutdownMode))
            return true;
        LogCurrentCause("bring the database online");
        return false;
    } catch (...) {
        LogCurrentCause("bring the database online");
        return false;
    }
}

void DatabaseStage::AttachAndDetach(const std::string& path, const std::vector<std::string>& extra)
{
    TIBDatabase database(client_);
    SetAccount(database);
    if (client_.Get().fb_get_master_interface != nullptr)
        database.Params().push_back("nolinger=");
    database.Params().insert(database.Params().end(), extra.begin(), extra.end());
    database.SetDatabaseName(path);
    database.Open();
    database.Close();
}

std::optional<DatabaseStage::LogRows> DatabaseStage::CountLogRows(const std::string& path)
{
    LogRows rows;
    const bool counted = WithOwnAttachment(path, [&](TIBSQL& sql) {
        sql.SetSQL("SELECT COUNT(*) FROM log");
        rows.log = sql.ExecBigint();
        sql.SetSQL("SELECT COUNT(*) FROM ERRORS_LOG");
        rows.errorsLog = sql.ExecBigint();
    });
    if (!counted)
        return std::nullopt;
    return rows;
}

bool DatabaseStage::WithOwnAttachment(const std::string& path, const std::function<void(TIBSQL&)>& use)
{
    try {
        TIBDatabase database(client_);
        SetAccount(database);
        // Its detach must not leave the database open for the LINGER: not
        // in this process's engine, where gbak could not open it, nor in a
        // server, which would hold the file the next step deletes. A client
        // older than 3.0 has no such item, nor a LINGER.
        if (client_.Get().fb_get_master_interface != nullptr)
            database.Params().push_back("nolinger=");
        database.SetDatabaseName(path);
        database.Open();
        {
            TIBTransaction transaction;
            transaction.AddDatabase(database);
            SetConcurrencyWait(transaction);
            transaction.StartTransaction();
            TIBSQL sql(database, transaction);
            use(sql);
            sql.FreeHandle();
            transaction.Commit();
        }
        database.Close();
        return true;
    } catch (...) {
        LogCurrentCause("check the database file");
        return false;
    }
}
