// quellmark-cli: converts, inspects and draws JWW and JWS drawings from the command line. This file
// holds what every command shares: the command word, help, the version and usage errors.
#include "../platform/console.h"
#include "../platform/system.h"
#include "arguments.h"
#include "commands.h"

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <map>

namespace {

using namespace quellmark::cli;

constexpr const char* kCommandList = "convert, info, preview and help";

// The command the arguments name: the first argument that is not an option; empty when there
// is none. No option of the program itself takes a value, so nothing else can stand first.
std::string CommandWord(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") return i + 1 < argc ? argv[i + 1] : "";
        if (!argument.starts_with("-")) return std::string(argument);
    }
    return {};
}

// The first failed write to stdout: its error, or 0.
int gOutputError = 0;

// CLI11 writes "[OPTIONS]" and the positionals into a usage line, so an option a command cannot
// do without (convert's -o DEST) would not show, and a required PATH would look optional: each
// command may write its own line instead.
class UsageFormatter final : public CLI::Formatter {
public:
    std::map<std::string, std::string> usages;  // the command's name -> what follows it

    std::string make_usage(const CLI::App* app, std::string name) const override {
        const auto it = usages.find(app->get_name());
        if (it == usages.end()) return CLI::Formatter::make_usage(app, std::move(name));
        return get_label("Usage") + ": " + name + " " + it->second + "\n";
    }
};

}  // namespace

void quellmark::cli::Complain(const std::string& message) { std::cerr << kProgramName << ": " << message << "\n"; }

void quellmark::cli::SetUsage(CLI::App& command, const std::string& usage) {
    if (const auto formatter = std::dynamic_pointer_cast<UsageFormatter>(command.get_formatter())) {
        formatter->usages[command.get_name()] = usage;
    }
}

int quellmark::cli::RefuseUsage(const std::string& message, const std::string& command) {
    Complain(message);
    std::cerr << "Try '" << kProgramName << " help" << (command.empty() ? "" : " " + command) << "' for more.\n";
    return kExitUsage;
}

void quellmark::cli::WriteOut(std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() && gOutputError == 0) gOutputError = errno;
}

bool quellmark::cli::OutputFailed(std::string& why) {
    if (std::fflush(stdout) != 0 && gOutputError == 0) gOutputError = errno;
    if (gOutputError == 0 && std::ferror(stdout)) gOutputError = EIO;
    if (gOutputError == 0) return false;
    why = "cannot write the output: " + quellmark::ErrorText(std::error_code(gOutputError, std::generic_category()));
    return true;
}

int main(int argc, char** rawArgv) {
    quellmark::PrepareConsole();
    // Each line reaches a pipe as soon as it is written, not when a buffer fills.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::vector<std::string> arguments = quellmark::Utf8Arguments(argc, rawArgv);
    std::vector<char*> argvUtf8;
    for (std::string& argument : arguments) argvUtf8.push_back(argument.data());
    argvUtf8.push_back(nullptr);
    argc = static_cast<int>(arguments.size());
    char** argv = argvUtf8.data();
    CLI::App app{"Quellmark marks the dimensions of JWW and JWS drawings.", kProgramName};
    app.require_subcommand(1);
    // Options start with a dash on every system; on Windows "/name" stays a path.
    app.allow_windows_style_options(false);
    // Set before the commands are added: each takes the program's formatter.
    app.formatter(std::make_shared<UsageFormatter>());
    app.get_formatter()->label("SUBCOMMAND", "COMMAND");
    app.set_version_flag("-V,--version", std::string(kProgramName) + " " + QUELLMARK_VERSION);
    app.footer(
        "Examples:\n"
        "  quellmark-cli convert -r -o converted drawings\n"
        "  quellmark-cli info -r drawings\n"
        "  quellmark-cli preview plan.jww -o plan.svg\n"
        "  quellmark-cli help convert");

    std::map<std::string, CLI::App*> commands;
    std::map<std::string, std::function<int()>> runs;
    auto add = [&](const std::string& name, std::function<int()> (*command)(CLI::App&)) {
        runs[name] = command(app);
        commands[name] = app.get_subcommand(name);
        commands[name]->group("Commands");
    };
    add("convert", AddConvertCommand);
    add("info", AddInfoCommand);
    add("preview", AddPreviewCommand);

    std::string topic;
    CLI::App* help = app.add_subcommand("help", "Show the help of the program or of one command");
    help->add_option("COMMAND", topic, "convert, info, preview or help");
    help->group("Commands");
    help->footer("Example:\n  quellmark-cli help convert");
    commands["help"] = help;
    runs["help"] = [&] {
        if (topic.empty()) {
            // app.help() would show the help command's own help, as it is the one parsed.
            WriteOut(app.get_formatter()->make_help(&app, kProgramName, CLI::AppFormatMode::Normal));
            return kExitOk;
        }
        auto it = commands.find(topic);
        if (it == commands.end()) {
            return RefuseUsage("unknown command '" + topic + "'; the commands are " + kCommandList, "");
        }
        WriteOut(it->second->help(kProgramName));
        return kExitOk;
    };

    const std::string word = CommandWord(argc, argv);
    if (!word.empty() && !runs.count(word)) {
        return RefuseUsage("unknown command '" + word + "'; the commands are " + kCommandList, "");
    }
    if (const std::string problem = ArgumentProblem(app, arguments); !problem.empty()) {
        return RefuseUsage(problem, word);
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {  // --help or --version
            const int status = app.exit(e);
            std::string why;
            if (!OutputFailed(why)) return status;
            Complain(why);
            return kExitSomeFailed;
        }
        if (word.empty() && dynamic_cast<const CLI::RequiredError*>(&e)) {
            return RefuseUsage(std::string("no command given; the commands are ") + kCommandList, "");
        }
        if (const std::vector<std::string> extra = ExtraWords(app);
            dynamic_cast<const CLI::ExtrasError*>(&e) && !extra.empty()) {
            return RefuseUsage("unexpected '" + extra.front() + "': '" + word + "' takes no more", word);
        }
        return RefuseUsage(e.what(), word);
    }
    int status;
    try {
        status = runs.at(word)();
    } catch (const UsageError& e) {
        return RefuseUsage(e.what(), word);
    } catch (const std::exception& e) {
        Complain(e.what());
        return kExitUsage;
    }
    // Data that never reached stdout (a full disk, a closed file) is a failure of its own.
    std::string why;
    if (OutputFailed(why)) {
        Complain(why);
        if (status == kExitOk) status = kExitSomeFailed;
    }
    return status;
}
