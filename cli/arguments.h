#pragma once
// The arguments the commands take: one positional argument (CENTRO.xml; restaurar's copy, which
// may be left out), [--workdb DIR | --workdb=DIR], or --help.
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "store/workdb/workdb.h"

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

// A usage error: the problem on standard error, then the usage text.
inline void printUsageError(std::string_view command, const std::string& problem) {
    std::cerr << command << ": " << problem << "\n\n";
    printUsage(std::cerr);
}

// --formato texto|csv, which the commands that list findings take, taken out of the arguments;
// the others are left in order in `rest`.
struct OutputFormat {
    bool csv = false;
    std::vector<std::string> rest;
};

// No value on a usage error, reported as printUsageError does: the command exits with 2.
inline std::optional<OutputFormat> takeOutputFormat(std::string_view command,
                                                    const std::vector<std::string>& args) {
    OutputFormat format;
    std::optional<std::string> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string value;
        const OptionValue option = optionValue(args, i, "--formato", value);
        if (option == OptionValue::Absent) {
            format.rest.push_back(args[i]);
            continue;
        }
        std::string problem;
        if (option == OptionValue::Missing) {
            problem = "--formato necesita texto o csv";
        } else if (given) {
            problem = "--formato dado dos veces";
        } else if (value != "csv" && value != "texto") {
            problem = "--formato necesita texto o csv, no " + value;
        }
        if (!problem.empty()) {
            printUsageError(command, problem);
            return std::nullopt;
        }
        given = value;
        format.csv = value == "csv";
    }
    return format;
}

// The one argument a command takes besides its options, as usage errors name it.
struct Positional {
    const char* missing;  // the error when it is left out; nullptr when it may be
    const char* twice;    // the error when a second one is given
};
inline constexpr Positional kCentreFile{"falta el archivo del centro",
                                        "solo un archivo del centro"};

// No value on a usage error: it is reported on standard error with the usage text, and the
// command exits with 2. `file` is empty when the positional argument may be and was left out.
inline std::optional<CommandArguments> parseArguments(std::string_view command,
                                                      const std::vector<std::string>& args,
                                                      const Positional& positional = kCentreFile) {
    auto usageError = [command](const std::string& problem) {
        printUsageError(command, problem);
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
            return usageError(positional.twice);
        } else {
            file = arg;
        }
        if (folder && (workDb || folder->empty()))
            return usageError(workDb ? "--workdb dado dos veces" : "--workdb necesita una carpeta");
        if (folder) workDb = *folder;
    }
    if (!file && positional.missing != nullptr) return usageError(positional.missing);
    // Arguments arrive as UTF-8 on every platform (see console.h).
    auto fromUtf8 = [](const std::string& text) {
        return std::filesystem::path(std::u8string(text.begin(), text.end()));
    };
    if (file) parsed.file = fromUtf8(*file);
    parsed.workDb = workDb ? fromUtf8(*workDb) : store::defaultWorkDb();
    return parsed;
}

}  // namespace lindavex::cli
