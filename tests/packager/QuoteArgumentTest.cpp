#include "automation/CommandLine.h"

#include <gtest/gtest.h>

namespace {

// What the C runtime reads back is the argument itself.
TEST(QuoteArgument, SurvivesTheCRuntimesSplitting)
{
    const struct {
        const char* argument;
        const char* quoted;
    } cases[] = {
        {"", R"("")"},
        {"C:\\Program Files\\App", R"("C:\Program Files\App")"},
        {"C:\\Dir\\", R"("C:\Dir\\")"},                // a backslash before the closing quote
        {"C:\\Dir\\\\", R"("C:\Dir\\\\")"},            // two of them
        {"say \"hi\"", R"("say \"hi\"")"},             // embedded quotes
        {"a\\\"b", R"("a\\\"b")"},                     // a backslash before a quote
        {"\\\\server\\share", R"("\\server\share")"},  // backslashes elsewhere stay
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.quoted, QuoteArgument(c.argument)) << c.argument;
    }
}

}  // namespace
