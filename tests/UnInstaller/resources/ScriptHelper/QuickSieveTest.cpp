// QuickSieve: never turns away a string it was given, and turns away most others.

#include "UnInstaller/resources/ScriptHelper/QuickSieve.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using scripthelper::QuickSieve;

std::string modulePath(int i)
{
    char path[96];
    std::snprintf(path, sizeof path, "/Library/Printers/Tavix/M%06d/M%06d.plugin", i, i);
    return path;
}

TEST(QuickSieve, HoldsWhatItWasGivenAndRulesOutMostPathsAndIdentifiersLikeThem)
{
    struct Case {
        const char* what;
        std::string (*text)(int);
    };
    const Case cases[] = {
        {"install paths that differ in their last components", modulePath},
        {"install paths that differ only in a folder", [](int i) { return "/Library/Printers/Tavix/M" + std::to_string(i) + "/M.plugin"; }},
        {"identifiers of one pattern", [](int i) { return "8C1F" + std::to_string(1000000 + i); }},
        {"short texts", [](int i) { return std::to_string(i); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QuickSieve sieve;
        for (int i = 0; i < 10; ++i)
            sieve.add(c.text(i * 977));
        for (int i = 0; i < 10; ++i)
            EXPECT_TRUE(sieve.mayHold(c.text(i * 977)));
        int passed = 0;
        for (int i = 0; i < 10000; ++i)
            passed += i % 977 != 0 && sieve.mayHold(c.text(i)) ? 1 : 0;
        // Ten bits of 4,096 set: about 25 of 10,000 others pass.
        EXPECT_LT(passed, 100) << "of 10,000 others";
    }
    EXPECT_FALSE(QuickSieve().mayHold(""));
}

}  // namespace
