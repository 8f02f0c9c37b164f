#include "cli/CommandLine.h"
#include "cli/CommandOptions.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <set>
#include <sstream>

namespace rz417::cli {
namespace {

bool isWordChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
}

// The options that the manual page names, as "--name" and "-p". std::regex is not used: g++ 12
// warns inside it under the sanitizers' optimisation.
std::set<std::string> manualOptions()
{
    std::ifstream in(RZ417_MANUAL_PAGE);
    std::stringstream text;
    text << in.rdbuf();
    std::string page;
    for (const char c : text.str()) {
        if (c == '-' && !page.empty() && page.back() == '\\')
            page.back() = '-';
        else
            page += c;
    }
    std::set<std::string> names;
    for (std::size_t at = 0; (at = page.find('-', at)) != std::string::npos;) {
        if (at > 0 && isWordChar(page[at - 1])) {
            at = page.find_first_not_of("-", at);
            continue;
        }
        std::size_t end = at + 1;
        const bool isLong = end < page.size() && page[end] == '-';
        if (isLong)
            ++end;
        const std::size_t first = end;
        while (isLong && end < page.size() &&
               (std::islower(static_cast<unsigned char>(page[end])) ||
                (page[end] == '-' && end > first && end + 1 < page.size() &&
                 std::islower(static_cast<unsigned char>(page[end + 1])))))
            ++end;
        const bool ends = end == page.size() || !isWordChar(page[end]);
        if (isLong && end > first && ends)
            names.insert(page.substr(at, end - at));
        else if (!isLong && end == first && end < page.size() &&
                 std::isalpha(static_cast<unsigned char>(page[end])) &&
                 (end + 1 == page.size() || !isWordChar(page[end + 1])))
            names.insert(page.substr(at, 2));
        at = end == at ? at + 1 : end;
    }
    return names;
}

// The text with each line's break and indent as one space, as a wrapped help line reads.
std::string oneLine(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') {
            out += text[i];
            continue;
        }
        const std::size_t next = text.find_first_not_of(' ', i + 1);
        if (next == i + 1 || next == std::string::npos) {
            out += text[i];
            continue;
        }
        out += ' ';
        i = next - 1;
    }
    return out;
}

TEST(CommandLineTable, EveryOptionInTheHelpAndTheManualPage)
{
    const std::set<std::string> manual = manualOptions();
    ASSERT_GT(manual.size(), 10U) << RZ417_MANUAL_PAGE;
    std::set<std::string> table;
    for (const options::OptionInfo &option : commandGrammar().options) {
        const std::string name(option.name);
        table.insert(name);
        const std::string owner(option.scope);
        if (owner == "run" || owner == "serve" || kinds::kindNamed(owner)) {
            EXPECT_NE(oneLine(helpText(owner)).find(std::string(option.help)), std::string::npos)
                << name << "'s help is not in 'rz417ctl help " << owner << "'";
        } else {
            EXPECT_NE(helpText().find(name), std::string::npos) << name << " is not in --help";
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
    for (const char *topic : {"", "run", "serve", "battery", "ocp", "opp", "sweep", "dcir"}) {
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
