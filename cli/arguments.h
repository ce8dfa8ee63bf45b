#pragma once
// The arguments both commands take: CENTRO.xml [--workdb DIR | --workdb=DIR], or --help.
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "store/workdb.h"

namespace lindavex::cli {

struct CommandArguments {
    std::filesystem::path file;    // as given
    std::filesystem::path workDb;  // store::defaultWorkDb() when not given
    bool help = false;             // --help or -h: print the usage text and exit with 0
};

// No value on a usage error: it is reported on standard error with the usage text, and the
// command exits with 2.
inline std::optional<CommandArguments> parseArguments(std::string_view command,
                                                      const std::vector<std::string>& args) {
    auto usageError = [command](const std::string& problem) {
        std::cerr << command << ": " << problem << "\n\n";
        printUsage(std::cerr);
        return std::nullopt;
    };
    CommandArguments parsed;
    std::optional<std::string> file;
    std::optional<std::string> workDb;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            return parsed;
        }
        std::optional<std::string> folder;
        if (arg == "--workdb") {
            if (i + 1 == args.size()) return usageError("--workdb necesita una carpeta");
            folder = args[++i];
        } else if (arg.rfind("--workdb=", 0) == 0) {
            folder = arg.substr(9);
        } else if (arg.size() > 1 && arg.front() == '-') {
            return usageError("opción desconocida " + arg);
        } else if (file) {
            return usageError("solo un archivo del centro");
        } else {
            file = arg;
        }
        if (folder && (workDb || folder->empty()))
            return usageError(workDb ? "--workdb dado dos veces" : "--workdb necesita una carpeta");
        if (folder) workDb = *folder;
    }
    if (!file) return usageError("falta el archivo del centro");
    parsed.file = *file;
    parsed.workDb = workDb ? std::filesystem::path(*workDb) : store::defaultWorkDb();
    return parsed;
}

}  // namespace lindavex::cli
