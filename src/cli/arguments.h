// The words of the command line checked against the options the program and its commands
// declare, before the parser sees them, so that each mistake is said in the program's own words.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace quellmark::cli {

// The first mistake among the words (words[0] is the program): an option nobody declares, an
// option without its value, an option given twice; empty when there is none. Words after "--"
// are names. A word that is no command is left to the caller.
std::string ArgumentProblem(const CLI::App& program, const std::vector<std::string>& words);

// The words a command was given beyond those it takes, after the parser refused them.
std::vector<std::string> ExtraWords(const CLI::App& program);

}  // namespace quellmark::cli
