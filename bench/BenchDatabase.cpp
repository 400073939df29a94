#include "bench/BenchDatabase.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "bench/ChildProcess.h"
#include "clean/CutOffText.h"
#include "clean/SharedStrings.h"

namespace {

// Firebird packs runs of equal bytes, so a repeated character would make
// rows far narrower on disk than real messages; slices of varied text do not.
constexpr const char* MessageText =
    "Session closed by the scheduler after the nightly export of 4711 invoices; 12 warnings were written to the "
    "journal, the queue was drained in 3.2 s and the cache of price lists was rebuilt from branch office data "
    "before the morning shift, while operator Petrova confirmed receipt of goods at warehouse No. 5 and the "
    "courier left with parcels 88-14 and 88-15 for the district depot, reporting a delay caused by roadworks";

std::string TimestampLiteral(const TDateTime& at)
{
    char text[64];
    std::snprintf(text, sizeof text, "TIMESTAMP '%04d-%02d-%02d %02d:%02d:%02d'", at.year, at.month, at.day,
                  at.hour, at.minute, at.second);
    return text;
}

// The cut-off as the tool's database stage writes it into its deletes.
std::string QuotedCutOff(const TDateTime& cutOff)
{
    std::string quoted(1, '\'');
    quoted += CutOffText(cutOff);
    quoted += '\'';
    return quoted;
}

std::string Account()
{
    return " USER '" + UserName + "' PASSWORD '" + Password + "'";
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Run(const std::vector<std::string>& arguments, const std::string& scratch, const std::string& step)
{
    const std::string log = scratch + "/" + step + ".log";
    if (!RunChild(arguments, log).succeeded)
        throw std::runtime_error(step + " failed; see " + log);
}

void RunScript(const std::string& script, const std::string& scratch, const std::string& step)
{
    const std::string file = scratch + "/" + step + ".sql";
    WriteText(file, script);
    Run({"isql-fb", "-q", "-b", "-i", file}, scratch, step);
}

void SetForcedWrites(const std::string& path, bool on, const std::string& scratch)
{
    Run({"gfix", "-write", on ? "sync" : "async", "-user", UserName, "-password", Password, path}, scratch,
        on ? "forced-writes-on" : "forced-writes-off");
}

std::string FillScript(const std::string& path, long rows, const TDateTime& cutOff)
{
    // Row i is stamped (i - rows/2) half-minutes from the cut-off, so exactly
    // rows/2 rows of each table lie before it.
    const std::string at = "DATEADD((:i - :half) * 30 SECOND TO " + TimestampLiteral(cutOff) + ")";
    std::ostringstream sql;
    sql << "CONNECT '" << path << "'" << Account() << ";\n"
        << "SET TERM ^;\n"
        << "EXECUTE BLOCK AS\n"
        << "DECLARE i INTEGER = 0;\n"
        << "DECLARE n INTEGER = " << rows << ";\n"
        << "DECLARE half INTEGER = " << rows / 2 << ";\n"
        << "DECLARE t VARCHAR(500) = '" << MessageText << "';\n"
        << "BEGIN\n"
        << "  WHILE (i < n) DO BEGIN\n"
        << "    INSERT INTO log VALUES (:i, " << at << ", 'user' || MOD(:i, 37),\n"
        << "      SUBSTRING(:t FROM 1 + MOD(:i * 7, 200) FOR 100 + MOD(:i, 101)));\n"
        << "    INSERT INTO ERRORS_LOG VALUES (:i, DATEADD(-MOD(:i, 50) SECOND TO " << at << "), " << at
        << ", 'user' || MOD(:i, 37), MOD(:i * 31, 1000),\n"
        << "      SUBSTRING(:t FROM 1 + MOD(:i * 13, 200) FOR 100 + MOD(:i * 3, 101)));\n"
        << "    i = i + 1;\n"
        << "  END\n"
        << "END^\n"
        << "SET TERM ;^\n"
        << "COMMIT;\n";
    return sql.str();
}

long long CountAfter(const std::string& output, const std::string& name)
{
    // SET LIST ON prints one "NAME   value" line per column.
    const std::string::size_type at = output.find(name + " ");
    if (at == std::string::npos)
        throw std::runtime_error("no " + name + " in isql output:\n" + output);
    return std::stoll(output.substr(at + name.size()));
}

}  // namespace

void CreateBenchDatabase(const std::string& path, long rows, const TDateTime& cutOff, const std::string& scratch)
{
    std::remove(path.c_str());
    RunScript("CREATE DATABASE '" + path + "'" + Account() +
                  " DEFAULT CHARACTER SET WIN1251;\n"
                  "CREATE TABLE log (id INTEGER NOT NULL PRIMARY KEY, log_time TIMESTAMP NOT NULL,\n"
                  "  user_name VARCHAR(31), message VARCHAR(250));\n"
                  "CREATE TABLE ERRORS_LOG (id INTEGER NOT NULL PRIMARY KEY, ERR_BEGIN TIMESTAMP,\n"
                  "  ERR_END TIMESTAMP NOT NULL, user_name VARCHAR(31), error_code INTEGER, message VARCHAR(250));\n"
                  "COMMIT;\n",
              scratch, "create");
    // Filling with every page write flushed would take minutes for nothing
    // the benchmark measures; the finished file gets the default back.
    SetForcedWrites(path, false, scratch);
    RunScript(FillScript(path, rows, cutOff), scratch, "fill");
    SetForcedWrites(path, true, scratch);
}

RowCounts CountRows(const std::string& path, const TDateTime& cutOff, const std::string& scratch)
{
    const std::string before = QuotedCutOff(cutOff);
    const std::string file = scratch + "/count.sql";
    WriteText(file, "CONNECT '" + path + "'" + Account() +
                        ";\nSET LIST ON;\n"
                        "SELECT (SELECT COUNT(*) FROM log) AS LOG_ROWS,\n"
                        "  (SELECT COUNT(*) FROM ERRORS_LOG) AS ERRORS_ROWS,\n"
                        "  (SELECT COUNT(*) FROM log WHERE log_time<" +
                        before +
                        ") AS LOG_OLD,\n"
                        "  (SELECT COUNT(*) FROM ERRORS_LOG WHERE ERR_END<" +
                        before + ") AS ERRORS_OLD\nFROM RDB$DATABASE;\n");
    const std::string log = scratch + "/count.log";
    if (!RunChild({"isql-fb", "-q", "-b", "-i", file}, log).succeeded)
        throw std::runtime_error("counting rows failed; see " + log);
    const std::string output = ReadText(log);
    return {CountAfter(output, "LOG_ROWS"), CountAfter(output, "ERRORS_ROWS"), CountAfter(output, "LOG_OLD"),
            CountAfter(output, "ERRORS_OLD")};
}

std::string ManualDeleteScript(const TDateTime& cutOff)
{
    const std::string before = QuotedCutOff(cutOff);
    return "DELETE FROM log WHERE log_time<" + before + ";\nCOMMIT;\n" +
           "DELETE FROM ERRORS_LOG WHERE ERR_END<" + before + ";\nCOMMIT;\n";
}
