// `quellmark-cli convert`: placeholder until the conversion driver lands.
#include "commands.h"

namespace quellmark::cli {

std::function<int()> AddConvertCommand(CLI::App&) {
    return [] { return kExitUsage; };
}

}  // namespace quellmark::cli
