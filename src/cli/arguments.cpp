// Checks the command line's options by the declarations the parser holds: the names each program
// and command knows, and which of them take a value.
#include "arguments.h"

#include <map>

namespace quellmark::cli {

namespace {

// One option as the user spelled it ("-o", "--output").
struct Given {
    const CLI::Option* option = nullptr;
    std::string spelling;
};

const CLI::Option* Declared(const CLI::App& app, const std::string& spelling) {
    const CLI::Option* option = app.get_option_no_throw(spelling);
    return option && option->nonpositional() ? option : nullptr;
}

bool TakesValue(const CLI::Option& option) { return option.get_items_expected_min() > 0; }

}  // namespace

std::string ArgumentProblem(const CLI::App& program, const std::vector<std::string>& words) {
    const CLI::App* app = &program;
    std::map<const CLI::Option*, std::string> given;
    // Notes one option; the problem when it was there before.
    auto note = [&](const Given& g) -> std::string {
        const auto [it, first] = given.emplace(g.option, g.spelling);
        return first ? std::string() : g.spelling + " given twice";
    };
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--") break;
        if (word.size() < 2 || word[0] != '-') {
            // The first word of the program is its command; the rest are the command's names.
            if (app == &program) {
                const auto named = program.get_subcommands([&](const CLI::App* c) { return c->get_name() == word; });
                if (named.empty()) return {};
                app = named.front();
                given.clear();
            }
            continue;
        }
        if (word[1] == '-') {
            const std::size_t equals = word.find('=');
            const std::string spelling = word.substr(0, equals);
            const CLI::Option* option = Declared(*app, spelling);
            if (!option) return "unknown option '" + spelling + "'";
            if (TakesValue(*option) && equals == std::string::npos) {
                if (i + 1 >= words.size()) return spelling + " needs a value";
                ++i;
            }
            if (std::string problem = note({option, spelling}); !problem.empty()) return problem;
            continue;
        }
        // Short options, which may stand together ("-rq"); one that takes a value takes the
        // rest of the word, or the next word.
        for (std::size_t j = 1; j < word.size(); ++j) {
            const std::string spelling = std::string("-") + word[j];
            const CLI::Option* option = Declared(*app, spelling);
            if (!option) return "unknown option '" + spelling + "'";
            if (std::string problem = note({option, spelling}); !problem.empty()) return problem;
            if (TakesValue(*option)) {
                if (j + 1 == word.size()) {
                    if (i + 1 >= words.size()) return spelling + " needs a value";
                    ++i;
                }
                break;
            }
        }
    }
    return {};
}

std::vector<std::string> ExtraWords(const CLI::App& program) { return program.remaining(true); }

}  // namespace quellmark::cli
