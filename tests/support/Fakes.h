#pragma once

#include "link/CommControl.h"
#include "panel/Platform.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace rz417::test {

// Records every caption written, and the latest text of each; starts with the captions the
// window defines.
class FakeCaptions : public CaptionSink
{
public:
    FakeCaptions()
        : latest{{Caption::CValue, "00.00"},
                 {Caption::ModeLabel, "\u03A9"},
                 {Caption::RangeLabel, "Range : 0 to 999.9\u03A9"},
                 {Caption::OutputCommand, "Output / OFF"}}
    {
    }

    void setCaption(Caption caption, const std::string &text) override
    {
        latest[caption] = text;
        log.emplace_back(caption, text);
    }
    std::string operator[](Caption caption) const
    {
        const auto it = latest.find(caption);
        return it == latest.end() ? std::string("<unset>") : it->second;
    }

    void setDescription(Caption caption, const std::string &text) override
    {
        descriptions[caption] = text;
    }

    void setJournalStatus(const std::string &path) override { journal = path; }
    void setRunning(bool running) override { runningChanges.push_back(running); }
    void setRemote(RemoteState state) override { remoteChanges.push_back(state); }
    void setNotice(const std::string &text) override { notice = text; }

    std::map<Caption, std::string> latest;
    std::vector<RemoteState> remoteChanges;
    std::vector<std::pair<Caption, std::string>> log;
    std::map<Caption, std::string> descriptions;
    std::string journal;
    std::string notice;
    std::vector<bool> runningChanges;
};

struct ShownBox
{
    std::string text;
    BoxStyle style;
    std::string title;
    std::string detail;
};

// Answers Yes/No boxes from a script (Yes when the script runs out) and records every box.
class FakePlatform : public Platform
{
public:
    BoxAnswer messageBox(const std::string &text, BoxStyle style, const std::string &title,
                         const std::string &detail = {}) override
    {
        boxes.push_back({text, style, title, detail});
        if (ended)
            afterEnd = true;
        if (style != BoxStyle::YesNoQuestion)
            return BoxAnswer::Ok;
        if (answers.empty())
            return BoxAnswer::Yes;
        const BoxAnswer answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    void endProgram() override { ended = true; }
    void diagnostic(const std::string &line) override { diagnostics.push_back(line); }

    std::vector<BoxAnswer> answers;
    std::vector<std::string> diagnostics;
    std::vector<ShownBox> boxes;
    bool ended = false;
    bool afterEnd = false; // a box shown after the program was ended
};

// A serial control whose ports 'exist' when listed in openable. Records every property write in
// order ("CommPort=3", "Settings=...", "PortOpen=1", "Output=6204D2").
class FakeComm : public CommControl
{
public:
    void setCommPort(int16_t port) override
    {
        writes.push_back("CommPort=" + std::to_string(port));
        if (open)
            throw CommError(CommCodes::AlreadyOpen, "open");
        commPort = port;
    }
    void setSettings(const std::string &settings) override
    {
        writes.push_back("Settings=" + settings);
    }
    void setPortOpen(bool value) override
    {
        writes.push_back(std::string("PortOpen=") + (value ? "1" : "0"));
        if (value) {
            if (const auto refused = refusals.find(commPort); refused != refusals.end())
                throw CommError(CommCodes::NoHardware, "refused", refused->second);
            if (open || openable.count(commPort) == 0)
                throw CommError(CommCodes::NoHardware, "no device");
            open = true;
            opened.push_back(commPort);
        } else {
            open = false;
            closed.push_back(commPort);
            if (closeError)
                throw CommError(*closeError, "close failed");
        }
    }
    void setOutput(const std::string &data) override
    {
        writes.push_back("Output=" + data);
        if (outputError)
            throw CommError(*outputError, "write failed");
        if (!data.empty())
            frames.push_back(data);
    }

    std::set<int16_t> openable;
    std::map<int16_t, std::string> refusals; // devices that exist but will not open, and why
    std::optional<int16_t> outputError;
    std::optional<int16_t> closeError;
    int16_t commPort = 0;
    bool open = false;
    std::vector<int16_t> opened;
    std::vector<int16_t> closed;
    std::vector<std::string> writes;
    std::vector<std::string> frames;
};

} // namespace rz417::test
