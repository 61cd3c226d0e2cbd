// The subcommands of quellmark-cli, each registered on the application and run after parsing.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>

namespace quellmark::cli {

// Exit statuses shared by every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;

// Each returns the function that runs the subcommand once the arguments are parsed.
std::function<int()> AddInfoCommand(CLI::App& app);
std::function<int()> AddConvertCommand(CLI::App& app);

}  // namespace quellmark::cli
