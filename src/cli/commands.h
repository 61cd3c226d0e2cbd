// The commands of quellmark-cli, each registered on the application and run after parsing, and
// what they share: exit statuses and the form of error messages.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quellmark::cli {

inline constexpr const char* kProgramName = "quellmark-cli";

// Exit statuses shared by every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;

// A mistake in what the command was asked to do, found before any work starts.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes "quellmark-cli: MESSAGE" on stderr, the form of every error and notice.
void Complain(const std::string& message);
// Says a usage error with the hint where to read more (the command's help, or the program's
// when command is empty); returns the usage status.
int RefuseUsage(const std::string& message, const std::string& command);

// The usage line of a command's help: what follows "quellmark-cli COMMAND" ("[OPTIONS] -o DEST
// [SOURCE...]"), where the parser's own line would hide what the command needs.
void SetUsage(CLI::App& command, const std::string& usage);

// Writes data to stdout; a write that fails (a full disk, a closed file) is remembered.
void WriteOut(std::string_view text);
// Whether some data could not be written to stdout (flushing what waits first), with why.
bool OutputFailed(std::string& why);

// Each returns the function that runs the command once the arguments are parsed.
std::function<int()> AddInfoCommand(CLI::App& app);
std::function<int()> AddConvertCommand(CLI::App& app);
std::function<int()> AddPreviewCommand(CLI::App& app);

}  // namespace quellmark::cli
