#include "tools/StationCommand.h"

#include "app/config/FileStore.h"
#include "app/config/ProfileFile.h"
#include "app/config/StationConfig.h"
#include "data/DatabaseError.h"
#include "data/DatabaseSetup.h"
#include "data/Schema.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

#include <QString>

namespace kelvora {

namespace {

namespace fs = std::filesystem;

const char* const kUsage = "usage: kelvora-tool station init DIR [--demo] [--port PATH]\n";
const char* const kHelpName = "帮助文件.pdf";
const char* const kRemoved = "; what this command had made was removed again";

/// A refusal or failure; the message is printed as it is.
class StationInitError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct InitOptions {
    fs::path dir;
    bool demo = false;
    std::optional<std::string> port;
};

bool parseOptions(int argc, char** argv, InitOptions& options) {
    if (argc < 2 || std::string(argv[1]) != "init") {
        return false;
    }
    bool haveDir = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--demo") {
            options.demo = true;
        } else if (arg == "--port" && i + 1 < argc) {
            options.port = argv[++i];
        } else if (arg.rfind("--port=", 0) == 0) {
            options.port = arg.substr(7);
        } else if (arg.rfind("--", 0) == 0 || arg.empty() || haveDir) {
            return false;
        } else {
            options.dir = arg;
            haveDir = true;
        }
    }
    return haveDir && (!options.port || !options.port->empty());
}

/// The manual where the build puts it and where `cmake --install` puts it: share/kelvora beside bin/.
fs::path helpPdfBesideExecutable() {
    // Linux: the running executable's own path.
    const fs::path executable = fs::read_symlink("/proc/self/exe");
    return executable.parent_path().parent_path() / "share" / "kelvora" / kHelpName;
}

/// The first entry of dir whose name matches name without regard to ASCII letter case, as the station and the
/// settings code look names up.
std::optional<fs::path> findCaseBlind(const fs::path& dir, const std::string& name) {
    const auto lower = [](std::string text) {
        for (char& c : text) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        return text;
    };
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        if (lower(entry.path().filename().string()) == lower(name)) {
            return entry.path();
        }
    }
    return std::nullopt;
}

void checkFolder(const fs::path& dir) {
    std::error_code error;
    const fs::file_status status = fs::status(dir, error);
    if (!fs::exists(status)) {
        return;
    }
    if (!fs::is_directory(status)) {
        throw StationInitError(dir.string() + " exists and is not a folder; nothing was changed");
    }
    for (const char* name : {"database.mdb", "Option.ini"}) {
        if (const auto found = findCaseBlind(dir, name)) {
            throw StationInitError(dir.string() + " already holds " + found->filename().string() +
                                   ": a station folder is prepared only once, so that its records and settings "
                                   "are never overwritten; nothing was changed");
        }
    }
    const fs::path backup = dir / "Backup";
    if (fs::exists(fs::symlink_status(backup)) && !fs::is_directory(backup)) {
        throw StationInitError(backup.string() + " exists and is not a folder; nothing was changed");
    }
}

/// What the command made, removed again when a later step fails.
class Undo {
public:
    void add(fs::path path) { m_paths.push_back(std::move(path)); }
    void commit() { m_paths.clear(); }
    ~Undo() {
        for (auto it = m_paths.rbegin(); it != m_paths.rend(); ++it) {
            std::error_code ignored; // best effort: the failure that brought us here is what gets reported
            fs::remove_all(*it, ignored);
        }
    }

private:
    std::vector<fs::path> m_paths;
};

/// Creates dir and its missing parents, registering the topmost one created with undo.
void createFolder(const fs::path& dir, Undo& undo) {
    fs::path topmost;
    for (fs::path p = dir; !p.empty() && !fs::exists(p); p = p.parent_path()) {
        topmost = p;
        if (p == p.parent_path()) {
            break;
        }
    }
    if (!topmost.empty()) {
        undo.add(topmost); // also when only some of the parents could be made
    }
    std::error_code error;
    fs::create_directories(dir, error);
    if (error) {
        throw StationInitError("cannot create " + dir.string() + ": " + error.message());
    }
}

void copyHelp(const fs::path& from, const fs::path& to, Undo& undo) {
    const fs::path part = to.string() + ".part";
    undo.add(part);
    std::error_code error;
    fs::copy_file(from, part, fs::copy_options::overwrite_existing, error);
    if (!error) {
        fs::rename(part, to, error);
    }
    if (error) {
        throw StationInitError("cannot copy " + from.string() + " to " + to.string() + ": " + error.message() +
                               kRemoved);
    }
}

void initStationFolder(const InitOptions& options) {
    const fs::path dir = fs::absolute(options.dir).lexically_normal();
    const fs::path help = helpPdfBesideExecutable();
    if (!fs::is_regular_file(help)) {
        throw StationInitError("the operator's manual was not found at " + help.string() +
                               " (it is built with the program and installed to share/kelvora); nothing was changed");
    }
    const std::string profile = StationConfig::newStationProfile(options.port);
    checkFolder(dir);

    Undo undo;
    createFolder(dir, undo);
    // Each step leaves nothing behind when it fails itself, so what it made is registered once it succeeded.
    const fs::path database = dir / "database.mdb";
    database_setup::initDatabase(QString::fromStdString(database.string()), options.demo);
    undo.add(database);
    const fs::path ini = dir / "Option.ini";
    if (!FileStore::replace(ini.string(), profile)) {
        throw StationInitError("cannot write " + ini.string() + kRemoved);
    }
    undo.add(ini);
    const fs::path backup = dir / "Backup";
    if (!fs::exists(backup)) {
        undo.add(backup);
        std::error_code error;
        if (!fs::create_directory(backup, error)) {
            throw StationInitError("cannot create " + backup.string() + ": " + error.message() + kRemoved);
        }
    }
    copyHelp(help, dir / kHelpName, undo);
    undo.commit();
}

void printSummary(const InitOptions& options) {
    const fs::path dir = fs::absolute(options.dir).lexically_normal();
    const std::string port = options.port.value_or(SettingsWindowValues{}.comName);
    std::printf("Prepared the station folder %s:\n"
                "  database.mdb  the tables XH, weight and users; user admin, initial password %s%s\n"
                "  Option.ini    the default settings, serial port %s\n"
                "  Backup/       for the initialization's backups\n"
                "  %s  the operator's manual\n"
                "Start the station there: kelvora --dir %s\n",
                dir.c_str(), qPrintable(schema::kInitialPassword), options.demo ? "; demo models" : "", port.c_str(),
                kHelpName, dir.c_str());
    if (!options.port || options.port->front() != '/') {
        return;
    }
    if (!fs::exists(*options.port)) {
        std::fprintf(stderr, "note: %s does not exist now; the station opens it when a run starts\n",
                     options.port->c_str());
    } else if (::access(options.port->c_str(), R_OK | W_OK) != 0) {
        std::fprintf(stderr,
                     "note: this user may not open %s; serial ports belong to the group dialout "
                     "(sudo usermod -a -G dialout USER, then log in again)\n",
                     options.port->c_str());
    }
}

} // namespace

int runStationCommand(int argc, char** argv) {
    InitOptions options;
    if (!parseOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    try {
        initStationFolder(options);
    } catch (const ProfileValueError& e) {
        std::fprintf(stderr, "kelvora-tool station init: %s\n%s", e.what(), kUsage);
        return 2;
    } catch (const StationInitError& e) {
        std::fprintf(stderr, "kelvora-tool station init: %s\n", e.what());
        return 1;
    } catch (const std::runtime_error& e) { // DatabaseError, std::filesystem::filesystem_error
        std::fprintf(stderr, "kelvora-tool station init: %s; what this command had made was removed again\n", e.what());
        return 1;
    }
    printSummary(options);
    return 0;
}

} // namespace kelvora
