#include "cli/FrameLine.h"

#include "link/CommErrorText.h"
#include "program/LocalTime.h"
#include "protocol/Frame.h"

#include <ctime>

namespace rz417::cli {

FrameLine::FrameLine(CommControl *line, JournalWriter journal, std::FILE *print)
    : m_line(line), m_journal(std::move(journal)), m_print(print)
{
}

FrameLine::Result FrameLine::send(const std::string &frame, const std::string &meaning,
                                  const FrameSource &from, std::chrono::system_clock::time_point at)
{
    Result result;
    if (m_line) {
        try {
            m_line->setOutput(frame);
        } catch (const CommError &error) {
            result.lineError = commErrorText(error.code());
            result.lineDetail = commFailureText(error);
        }
        at = std::chrono::system_clock::now();
    }
    if (result.lineError.empty()) {
        if (frame == inputFrame(true))
            m_inputOn = true;
        else if (frame == inputFrame(false))
            m_inputOn = false;
        if (m_print) {
            std::fputs((frameLineText(at, frame, meaning, from) + "\n").c_str(), m_print);
            std::fflush(m_print);
        }
    }
    if (m_journal) {
        JournalEntry entry;
        entry.time = at;
        entry.source = from.source;
        entry.step = from.step;
        entry.line = from.line;
        entry.frame = frame;
        entry.meaning = meaning;
        entry.result = result.lineError.empty() ? "sent" : result.lineError;
        m_journal(entry, result.journalError);
    }
    return result;
}

std::string clockText(std::chrono::system_clock::time_point time)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count() %
        1000;
    long offset = 0;
    const std::tm local = localCalendar(seconds, offset);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(millis));
    return text;
}

std::string frameLineText(std::chrono::system_clock::time_point time, const std::string &frame,
                          const std::string &meaning, const FrameSource &from)
{
    std::string text = clockText(time) + " TX " + frame + " " + meaning;
    if (from.step > 0)
        text +=
            "  (step " + std::to_string(from.step) + ", line " + std::to_string(from.line) + ")";
    return text;
}

} // namespace rz417::cli
