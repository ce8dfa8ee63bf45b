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

// An option with a value, "NAME VALUE" or "NAME=VALUE", at args[i]: Absent when args[i] is
// another argument, Missing when NAME ends the arguments; Given puts the value in `value` and
// moves i past it.
enum class OptionValue { Absent, Missing, Given };
inline OptionValue optionValue(const std::vector<std::string>& args, std::size_t& i,
                               std::string_view name, std::string& value) {
    const std::string& arg = args[i];
    if (arg == name) {
        if (i + 1 == args.size()) return OptionValue::Missing;
        value = args[++i];
        return OptionValue::Given;
    }
    if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
        value = arg.substr(name.size() + 1);
        return OptionValue::Given;
    }
    return OptionValue::Absent;
}

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
        std::string value;
        const OptionValue option = optionValue(args, i, "--workdb", value);
        if (option == OptionValue::Missing) return usageError("--workdb necesita una carpeta");
        if (option == OptionValue::Given) {
            folder = value;
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
    // Arguments arrive as UTF-8 on every platform (see console.h).
    auto fromUtf8 = [](const std::string& text) {
        return std::filesystem::path(std::u8string(text.begin(), text.end()));
    };
    parsed.file = fromUtf8(*file);
    parsed.workDb = workDb ? fromUtf8(*workDb) : store::defaultWorkDb();
    return parsed;
}

}  // namespace lindavex::cli
