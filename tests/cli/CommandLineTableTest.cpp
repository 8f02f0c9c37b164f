#include "cli/CommandLine.h"
#include "cli/CommandOptions.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace rz417::cli {
namespace {

// The options that the manual page names, as "--name" and "-p".
std::set<std::string> manualOptions()
{
    std::ifstream in(RZ417_MANUAL_PAGE);
    std::stringstream text;
    text << in.rdbuf();
    std::string page = std::regex_replace(text.str(), std::regex(R"(\\-)"), "-");
    std::set<std::string> names;
    const std::regex option(R"((^|[^\w-])(--[a-z]+(-[a-z]+)*|-[a-zA-Z])\b)");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), option);
         it != std::sregex_iterator(); ++it)
        names.insert((*it)[2]);
    return names;
}

// The text with each line's break and indent as one space, as a wrapped help line reads.
std::string oneLine(const std::string &text)
{
    return std::regex_replace(text, std::regex(R"(\n +)"), " ");
}

TEST(CommandLineTable, EveryOptionInTheHelpAndTheManualPage)
{
    const std::set<std::string> manual = manualOptions();
    ASSERT_GT(manual.size(), 10U) << RZ417_MANUAL_PAGE;
    std::set<std::string> table;
    for (const options::OptionInfo &option : commandGrammar().options) {
        const std::string name(option.name);
        table.insert(name);
        EXPECT_NE(helpText().find(name), std::string::npos) << name << " is not in --help";
        const std::string owner(option.scope);
        if (owner == "run" || owner == "serve" || owner == "battery") {
            EXPECT_NE(oneLine(helpText(owner)).find(std::string(option.help)), std::string::npos)
                << name << "'s help is not in 'rz417ctl help " << owner << "'";
        }
        EXPECT_TRUE(manual.count(name)) << name << " is not in the manual page";
        if (option.shortName) {
            const std::string shortName = std::string("-") + option.shortName;
            table.insert(shortName);
            EXPECT_TRUE(manual.count(shortName)) << shortName << " is not in the manual page";
        }
    }
    for (const std::string &name : manual)
        EXPECT_TRUE(table.count(name) || name.rfind("--", 0) != 0)
            << "the manual page names " << name << ", which rz417ctl does not take";
}

TEST(CommandLineTable, HelpFitsAScreenAndNamesEachCommandsOptions)
{
    for (const char *topic : {"", "run", "serve", "battery"}) {
        std::istringstream text(helpText(topic));
        int lines = 0;
        for (std::string line; std::getline(text, line); ++lines)
            EXPECT_LE(line.size(), 80U) << topic << ": " << line;
        EXPECT_LE(lines, 24) << topic;
    }
    const struct
    {
        std::vector<std::string> args;
        const char *topic;
    } rows[] = {
        {{"--help"}, ""},
        {{"battery", "--help"}, "battery"},
        {{"-p", "1", "Serve", "-h", "--listen", "x"}, "serve"},
        {{"help", "run"}, "run"},
        {{"-vh"}, ""},
    };
    for (const auto &row : rows) {
        const ParsedCommandLine parsed = parseCommandLine(row.args);
        EXPECT_EQ(parsed.invocation.action, Action::Help) << row.args.front() << parsed.error;
        EXPECT_EQ(parsed.invocation.helpTopic, row.topic) << row.args.front();
    }
    EXPECT_NE(parseCommandLine({"help", "frob"}).error.find("help takes one of run"),
              std::string::npos);
}

} // namespace
} // namespace rz417::cli
