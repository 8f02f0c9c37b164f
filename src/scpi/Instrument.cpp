#include "scpi/Instrument.h"

#include "protocol/Frame.h"
#include "protocol/Identity.h"
#include "scpi/Call.h"
#include "scpi/CommandTree.h"

namespace rz417::scpi {

namespace {

// The IEEE 488.2 standard event status bits an error sets, by its class.
uint8_t eventBit(int code)
{
    if (code <= -100 && code > -200)
        return 0x20; // command error
    if (code <= -200 && code > -300)
        return 0x10; // execution error
    if (code <= -300 && code > -400)
        return 0x08; // device-dependent error
    if (code <= -400 && code > -500)
        return 0x04; // query error
    if (code > 0)
        return 0x08; // the RZ-417's own errors are device-dependent
    return 0;
}

} // namespace

void reportError(ClientState &client, int code, std::string text)
{
    client.esr = static_cast<uint8_t>(client.esr | eventBit(code));
    const std::size_t before = client.errors.size();
    client.errors.push({code, std::move(text)});
    if (before >= ErrorQueue::kCapacity)
        client.esr = static_cast<uint8_t>(client.esr | eventBit(-350));
}

const std::string &Instrument::identity()
{
    // Maker, model, serial number (the RZ-417 reports none), version.
    static const std::string text =
        std::string(identity::kCompany) + "," + identity::kProduct + ",0," + identity::kVersion;
    return text;
}

ScpiError Instrument::tripWatchdog()
{
    const std::string why = m_watchdog.reason();
    const std::string failure = m_load.watchdogOff(why);
    m_watchdog.tripped(m_load.inputOnFrames(), failure.empty());
    const std::string frame = inputFrame(false);
    return {Watchdog::kTripError,
            "Watchdog tripped;" + why +
                (failure.empty() ? ": the input was switched off (" + frame + ")"
                                 : ": the frame " + frame + " (input off) did not go out: " +
                                       failure + "; the input may still be on")};
}

void Instrument::tellTrip(ClientState &client, const ScpiError &error)
{
    client.questionableEvent =
        static_cast<uint16_t>(client.questionableEvent | Watchdog::kQuestionableBit);
    reportError(client, error.code, error.text);
}

MessageRun::MessageRun(std::string message) : m_text(std::move(message)), m_reader(m_text) {}

Reply Instrument::execute(std::string_view message, ClientState &client)
{
    MessageRun run{std::string(message)};
    while (step(run, client)) {
    }
    return std::move(run.m_reply);
}

bool Instrument::step(MessageRun &run, ClientState &client)
{
    if (run.m_done)
        return false;
    const auto end = [&] {
        run.m_done = true;
        if (run.m_answered)
            run.m_reply.response += '\n';
        return false;
    };
    UnitRead read = run.m_reader.next();
    if (read.kind == UnitRead::Kind::End)
        return end();
    if (read.kind == UnitRead::Kind::Error) {
        reportError(client, read.errorCode, std::move(read.errorText));
        return end();
    }
    ProgramUnit &unit = read.unit;
    // A relative header continues the path of the command before it.
    std::vector<Node> full;
    const std::vector<Node> *header = &unit.nodes;
    std::vector<Node> &path = run.m_path;
    if (!unit.common && !unit.absolute && !path.empty()) {
        full = path;
        full.insert(full.end(), unit.nodes.begin(), unit.nodes.end());
        header = &full;
    }
    const HeaderMatch match = findCommand(*header, unit.common, unit.query);
    if (!match.command) {
        reportError(client, match.errorCode, match.errorText);
        return end();
    }
    if (!unit.common)
        path.assign(header->begin(), header->end() - 1);
    Call call(unit, match.command->arg, client, m_load, m_watchdog, run.m_reply, run.m_answered);
    if (!match.command->handler(call))
        return end();
    return true;
}

} // namespace rz417::scpi
