#include "frames/FramePath.h"

#include "link/CommErrorText.h"
#include "link/CrashGuard.h"
#include "program/Journal.h"
#include "protocol/Frame.h"

namespace rz417 {

std::string meaningFrom(const std::string &meaning, const FrameSource &from)
{
    return from.client.empty() ? meaning : meaning + " (from " + from.client + ")";
}

void FramePath::setJournal(Journal *journal, FailureText text)
{
    m_journal = journal;
    m_failureText = text;
}

void FramePath::setObserver(std::function<void(const SentFrame &)> observer)
{
    m_observer = std::move(observer);
}

void FramePath::setInputWatch(std::function<void(bool mayBeOn)> watch)
{
    m_inputWatch = std::move(watch);
}

void FramePath::setMayBeOn(bool mayBeOn)
{
    // A process that dies of a fault switches off what may be on.
    crashguard::setInputMayBeOn(m_line, mayBeOn);
    if (m_load.inputMayBeOn == mayBeOn)
        return;
    m_load.inputMayBeOn = mayBeOn;
    if (m_inputWatch)
        m_inputWatch(mayBeOn);
}

FramePath::Result FramePath::send(const std::string &frame, const std::string &meaning,
                                  const FrameSource &from, std::chrono::system_clock::time_point at)
{
    Result result;
    const std::optional<FrameEffect> effect = frameEffect(frame);
    // An input-on frame may reach the load even when its write fails part way, and the record
    // says so while the write is under way.
    const bool mayHaveBeenOn = m_load.inputMayBeOn;
    const bool inputOnFrame = effect && effect->mode == 0 && effect->inputOn;
    if (inputOnFrame) {
        setMayBeOn(true);
        ++m_load.inputOnFrames;
    }
    if (m_line) {
        try {
            m_line->setOutput(frame);
        } catch (const CommError &error) {
            result.failure = error;
            // None of it went: the load is as it was.
            if (error.nothingSent()) {
                setMayBeOn(mayHaveBeenOn);
                if (inputOnFrame)
                    --m_load.inputOnFrames;
            }
        }
        at = std::chrono::system_clock::now();
    }
    // An empty frame goes to the control as the panel's encoder makes it, and is nothing more.
    if (frame.empty())
        return result;
    const std::string said = meaningFrom(meaning, from);
    if (result.failure) {
        result.journalError =
            journal(at, frame, said, from,
                    m_failureText == FailureText::Code ? commErrorText(result.failure->code())
                                                       : commFailureText(*result.failure));
        return result;
    }
    if (effect && effect->mode == 0) {
        m_load.inputOn = effect->inputOn;
        setMayBeOn(effect->inputOn);
    } else if (effect) {
        m_load.sent[static_cast<std::size_t>(effect->mode - 1)] = effect->value;
        m_load.mode = effect->mode;
    }
    if (m_observer)
        m_observer(SentFrame{at, frame, said, from});
    result.journalError = journal(at, frame, said, from, "sent");
    return result;
}

std::string FramePath::journalRefused(const std::string &frame, const std::string &meaning,
                                      const FrameSource &from, const CommError &failure)
{
    if (frame.empty())
        return {};
    return journal(std::chrono::system_clock::now(), frame, meaningFrom(meaning, from), from,
                   commErrorText(failure.code()));
}

std::string FramePath::journal(std::chrono::system_clock::time_point time, const std::string &frame,
                               const std::string &meaning, const FrameSource &from,
                               const std::string &result)
{
    if (!m_journal)
        return {};
    std::string error;
    if (m_journal->append({time, from.source, from.step, from.line, frame, meaning, result}, error))
        return {};
    return error;
}

} // namespace rz417
