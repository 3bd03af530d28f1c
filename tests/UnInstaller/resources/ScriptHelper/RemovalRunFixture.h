#pragma once

#include "ScriptHelperSandbox.h"

#include <string>
#include <vector>

/// The lines as one text, for failure messages.
inline std::string joinLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

/// A sandbox with three registered module folders, Alpha, Beta and Gamma, under
/// Library/Printers/Tavix.
class RemovalRun : public ScriptHelperSandbox {
protected:
    void SetUp() override
    {
        ScriptHelperSandbox::SetUp();
        alpha = at("/Library/Printers/Tavix/Alpha/Alpha.plugin");
        beta = at("/Library/Printers/Tavix/Beta/Beta.plugin");
        gamma = at("/Library/Printers/Tavix/Gamma/Gamma.plugin");
        makeModuleFolder(alpha);
        makeModuleFolder(beta);
        makeModuleFolder(gamma);
        modules = {{"UUID-ALPHA", "Alpha vLX Module", alpha},
                   {"UUID-BETA", "Beta vLX Module", beta},
                   {"UUID-GAMMA", "Gamma vLX Module", gamma}};
    }

    std::string alpha, beta, gamma;
    std::vector<Module> modules;
};
