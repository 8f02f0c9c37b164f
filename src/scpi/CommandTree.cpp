#include "scpi/CommandTree.h"

namespace rz417::scpi {

namespace {

struct PatternNode
{
    std::string longForm; // upper case
    std::string shortForm;
    bool optional;
};

std::vector<PatternNode> patternNodes(const char *pattern)
{
    std::vector<PatternNode> nodes;
    bool optional = false;
    PatternNode node{{}, {}, false};
    auto flush = [&] {
        if (node.longForm.empty())
            return;
        node.optional = optional;
        nodes.push_back(node);
        node = PatternNode{{}, {}, false};
    };
    for (const char *p = pattern; *p; ++p) {
        if (*p == '[') {
            flush();
            optional = true;
        } else if (*p == ']') {
            flush();
            optional = false;
        } else if (*p == ':') {
            flush();
        } else {
            const bool upperCase = !(*p >= 'a' && *p <= 'z');
            node.longForm += upperCase ? *p : static_cast<char>(*p - 'a' + 'A');
            if (upperCase)
                node.shortForm += *p;
        }
    }
    flush();
    return nodes;
}

// Whether name, in any case, is form (upper case).
bool sameName(const std::string &name, const std::string &form)
{
    if (name.size() != form.size())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != form[i])
            return false;
    }
    return true;
}

// Whether the nodes from i on match the pattern from j on; a numeric suffix other than 1 is
// noted in badSuffix.
bool matches(const std::vector<Node> &path, std::size_t i, const std::vector<PatternNode> &pattern,
             std::size_t j, const Node *&badSuffix)
{
    if (j == pattern.size())
        return i == path.size();
    if (pattern[j].optional && matches(path, i, pattern, j + 1, badSuffix))
        return true;
    if (i == path.size())
        return false;
    if (!sameName(path[i].name, pattern[j].longForm) &&
        !sameName(path[i].name, pattern[j].shortForm))
        return false;
    if (!matches(path, i + 1, pattern, j + 1, badSuffix))
        return false;
    if (!path[i].suffix.empty() && path[i].suffix != "1")
        badSuffix = &path[i];
    return true;
}

std::string pathText(const std::vector<Node> &path, bool query)
{
    std::string text;
    for (const Node &node : path)
        text += (text.empty() || node.name[0] == '*' ? "" : ":") + node.name + node.suffix;
    return text + (query ? "?" : "");
}

} // namespace

HeaderMatch findCommand(const std::vector<Node> &path, bool common, bool query)
{
    HeaderMatch match;
    const std::vector<Command> &table = commands();
    static const std::vector<std::vector<PatternNode>> patterns = [&table] {
        std::vector<std::vector<PatternNode>> all;
        for (const Command &entry : table)
            all.push_back(patternNodes(entry.pattern));
        return all;
    }();
    for (std::size_t k = 0; k < table.size(); ++k) {
        const Command &entry = table[k];
        if ((entry.pattern[0] == '*') != common)
            continue;
        const Node *badSuffix = nullptr;
        if (!matches(path, 0, patterns[k], 0, badSuffix))
            continue;
        if (badSuffix) {
            match.errorCode = -114;
            match.errorText = "Header suffix out of range;" + quotedText(pathText(path, query)) +
                              ": the RZ-417 has one channel, suffix 1 or none";
            return match;
        }
        if (query ? entry.query : entry.set) {
            match.command = &entry;
            return match;
        }
        match.errorCode = -113;
        match.errorText =
            "Undefined header;" + quotedText(pathText(path, query)) +
            (query ? " takes no '?': it is a command only" : " is a query only: add '?'");
        return match;
    }
    match.errorCode = -113;
    match.errorText =
        "Undefined header;" + quotedText(pathText(path, query)) + " is not a command of the RZ-417";
    return match;
}

} // namespace rz417::scpi
