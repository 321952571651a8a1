// Makes a new clock database from the schema and the rows it ships with.
// Never touches an existing file: a user's database outlives every build.
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string readFile(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return in ? text.str() : std::string();
}

bool run(sqlite3 *db, const std::string &sql, const char *what)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    std::fprintf(stderr, "mkclockdb: %s: %s\n", what, message ? message : "unknown error");
    sqlite3_free(message);
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: mkclockdb SCHEMA.sql ROWS.sql Clock103.mdb\n");
        return 2;
    }
    const std::filesystem::path target = argv[3];
    if (std::filesystem::exists(target))
        return 0;

    const std::string schema = readFile(argv[1]);
    const std::string rows = readFile(argv[2]);
    if (schema.empty() || rows.empty()) {
        std::fprintf(stderr, "mkclockdb: cannot read %s or %s\n", argv[1], argv[2]);
        return 1;
    }

    // Build beside the target and rename, so an interrupted build leaves no half database.
    const std::filesystem::path partial = target.string() + ".new";
    std::filesystem::remove(partial);
    sqlite3 *db = nullptr;
    bool ok = sqlite3_open(partial.c_str(), &db) == SQLITE_OK;
    ok = ok && run(db, "BEGIN", "begin");
    ok = ok && run(db, schema, "schema");
    ok = ok && run(db, rows, "rows");
    ok = ok && run(db, "COMMIT", "commit");
    if (db)
        sqlite3_close(db);
    if (!ok) {
        std::filesystem::remove(partial);
        return 1;
    }
    std::filesystem::rename(partial, target);
    std::printf("mkclockdb: made %s\n", target.c_str());
    return 0;
}
