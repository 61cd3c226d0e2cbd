// quellmark-cli: converts and inspects JWW and JWS drawings from the command line.
#include "commands.h"

#include <iostream>

int main(int argc, char** argv) {
    using namespace quellmark::cli;
    CLI::App app{"Quellmark: marks the dimensions of JWW and JWS drawings"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "quellmark-cli 1.0.0");
    auto runInfo = AddInfoCommand(app);
    auto runConvert = AddConvertCommand(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }
    try {
        if (app.got_subcommand("info")) return runInfo();
        if (app.got_subcommand("convert")) return runConvert();
    } catch (const std::exception& e) {
        std::cerr << "quellmark-cli: " << e.what() << "\n";
        return kExitUsage;
    }
    return kExitUsage;
}
