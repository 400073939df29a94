#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "clean/TDateTime.h"
#include "clean/Trace.h"
#include "clean/firebird/FbClient.h"
#include "clean/firebird/TIBDatabase.h"
#include "clean/firebird/TIBSQL.h"
#include "clean/firebird/TIBTransaction.h"
#include "platform/WhileWaiting.h"

// The database stage of a cleaning run: attach to DBFileName as UserName,
// delete the old rows of the two log tables, detach. Each operation reports
// its own failure as one red line and a false result; none throws.
class DatabaseStage {
public:
    // `clientLibraryNames`: where the client library is looked for, in order;
    // it is loaded at the first OpenDatabase, not before.
    explicit DatabaseStage(TraceSink& trace,
                           std::vector<std::string> clientLibraryNames = platform::FirebirdClientLibraryNames());
    ~DatabaseStage();
    DatabaseStage(const DatabaseStage&) = delete;
    DatabaseStage& operator=(const DatabaseStage&) = delete;

    bool OpenDatabase();
    // Deletes from `log` and then from `ERRORS_LOG` every row stamped before
    // `cutOff`, one table per committed transaction. With `whileWaiting`,
    // each statement runs on a thread of its own meanwhile; when that answers
    // false the statement is cancelled through the client, and the delete
    // fails without a line of its own. Where the client cannot cancel it (the
    // local protocol to a server answers so), one blue line says that the
    // stop takes effect once the statement ends.
    bool DeleteBeforeDate(const TDateTime& cutOff, const platform::WhileWaiting& whileWaiting = {});
    // How many rows the last DeleteBeforeDate deleted from each table, by the
    // statements' own counts; -1 where the engine gave none.
    struct DeletedRows {
        long long log = -1;
        long long errorsLog = -1;
    };
    const DeletedRows& LastDeleted() const { return lastDeleted_; }
    // "log — N, ERRORS_LOG — M", "неизвестно" for a count the engine did
    // not give.
    static std::string DeletedRowsText(const DeletedRows& rows);
    bool CloseDatabase();

    // Closes and releases whatever the members hold, rolling back an active
    // transaction; failures are swallowed. For paths where a failed step left
    // the file attached and it must be free again.
    void DropConnection();

    // Whether the database that a restore has just made at `path` can be used:
    // it attaches and is online, not left shut down by indices that failed to
    // activate (gbak may still exit 0 then). Without a client library to ask,
    // gbak's exit code has to stand, and the answer is true. Traces nothing
    // and leaves the members alone.
    bool RestoredDatabaseUsable(const std::string& path);

    enum class FileCheck { Database, ShutDown, NotADatabase, NoClient };
    // Whether the engine opens the file at `path` as a database that is
    // online, as RestoredDatabaseUsable asks, or as one shut down for
    // maintenance, telling apart the case where no client library could be
    // loaded to ask. Traces nothing.
    FileCheck CheckFile(const std::string& path);

    // What a restore must carry over from the database it was made of.
    struct Settings {
        short activeIndices = 0;
        short forcedWrites = 0;  // 1 when on
        bool operator==(const Settings&) const = default;
    };
    // The settings of the database at `path`; nothing when it cannot be
    // attached and asked. Traces nothing and leaves the members alone.
    std::optional<Settings> ReadSettings(const std::string& path);

    // The attachments of ReadSettings, ReadLinger, CheckFile and
    // RestoredDatabaseUsable close the database at their detach instead of
    // leaving it open for its LINGER; this one does nothing else, and so
    // ends a LINGER that an earlier attachment or gbak began. Traces nothing.
    void ReleaseLinger(const std::string& path);

    // Keeps every other attachment out until BringOnline: the database is
    // shut down to single-user maintenance, which lets in one attachment of
    // SYSDBA or the owner at a time, and only when no other is attached.
    // Asked while anyone is attached, the engine refuses and nothing changes.
    // A database left in that mode by a run that died counts as taken.
    // NotTaken: the engine gave another reason (no client, not a database),
    // which the run's own steps meet again and report as they always have.
    // Traces nothing.
    enum class Ownership { Taken, Held, ShutDown, NotTaken };
    Ownership TakeOwnership(const std::string& path);
    // Lets everyone in again; true when the database is online, whether it
    // was shut down or not. Traces nothing.
    bool BringOnline(const std::string& path);

    // How many rows the two log tables of the database at `path` hold;
    // nothing when it cannot be attached and asked. Traces nothing.
    struct LogRows {
        long long log = 0;
        long long errorsLog = 0;
    };
    std::optional<LogRows> CountLogRows(const std::string& path);

    // The database's LINGER in seconds (Firebird 3.0 and later); nothing
    // when it cannot be attached and asked. Traces nothing.
    std::optional<int> ReadLinger(const std::string& path);

    // Whether the client library has been loaded by an earlier call.
    bool ClientLibraryLoaded() const { return client_.Loaded(); }
    // Where the client library is looked for from now on, in order, as long
    // as none is loaded yet.
    void PreferClientLibraries(std::vector<std::string> libraryNames);
    // Loads the client library, if not yet loaded; false when none of the
    // names loads. Traces nothing.
    bool LoadClient();

    // Why the last OpenDatabase failed, as far as it is not the file's fault:
    // no client library, or a client whose installation, account or server
    // cannot serve the attachment (a character set it lacks, no engine, a
    // password database it cannot open).
    enum class OpenFailure { None, NoClient, Installation, Other };
    OpenFailure LastOpenFailure() const { return lastOpenFailure_; }

    // What the stage holds of the connection: the three objects between
    // OpenDatabase and CloseDatabase, and after a failure whatever that
    // failure left. For looking only.
    struct ConnectionView {
        const TIBDatabase* database = nullptr;
        const TIBTransaction* transaction = nullptr;
        const TIBSQL* sql = nullptr;
    };
    ConnectionView Connection() const { return {Database.get(), Transaction.get(), Sql.get()}; }

private:
    // Declared before the members below so that it outlives them.
    TraceSink& trace_;
    fb::ClientLoader client_;

    void CloseAndRelease();
    void LogClient() const;
    void CancelStatement();
    bool lastDeleteCancelled_ = false;
    // The route cannot cancel the statement under way, and the pane has said
    // that the stop waits for its end.
    bool cancelRefused_ = false;
    // Attaches to `path` on an attachment of its own and runs each select,
    // which returns one SMALLINT; nothing when any of it fails.
    std::optional<std::vector<short>> QuerySmallints(const std::string& path, const std::vector<std::string>& selects);
    // Attaches to `path` on an attachment of its own, hands `use` a
    // statement in a transaction there, commits and detaches; false when
    // any of it fails, with the cause in the support log.
    bool WithOwnAttachment(const std::string& path, const std::function<void(TIBSQL&)>& use);
    // Attaches to `path` with the built-in account and the `extra` items,
    // and detaches; throws what the client throws.
    void AttachAndDetach(const std::string& path, const std::vector<std::string>& extra);
    OpenFailure lastOpenFailure_ = OpenFailure::None;
    DeletedRows lastDeleted_;
    long long RunStatement(const std::string& text);

    std::unique_ptr<TIBDatabase> Database;
    std::unique_ptr<TIBTransaction> Transaction;
    std::unique_ptr<TIBSQL> Sql;
};
